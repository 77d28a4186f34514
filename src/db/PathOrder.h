// The order of file paths in the database and in every path-sorted list: separators
// first, digit runs compared as numbers, letters without regard to case; two paths
// equal but for case are told apart by their bytes (on this system they are two files);
// a path that another one extends sorts first.
// Pure; callable from any thread.
#pragma once

#include <string_view>

namespace gq {

// <0, 0, >0: a before, equal to, after b.
int ComparePaths(std::string_view a, std::string_view b);

// The same order without the final byte comparison (equal-ignoring-case paths are 0).
int ComparePathsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace gq

// What a path names on disk, links followed: anything, a folder, or a file of any
// other kind.
// Plain queries, callable from any thread.
#pragma once

#include <string>

namespace gq {

bool Exists(const std::string& path);
bool IsFolder(const std::string& path);
bool IsFile(const std::string& path);

}  // namespace gq

// Reading words and numbers at a cursor in a command text, and normalising a path
// given by the user. Shared by the command line, the hand-off message and the remote
// protocol. Pure functions; callable from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace gq {

// Skips blanks at the cursor.
void SkipSpaces(std::string_view text, size_t* cursor);

// A double-quoted string (the text up to the next quote; an unclosed quote takes the
// rest of the line) or a run of characters up to the next blank; then skips blanks.
std::string ReadWord(std::string_view text, size_t* cursor);

// A run of decimal digits up to the next blank or the end; any other character fails
// (as does a value beyond 2^31-1); an empty run reads as 0. Then skips blanks.
bool ReadNumber(std::string_view text, size_t* cursor, int* value);

// The whole text must be decimal digits (non-empty, at most 2^31-1); otherwise the
// value is 0 and the result false.
bool ReadWholeNumber(std::string_view text, int* value);

// The text without the blanks, tabs and line ends around it.
std::string Trim(std::string_view text);

// Trims white space; keeps only what lies between a leading double quote and the next
// one; then, unless empty or ending in ":", makes the path absolute (lexically, against
// the current folder; left as it is if longer than PATH_MAX) and removes one trailing
// "/" (never the root's).
std::string NormalizePath(std::string_view path);

// The path made absolute as NormalizePath does, without trimming or unquoting: for
// paths that come whole (program arguments), whatever blanks or quotes they hold.
std::string AbsolutePath(const std::string& path);

}  // namespace gq

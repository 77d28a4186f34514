// Reading shortcut files: what a link file points at. Three kinds count as links: a
// file in the Shell Link binary format (the target is the LinkInfo local base path
// followed by the common path suffix), a freedesktop ".desktop" entry of Type=Link
// (its URL, a file:// URL or a plain path), and a symbolic link (its resolved target).
// Pure reading; callable from any thread.
#pragma once

#include <string>

namespace gq {

// Whether the name marks a link file to resolve (".lnk" or ".desktop", ignoring case,
// after the last dot).
bool IsShellLinkName(const std::string& path);

// The target of the link at path; false when it is none of the three kinds, is
// damaged, or names an empty target.
bool ResolveShellLink(const std::string& path, std::string* target);

// The target stored in Shell Link bytes (for tests and for files read elsewhere).
bool ParseShellLinkBytes(const std::string& bytes, std::string* target);

// Writes a minimal Shell Link file whose LinkInfo names target (tests and tools).
std::string MakeShellLinkBytes(const std::string& target);

}  // namespace gq

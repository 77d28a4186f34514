// Replacing a file as a whole: write a temporary file beside the target, fsync it,
// rename it over the target and fsync the folder, so a reader (or a crash) only ever
// sees the old or the complete new content. Callable from any thread.
#pragma once

#include <string>

namespace gq {

// Returns false (and leaves the target untouched) when any step fails.
bool ReplaceFileContent(const std::string& target, const std::string& content);

// Gives the file at from the name to on the same file system and syncs the folder.
// Never replaces: false (and nothing changed) when to exists or a step fails.
bool RenameWithoutReplacing(const std::string& from, const std::string& to);

// fsync of the folder that holds path (so a rename in it is durable).
bool SyncParentFolder(const std::string& path);

// Creates the folder and its missing parents with the given mode; true if it exists.
bool MakeFolders(const std::string& folder, unsigned mode);

}  // namespace gq

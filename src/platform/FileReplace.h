// Replacing a file as a whole: write a temporary file beside the target, fsync it,
// rename it over the target and fsync the folder, so a reader (or a crash) only ever
// sees the old or the complete new content. Callable from any thread.
#pragma once

#include <string>

namespace gq {

// Returns false (and leaves the target untouched) when any step fails.
bool ReplaceFileContent(const std::string& target, const std::string& content);

// fsync of the folder that holds path (so a rename in it is durable).
bool SyncParentFolder(const std::string& path);

// Creates a new file named prefix + six random characters + suffix, open for reading
// and writing, with mode 0666 less the process's umask (as any new file the user makes).
// Returns the descriptor and the name in *path, or -1 with errno.
int CreateUniqueFile(const std::string& prefix, const std::string& suffix, std::string* path);

// Creates the folder and its missing parents with the given mode; true if it exists.
bool MakeFolders(const std::string& folder, unsigned mode);

}  // namespace gq

// The one maker of new files under an unused name (temporary files, files written
// beside a target before a rename). Callable from any thread.
#pragma once

#include <string>

namespace gq {

// Creates a new file named prefix + six random characters + suffix, open for reading
// and writing (close-on-exec), with the given mode less the process's umask: 0666 (as
// any new file the user makes) unless told otherwise. Never opens an existing file.
// Returns the descriptor and the name in *path, or -1 with errno.
int CreateUniqueFile(const std::string& prefix, const std::string& suffix, std::string* path,
                     unsigned mode = 0666);

}  // namespace gq

// Opening what the user names (a database, a picture, a folder, a text list, or several
// of them at once) and updating the collection against the disk: the operations that
// start load jobs. User-interface thread.
#pragma once

#include <cstdint>
#include <string>

#include "db/ImageRecordDB.h"
#include "loading/Loader.h"

namespace gq {

// Splits a text into paths at blanks; a double-quoted part counts as one path (its
// quotes are kept, the list reader removes them).
std::vector<std::string> SplitPaths(const std::string& text);

// Opens text: several paths (or a ".txt" list) are loaded as one set of named paths,
// the collection kept; a database is loaded (or merged when adding); anything else
// starts a path job, unless adding after closing the collection. False when nothing was
// started or loaded.
bool OpenPath(ImageRecordDB& db, Loader& loader, const std::string& text, bool add);

// Re-checks the pictures against the disk: all records or the selected ones (with the
// current picture), file by file or by walking their folders again (which also finds
// new pictures there). The update job gets the paths themselves, not a text list of
// them, so that any name is checked as it is. False when nothing started.
bool UpdateFromDisk(ImageRecordDB& db, Loader& loader, bool folders, bool selectedOnly,
                    int32_t currentLfdNr);

}  // namespace gq

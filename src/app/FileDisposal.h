// Where gqtool puts pictures it takes out of a collection: the user's freedesktop trash
// ($XDG_DATA_HOME/Trash, with its .trashinfo record) or a folder that mirrors their
// paths. Files are only ever renamed, never copied and deleted, and never replace an
// existing file. Used on the command's thread.
#pragma once

#include <string>

namespace gq {

// Moves the picture at path to the trash under *trashedAs (its name, made unique with
// " 2", " 3", ... on a clash): writes the .trashinfo record first, then renames the file
// into Trash/files. A picture on another file system is refused. False with *error set.
bool MoveToTrash(const std::string& path, std::string* trashedAs, std::string* error);

// The place of an absolute path below folder: the path relative to the current folder
// when it lies under it, else the whole path without its leading '/'.
std::string PlaceBelow(const std::string& folder, const std::string& path);

// Renames path to target, making target's folders; refuses an existing target and a
// target on another file system. False with *error set on failure.
bool MoveFile(const std::string& path, const std::string& target, std::string* error);

}  // namespace gq

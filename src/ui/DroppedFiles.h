// The file lists of drag and drop and the clipboard as the desktop offers them: a
// "text/uri-list" of file:// addresses, or the file manager's
// "x-special/gnome-copied-files" (a "copy" or "cut" line, then one address a line).
// Addresses that are not local files are left out. Pure reading of the mime data;
// user-interface thread (mime data is a Qt object).
#pragma once

#include <string>
#include <vector>

class QMimeData;

namespace gq {

// The local files of a drop; none when the data holds no file list.
std::vector<std::string> DroppedPaths(const QMimeData& data);

// The local files of clipboard data: the file manager's copied files first, else a
// uri list; none when the data holds no file list.
std::vector<std::string> CopiedPaths(const QMimeData& data);

// The first line of a text, without its line break and cut to at most limit bytes.
std::string FirstLine(const std::string& text, size_t limit);

}  // namespace gq

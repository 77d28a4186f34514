// The renderings of a closed file list that drag targets and the clipboard read:
// text (one path per line), file URLs (text/uri-list) and the copy/cut markers of the
// GNOME and KDE file managers. Pure functions of the list; callable from any thread.
#pragma once

#include <string>

#include "shell/dragdrop/ZeroSepFileList.h"

namespace gq {

// "file://" and the path, every byte but letters, digits, "-._~" and "/" written
// as %XX, so blanks, "%", "#" and non-ASCII names survive any URL parser.
std::string FileUrl(const std::string& path);

// The paths separated by CR LF; more than one file also ends with CR LF, a single
// file has no line end.
std::string RenderText(const ZeroSepFileList& list);

// One file URL per line, each line ended by CR LF.
std::string RenderUriList(const ZeroSepFileList& list);

// "copy" or "cut", then one file URL per line, lines separated by LF.
std::string RenderGnomeCopiedFiles(const ZeroSepFileList& list, bool cut);

// "1" for a cut, "0" for a copy.
std::string RenderKdeCutSelection(bool cut);

}  // namespace gq

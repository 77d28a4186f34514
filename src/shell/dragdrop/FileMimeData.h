// The Qt mime data of a closed file list: what a drag out of the program and a
// clipboard copy or cut offer to other programs. The caller owns the result (QDrag
// and QClipboard take it over). User-interface thread.
#pragma once

#include <QMimeData>

#include "shell/dragdrop/ZeroSepFileList.h"

namespace gq {

// A drag offers the file URLs (text/uri-list).
QMimeData* MakeDragMimeData(const ZeroSepFileList& list);

// A copy or cut offers the file URLs, the text rendering (text/plain) and the
// markers file managers read to tell a cut from a copy
// (x-special/gnome-copied-files, application/x-kde-cutselection).
QMimeData* MakeClipboardMimeData(const ZeroSepFileList& list, bool cut);

}  // namespace gq

// Handing selected pictures to other programs: copy or cut to the clipboard and drag
// out of a widget. Both build the file list first; a selection the drag/copy/delete
// limit refuses shows the limit box and hands nothing over. The limit is on unless
// the user turned it off in Options. User-interface thread.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

namespace gq {

// Puts the files on the clipboard as a copy or a cut (the pasting file manager then
// moves them). With no paths: the default beep. False when nothing was put there.
bool CopyFilesToClipboard(const std::vector<std::string>& paths, bool cut, bool limitOn = true);

// Runs a modal drag of the files from source and returns the action the drop target
// performed (Qt::IgnoreAction when cancelled or refused). A Qt::MoveAction means the
// files were moved away: the caller removes their records. The preferred action
// follows the held keys; a drag of 100 or more files with the limit on offers no
// links (a beep before, the link warning after the drag).
Qt::DropAction DragFilesOut(QWidget* source, const std::vector<std::string>& paths,
                            bool limitOn = true);

// The text of the warning shown after a drag that could not offer links.
inline constexpr const char* kLinkWarningText =
    "Warning: file link(s) could not be prepared. (Is file already moved?)";

}  // namespace gq

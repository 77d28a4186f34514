// Connects the main window to the program around it: the command state and the
// housekeeping facts from the database, the loader and the view; MsgRefreshCommands;
// the end of loading; and the modal progress callback as the database's progress
// while the window exists. Main thread, once after the view is made.
#pragma once

namespace gq {

class ImageRecordDB;
class LoadingHost;
class MainWindow;
class MessageHost;
class ThumbsView;

void WireMainWindow(MainWindow& window, ThumbsView& view, ImageRecordDB& db, MessageHost& host,
                    LoadingHost& loading);

}  // namespace gq

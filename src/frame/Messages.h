// The main window's messages (kMessageBase + offset) that threads and subsystems send
// or post to it; the parameters are described beside each.
#pragma once

#include "platform/MessageWindow.h"

namespace gq {

// wParam: text (const char*, valid during the send), lParam: hold time in ms.
// Answer: a wait in ms after which the sender sends again, 0 = shown.
inline constexpr unsigned MsgStatusText = kMessageBase + 0;
// A load job ended; wParam: 1 when it was stopped.
inline constexpr unsigned MsgLoadingDone = kMessageBase + 3;
// Is this path new or changed? wParam: path (const char*), lParam: file time.
inline constexpr unsigned MsgCheckKnownFile = kMessageBase + 4;
// Take this record (ImageRecord* in lParam); 0 = busy, the loader resends every 100 ms.
inline constexpr unsigned MsgRecordLoaded = kMessageBase + 5;
// The saved state or the file name of the database changed.
inline constexpr unsigned MsgRefreshTitle = kMessageBase + 6;
// Menu and tool-bar state must be refreshed.
inline constexpr unsigned MsgRefreshCommands = kMessageBase + 11;
// An update job ended; wParam: 1 when it was stopped.
inline constexpr unsigned MsgUpdateDone = kMessageBase + 16;
// Resolve a shortcut file on the user-interface thread.
inline constexpr unsigned MsgResolveShellLink = kMessageBase + 17;
// Run this server command on the user-interface thread, then delete it.
inline constexpr unsigned MsgRunOnUiThread = kMessageBase + 18;

}  // namespace gq

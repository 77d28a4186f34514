// The thumbnail view's own messages at the main window's message base, and how their
// parameters travel: the program installs the view's handler for both numbers on the
// main window (the viewer sends them to it). Used on the user-interface thread.
#pragma once

#include <cstdint>

#include "platform/MessageWindow.h"

namespace gq {

// wParam: file path (const char*, valid during the send). Answer: 0 when the current
// picture has that path or its record was selected (as by a keyboard move honouring
// Shift and Ctrl), -1 when no record has it.
inline constexpr unsigned MsgSelectPath = kMessageBase + 10;
// wParam: the InputWindow the menu belongs to; lParam: a PackScreenPoint. Opens the
// picture context menu there.
inline constexpr unsigned MsgContextMenuAt = kMessageBase + 15;

// The windows keys and menus come from: commands act on the viewer's picture when the
// last input came from the viewer.
enum class InputWindow : uintptr_t { kView = 0, kViewer = 1 };

static_assert(sizeof(intptr_t) >= 8, "a screen point needs 64 bits");

// A screen point in one parameter: x in the low 32 bits, y in the high 32 bits.
inline intptr_t PackScreenPoint(int32_t x, int32_t y) {
  return static_cast<intptr_t>((static_cast<uint64_t>(static_cast<uint32_t>(y)) << 32) |
                               static_cast<uint32_t>(x));
}
inline int32_t ScreenPointX(intptr_t packed) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(packed)));
}
inline int32_t ScreenPointY(intptr_t packed) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(packed) >> 32));
}

}  // namespace gq

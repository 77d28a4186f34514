#include "loading/LoadSink.h"

#include <climits>
#include <cstring>
#include <vector>

#include "frame/Messages.h"
#include "frame/StatusBar.h"

namespace gq {

void WindowSink::Status(const std::string& text, int holdMs) {
  ShowStatusFrom(m_Window, text, holdMs);
}

bool WindowSink::CheckFile(const std::string& path, int32_t fileTime) {
  return m_Window.Send(MsgCheckKnownFile, reinterpret_cast<uintptr_t>(path.c_str()), fileTime) != 0;
}

bool WindowSink::HandOver(ImageRecord* record) {
  return m_Window.Send(MsgRecordLoaded, 0, reinterpret_cast<intptr_t>(record)) != 0;
}

int WindowSink::ResolveLink(std::string* path) {
  // The window writes the target over a buffer of PATH_MAX characters.
  std::vector<char> buffer(PATH_MAX + 1, '\0');
  std::strncpy(buffer.data(), path->c_str(), PATH_MAX);
  intptr_t result = m_Window.Send(MsgResolveShellLink, reinterpret_cast<uintptr_t>(buffer.data()),
                                  static_cast<intptr_t>(PATH_MAX) * 2 + 1);
  if (result == 1) *path = buffer.data();
  return result == 1 ? 1 : -1;
}

void WindowSink::JobEnded(bool stopped, bool update) {
  m_Window.Post(MsgLoadingDone, stopped ? 1 : 0);
  if (update) m_Window.Post(MsgUpdateDone, stopped ? 1 : 0);
}

}  // namespace gq

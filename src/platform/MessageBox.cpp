#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace gq {
namespace {

std::mutex g_backendMutex;  // guards g_backend
MessageBoxBackend g_backend;

int ButtonAt(unsigned flags, int index) {
  static const int kButtons[][3] = {
      {IDOK, IDOK, IDOK},      {IDOK, IDCANCEL, IDCANCEL}, {IDABORT, IDRETRY, IDIGNORE},
      {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, IDNO},        {IDRETRY, IDCANCEL, IDCANCEL},
  };
  unsigned set = flags & 0xF;
  if (set > 5) set = 0;
  return kButtons[set][index];
}

// Nobody can press a button on the console: a box answers with its default button, but
// the same box asked over and over (a retry loop) gets Cancel (or No) from the fourth
// time on, so a question that keeps coming back can never hang the program.
int ConsoleAnswer(const MessageBoxRequest& request) {
  static std::mutex repeatMutex;
  static std::string lastText;
  static unsigned lastFlags = 0;
  static int repeats = 0;
  std::lock_guard<std::mutex> lock(repeatMutex);
  if (request.text == lastText && request.flags == lastFlags) {
    ++repeats;
  } else {
    lastText = request.text;
    lastFlags = request.flags;
    repeats = 1;
  }
  int answer = DefaultButtonOf(request.flags);
  if (repeats > 3) {
    unsigned set = request.flags & 0xF;
    if (set == MB_OKCANCEL || set == MB_RETRYCANCEL || set == MB_YESNOCANCEL) answer = IDCANCEL;
    if (set == MB_YESNO) answer = IDNO;
    if (set == MB_ABORTRETRYIGNORE) answer = IDABORT;
  }
  return answer;
}

int ConsoleBackend(const MessageBoxRequest& request) {
  if (request.caption.empty()) {
    std::fprintf(stderr, "%s\n", request.text.c_str());
  } else {
    std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
  }
  std::fflush(stderr);
  return ConsoleAnswer(request);
}

}  // namespace

int DefaultButtonOf(unsigned flags) {
  int index = static_cast<int>((flags >> 8) & 0xF);
  if (index > 2) index = 0;
  return ButtonAt(flags, index);
}

int MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  MessageBoxBackend backend;
  {
    std::lock_guard<std::mutex> lock(g_backendMutex);
    backend = g_backend;
  }
  MessageBoxRequest request{text, caption, flags};
  return backend ? backend(request) : ConsoleBackend(request);
}

bool IsConsoleMessageBox() {
  std::lock_guard<std::mutex> lock(g_backendMutex);
  return !g_backend;
}

MessageBoxBackend SetMessageBoxBackend(MessageBoxBackend backend) {
  std::lock_guard<std::mutex> lock(g_backendMutex);
  MessageBoxBackend previous = std::move(g_backend);
  g_backend = std::move(backend);
  return previous;
}

}  // namespace gq

// The program's message box: Win32-style flags, buttons and results, shown by the
// host that runs the process. The console host (the default) writes caption and text
// to standard error and answers with the default button; the Qt host installs a real
// dialog; tests install a scripted answerer. Callable from any thread.
#pragma once

#include <functional>
#include <string>

namespace gq {

// Button sets (low nibble).
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_ABORTRETRYIGNORE = 0x2;
inline constexpr unsigned MB_YESNOCANCEL = 0x3;
inline constexpr unsigned MB_YESNO = 0x4;
inline constexpr unsigned MB_RETRYCANCEL = 0x5;
// Icons.
inline constexpr unsigned MB_ICONERROR = 0x10;
inline constexpr unsigned MB_ICONSTOP = MB_ICONERROR;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONWARNING = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
// Default button.
inline constexpr unsigned MB_DEFBUTTON1 = 0x000;
inline constexpr unsigned MB_DEFBUTTON2 = 0x100;
inline constexpr unsigned MB_DEFBUTTON3 = 0x200;
// Modality and placement (kept for the Qt host; the console ignores them).
inline constexpr unsigned MB_SYSTEMMODAL = 0x1000;
inline constexpr unsigned MB_TASKMODAL = 0x2000;
inline constexpr unsigned MB_SETFOREGROUND = 0x10000;
inline constexpr unsigned MB_TOPMOST = 0x40000;

// Results.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// One request to show a box, as a backend sees it.
struct MessageBoxRequest {
  std::string text;
  std::string caption;
  unsigned flags = MB_OK;
};

using MessageBoxBackend = std::function<int(const MessageBoxRequest&)>;

// Shows a box and returns the button pressed (one of the ID... results).
int MessageBox(const std::string& text, const std::string& caption, unsigned flags);

// The answer a box gets when nobody can press a button: its default button.
int DefaultButtonOf(unsigned flags);

// Replaces the backend for the whole process; an empty function restores the console
// backend. Returns the backend that was installed before.
MessageBoxBackend SetMessageBoxBackend(MessageBoxBackend backend);

// Whether boxes go to the console (no backend installed).
bool IsConsoleMessageBox();

// The caption of the program's own boxes.
inline constexpr const char* kProgramCaption = "GlimmerQuorum";

}  // namespace gq

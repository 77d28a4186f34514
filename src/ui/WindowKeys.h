// The keys the main window takes before any window of the program sees them: Ctrl+Tab
// and Ctrl+Shift+Tab bring the next of the program's windows to the front, F3 in the
// find dialog finds from the main window, and releasing F5 with Alt and Ctrl held
// updates the folders of the selected pictures. The tool windows (viewer, find,
// criteria, duplicates, mosaic) register here when they exist; hidden or gone ones
// are skipped. An event filter on the application; user-interface thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>

namespace gq {

// The windows Ctrl+Tab cycles through, in their order (the main window is first).
enum class ToolWindow { kViewer = 1, kFind, kCriteria, kDuplicates, kMosaic };
inline constexpr int kCycleWindows = 6;

// The next window to bring to the front from current (-1: a window outside the cycle):
// forward steps up the order, backward down, skipping windows not shown; from outside
// the cycle the main window (0), which always counts.
int NextCycleWindow(const std::array<bool, kCycleWindows>& shown, int current, bool forward);

class WindowKeys : public QObject {
 public:
  // main is the main window; trigger runs a command of it by its shortcut keys and
  // returns false when no command has them.
  WindowKeys(QWidget* main, std::function<bool(const QKeySequence&)> trigger,
             std::function<void(int command)> command);
  ~WindowKeys() override;

  // Registers (or with nullptr forgets) the window of a role; the viewer registers the
  // window it currently shows in.
  void SetToolWindow(ToolWindow role, QWidget* window);
  QWidget* Window(ToolWindow role) const { return m_Windows[static_cast<int>(role)]; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Cycle(bool forward);
  bool InFindDialog(QObject* watched) const;

  QWidget* m_Main;
  std::function<bool(const QKeySequence&)> m_Trigger;
  std::function<void(int command)> m_Command;
  std::array<QPointer<QWidget>, kCycleWindows> m_Windows;  // by cycle place
};

// Brings a top-level window to the front, restoring it when minimised.
void BringToFront(QWidget* window);

}  // namespace gq

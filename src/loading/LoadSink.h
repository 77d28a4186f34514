// Where a load job's questions, records and status texts go: normally the main window
// (through its messages), or, in remote mode, a server (the remote subsystem provides
// that sink). A sink is called from the loader and counter threads.
#pragma once

#include <cstdint>
#include <string>

#include "platform/MessageWindow.h"

namespace gq {

struct ImageRecord;

class LoadSink {
 public:
  virtual ~LoadSink() = default;
  // Shows a status text (hold in ms, -1 until replaced), waiting as the window asks.
  virtual void Status(const std::string& text, int holdMs) = 0;
  // Whether the file must be loaded (new, or changed since it was loaded).
  virtual bool CheckFile(const std::string& path, int32_t fileTime) = 0;
  // Offers a finished record; true when it was taken (it then belongs to the taker),
  // false when the taker is busy (offer it again later).
  virtual bool HandOver(ImageRecord* record) = 0;
  // Replaces *path by the target of the shortcut file it names: 1 on success, -1 when
  // it cannot be resolved.
  virtual int ResolveLink(std::string* path) = 0;
  // A job ended (stopped or finished); an update job also ends the update.
  virtual void JobEnded(bool stopped, bool update) = 0;
  // Whether check and hand-over go to a remote server ("Checking: " instead of
  // "Loading: ").
  virtual bool IsRemote() const { return false; }
};

// The sink of the main window: MsgStatusText, MsgCheckKnownFile, MsgRecordLoaded and
// MsgResolveShellLink are sent, MsgLoadingDone and MsgUpdateDone posted.
class WindowSink : public LoadSink {
 public:
  explicit WindowSink(MessageTarget window) : m_Window(std::move(window)) {}
  void Status(const std::string& text, int holdMs) override;
  bool CheckFile(const std::string& path, int32_t fileTime) override;
  bool HandOver(ImageRecord* record) override;
  int ResolveLink(std::string* path) override;
  void JobEnded(bool stopped, bool update) override;

 private:
  MessageTarget m_Window;
};

}  // namespace gq

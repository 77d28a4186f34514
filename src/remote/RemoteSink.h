// The loader's sink in client mode: a command-line start that loads through the remote
// link asks the server with "known" whether each file is needed and sends each record
// it computed with "add". Every request is answered by a status line before the next is
// sent. A request that fails (the connection broke) sets the loader's stop flag, so the
// client's loading ends. Used by the loader running on the client's own thread; the
// socket belongs to the client request.
#pragma once

#include <cstdint>
#include <string>

#include "base/CommandStream.h"
#include "loading/LoadSink.h"

namespace gq {

// Sends "known"; true when the server answered 102 (it lacks the picture or has
// another file time): the caller computes and adds it. The answer is echoed to standard
// error. On a failed send or no answer the loader is stopped and the result is false.
bool RemoteIsKnown(const CommandStream& link, const std::string& path, int32_t fileTime);

// Sends "add" with record format version 6 and both sections of the record (its
// thumbnail must be in memory). True when the server answered 0. On a failed send or no
// answer the loader is stopped.
bool RemoteAdd(const CommandStream& link, const ImageRecord& record);

class RemoteSink : public LoadSink {
 public:
  explicit RemoteSink(CommandStream link) : m_Link(link) {}

  // Writes the text as one line to standard error.
  void Status(const std::string& text, int holdMs) override;
  bool CheckFile(const std::string& path, int32_t fileTime) override;
  // Sends the record and destroys it; always taken.
  bool HandOver(ImageRecord* record) override;
  // Resolves the shortcut here: a client start has no window.
  int ResolveLink(std::string* path) override;
  // Reports the end as the window's status bar would.
  void JobEnded(bool stopped, bool update) override;
  bool IsRemote() const override { return true; }

 private:
  CommandStream m_Link;
};

}  // namespace gq

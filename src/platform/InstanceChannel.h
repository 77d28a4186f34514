// The channel between two starts of the program: the main window listens on a Unix
// socket named after its window class in the user's private runtime folder (mode 0700,
// and the peer's user id is checked), and a later start hands it a copy-data block
// (wParam, a 32-bit tag and a text of any length). The receiving side passes the block
// to the main window's thread as kMsgCopyData and sends back the handler's 32-bit
// result. This stands in for finding a window by class name and sending it WM_COPYDATA.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/MessageWindow.h"

namespace gq {

// The message the window receives; lParam points at a CopyData valid during the call.
inline constexpr unsigned kMsgCopyData = 0x004A;

struct CopyData {
  uint32_t tag = 0;
  std::string data;  // the bytes as sent (the text with its terminating zero byte)
};

// The socket path of a window class: in the runtime folder, or in the short runtime
// folder when that path does not fit a socket address. Empty, with the reason in *why,
// when neither folder can hold it.
std::string InstanceChannelPath(const std::string& className, std::string* why = nullptr);

// Listens for the window of className; owned by the main window's side, stops and
// joins its thread on destruction.
class InstanceChannelServer {
 public:
  InstanceChannelServer() = default;
  ~InstanceChannelServer();
  InstanceChannelServer(const InstanceChannelServer&) = delete;
  InstanceChannelServer& operator=(const InstanceChannelServer&) = delete;

  // Starts listening; false, with the reason in *why, when the name is held by another
  // live window or the socket cannot be made.
  bool Start(const std::string& className, MessageTarget window, std::string* why = nullptr);
  // Refuses new blocks, then waits for the listening thread while handling the messages
  // sent to the calling thread, so the window's owner can stop the channel while a
  // block waits for it (that block is handled and answered). Joins the thread.
  void Stop();

 private:
  void Serve();
  void Answer(int client);

  int m_Listen = -1;
  int m_Wake[2] = {-1, -1};  // a pipe that ends the accept loop and any block being read
  std::string m_Path;
  MessageTarget m_Window;
  std::atomic<bool> m_Stopping{false};  // set by Stop; read by the listening thread
  std::atomic<bool> m_Finished{false};  // set by the listening thread when it ends
  std::thread m_Thread;
};

// Sends one copy-data block to the window of className. Connecting and writing must
// end within limit, and the answer must come within limit after that. Returns the
// window's result, or -1 when no window of that class listens, a limit passed or the
// exchange failed (a block the receiver has not begun to handle is then dropped).
int SendCopyData(const std::string& className, uint32_t wParam, uint32_t tag,
                 const std::string& data,
                 std::chrono::milliseconds limit = std::chrono::seconds(10));

}  // namespace gq

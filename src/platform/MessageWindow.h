// A thread-affine mailbox with the semantics of a Win32 window: the thread that
// creates a MessageWindow owns it and runs its handler. Other threads reach it through
// a MessageTarget: Send blocks until the owner has handled the message and returns the
// handler's result; Post queues it for the owner's loop. While a thread waits (its own
// Send to another thread, GetMessage, WaitHandlingSent) it keeps handling messages sent
// to the windows it owns, so two threads sending to each other never deadlock.
// A MessageTarget outlives its window safely: Send then returns 0 and Post false.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace gq {

// The first private application message number; the program's messages are
// kMessageBase + offset.
inline constexpr unsigned kMessageBase = 0x8000;

namespace detail {
struct WindowCore;
}

struct Message {
  unsigned message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  std::shared_ptr<detail::WindowCore> window;
};

using MessageHandler = std::function<intptr_t(unsigned message, uintptr_t wParam, intptr_t lParam)>;

// A copyable reference to a window, usable from any thread.
class MessageTarget {
 public:
  MessageTarget() = default;
  explicit MessageTarget(std::shared_ptr<detail::WindowCore> core) : m_Core(std::move(core)) {}

  // Handled by the owner before it returns; 0 when the window is gone or absent.
  intptr_t Send(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) const;
  // Queued for the owner's loop; false when the window is gone or absent.
  bool Post(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) const;
  // Whether the window still exists.
  bool Alive() const;
  explicit operator bool() const { return m_Core != nullptr; }

 private:
  std::shared_ptr<detail::WindowCore> m_Core;
};

class MessageWindow {
 public:
  // The calling thread becomes the owner.
  explicit MessageWindow(MessageHandler handler);
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  MessageTarget Target() const;
  intptr_t Send(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) const {
    return Target().Send(message, wParam, lParam);
  }
  bool Post(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) const {
    return Target().Post(message, wParam, lParam);
  }
  bool IsOwnerThread() const;

  // Owner thread only: the first queued posted message of this window with a number in
  // [first, last] (0, 0 means any), optionally removed from the queue.
  bool Peek(Message* out, unsigned first, unsigned last, bool remove);

 private:
  std::shared_ptr<detail::WindowCore> m_Core;
};

// The message loop of the calling thread (for all windows it owns).
// Waits for the next posted message, handling sent messages meanwhile; false after
// PostQuitMessage once the messages posted before it were taken.
bool GetMessage(Message* out);
// What TakeMessage found.
enum class TakeResult { kNone, kMessage, kQuit };
// The non-waiting form of GetMessage, for loops that wait elsewhere (the Qt host):
// handles pending sent messages, then takes the next posted message, or the quit
// request once the messages posted before it were taken.
TakeResult TakeMessage(Message* out);
// Whether a posted message or the quit request waits for the calling thread.
bool HasPostedMessages();
// Handles a message returned by GetMessage (nothing when its window is gone).
intptr_t DispatchMessage(const Message& message);
// Handles pending sent messages without waiting; the result says whether any was.
bool HandleSentMessages();
// Lets the calling thread's GetMessage return false with this code.
void PostQuitMessage(int exitCode);
int QuitCode();
// Dispatches until the quit message; returns its code.
int RunMessageLoop();

// A nested wait of the owner thread: handles sent messages (but no posted ones) until
// done() is true (checked at least every 10 ms and after each handled message) or the
// timeout passes. Returns done().
bool WaitHandlingSent(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Called from any thread whenever something arrives for the calling thread's windows;
// the Qt host uses it to wake its event loop. Set by the owner thread for itself.
void SetArrivalCallback(std::function<void()> callback);

}  // namespace gq

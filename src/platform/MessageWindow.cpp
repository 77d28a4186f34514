#include "platform/MessageWindow.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace gq {
namespace detail {

struct ThreadQueue;

// One synchronous send waiting for its result.
struct SentItem {
  std::shared_ptr<WindowCore> window;
  unsigned message;
  uintptr_t wParam;
  intptr_t lParam;
  intptr_t result = 0;
  bool done = false;                    // guarded by the sender queue's mutex
  std::shared_ptr<ThreadQueue> sender;  // woken when done
};

// Everything that arrives for the windows of one thread.
struct ThreadQueue {
  std::mutex mutex;
  std::condition_variable arrived;
  std::deque<std::shared_ptr<SentItem>> sent;  // guarded by mutex
  std::deque<Message> posted;                  // guarded by mutex
  bool quit = false;                           // guarded by mutex
  int quitCode = 0;                            // guarded by mutex
  std::function<void()> arrivalCallback;       // guarded by mutex

  void Notify(std::unique_lock<std::mutex>& lock) {
    std::function<void()> callback = arrivalCallback;
    lock.unlock();
    arrived.notify_all();
    if (callback) callback();
  }
};

struct WindowCore {
  MessageHandler handler;  // called on the owner thread only
  std::shared_ptr<ThreadQueue> owner;
  std::atomic<bool> alive{true};
};

}  // namespace detail

using detail::SentItem;
using detail::ThreadQueue;
using detail::WindowCore;

namespace {

std::shared_ptr<ThreadQueue>& CurrentQueue() {
  thread_local std::shared_ptr<ThreadQueue> queue = std::make_shared<ThreadQueue>();
  return queue;
}

void Complete(const std::shared_ptr<SentItem>& item, intptr_t result) {
  std::unique_lock<std::mutex> lock(item->sender->mutex);
  item->result = result;
  item->done = true;
  item->sender->Notify(lock);
}

// Handles at most one pending sent message; true when there was one.
bool HandleOneSent(ThreadQueue& queue) {
  std::shared_ptr<SentItem> item;
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    if (queue.sent.empty()) return false;
    item = queue.sent.front();
    queue.sent.pop_front();
  }
  intptr_t result = 0;
  if (item->window->alive.load()) {
    result = item->window->handler(item->message, item->wParam, item->lParam);
  }
  Complete(item, result);
  return true;
}

}  // namespace

intptr_t MessageTarget::Send(unsigned message, uintptr_t wParam, intptr_t lParam) const {
  if (!m_Core || !m_Core->alive.load()) return 0;
  std::shared_ptr<ThreadQueue> self = CurrentQueue();
  if (m_Core->owner == self) return m_Core->handler(message, wParam, lParam);

  auto item = std::make_shared<SentItem>();
  item->window = m_Core;
  item->message = message;
  item->wParam = wParam;
  item->lParam = lParam;
  item->sender = self;
  {
    std::unique_lock<std::mutex> lock(m_Core->owner->mutex);
    if (!m_Core->alive.load()) return 0;
    m_Core->owner->sent.push_back(item);
    m_Core->owner->Notify(lock);
  }
  // Wait for the result, handling what others send to this thread meanwhile.
  for (;;) {
    while (HandleOneSent(*self)) {
    }
    std::unique_lock<std::mutex> lock(self->mutex);
    if (item->done) return item->result;
    if (!self->sent.empty()) continue;
    self->arrived.wait(lock, [&] { return item->done || !self->sent.empty(); });
    if (item->done) return item->result;
  }
}

bool MessageTarget::Post(unsigned message, uintptr_t wParam, intptr_t lParam) const {
  if (!m_Core || !m_Core->alive.load()) return false;
  std::unique_lock<std::mutex> lock(m_Core->owner->mutex);
  if (!m_Core->alive.load()) return false;
  m_Core->owner->posted.push_back(Message{message, wParam, lParam, m_Core});
  m_Core->owner->Notify(lock);
  return true;
}

bool MessageTarget::Alive() const { return m_Core && m_Core->alive.load(); }

MessageWindow::MessageWindow(MessageHandler handler) : m_Core(std::make_shared<WindowCore>()) {
  m_Core->handler = std::move(handler);
  m_Core->owner = CurrentQueue();
}

MessageWindow::~MessageWindow() {
  // Sends that are queued for this window get 0; posted messages are dropped.
  std::deque<std::shared_ptr<SentItem>> orphans;
  {
    std::lock_guard<std::mutex> lock(m_Core->owner->mutex);
    m_Core->alive.store(false);
    auto& sent = m_Core->owner->sent;
    for (auto it = sent.begin(); it != sent.end();) {
      if ((*it)->window == m_Core) {
        orphans.push_back(*it);
        it = sent.erase(it);
      } else {
        ++it;
      }
    }
    auto& posted = m_Core->owner->posted;
    for (auto it = posted.begin(); it != posted.end();) {
      it = it->window == m_Core ? posted.erase(it) : it + 1;
    }
  }
  for (auto& item : orphans) Complete(item, 0);
}

MessageTarget MessageWindow::Target() const { return MessageTarget(m_Core); }

bool MessageWindow::IsOwnerThread() const { return m_Core->owner == CurrentQueue(); }

bool MessageWindow::Peek(Message* out, unsigned first, unsigned last, bool remove) {
  std::lock_guard<std::mutex> lock(m_Core->owner->mutex);
  auto& posted = m_Core->owner->posted;
  bool anyNumber = first == 0 && last == 0;
  for (auto it = posted.begin(); it != posted.end(); ++it) {
    if (it->window != m_Core) continue;
    if (!anyNumber && (it->message < first || it->message > last)) continue;
    if (out) *out = *it;
    if (remove) posted.erase(it);
    return true;
  }
  return false;
}

bool GetMessage(Message* out) {
  ThreadQueue& queue = *CurrentQueue();
  for (;;) {
    while (HandleOneSent(queue)) {
    }
    std::unique_lock<std::mutex> lock(queue.mutex);
    if (!queue.sent.empty()) continue;
    if (!queue.posted.empty()) {
      *out = std::move(queue.posted.front());
      queue.posted.pop_front();
      return true;
    }
    if (queue.quit) {
      queue.quit = false;
      return false;
    }
    queue.arrived.wait(lock,
                       [&] { return !queue.sent.empty() || !queue.posted.empty() || queue.quit; });
  }
}

TakeResult TakeMessage(Message* out) {
  ThreadQueue& queue = *CurrentQueue();
  while (HandleOneSent(queue)) {
  }
  std::lock_guard<std::mutex> lock(queue.mutex);
  if (!queue.posted.empty()) {
    *out = std::move(queue.posted.front());
    queue.posted.pop_front();
    return TakeResult::kMessage;
  }
  if (!queue.quit) return TakeResult::kNone;
  queue.quit = false;
  return TakeResult::kQuit;
}

bool HasPostedMessages() {
  ThreadQueue& queue = *CurrentQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  return !queue.posted.empty() || queue.quit;
}

intptr_t DispatchMessage(const Message& message) {
  if (!message.window || !message.window->alive.load()) return 0;
  return message.window->handler(message.message, message.wParam, message.lParam);
}

bool HandleSentMessages() {
  bool any = false;
  while (HandleOneSent(*CurrentQueue())) any = true;
  return any;
}

void PostQuitMessage(int exitCode) {
  ThreadQueue& queue = *CurrentQueue();
  std::unique_lock<std::mutex> lock(queue.mutex);
  queue.quit = true;
  queue.quitCode = exitCode;
  queue.Notify(lock);
}

int QuitCode() {
  ThreadQueue& queue = *CurrentQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  return queue.quitCode;
}

int RunMessageLoop() {
  Message message;
  while (GetMessage(&message)) DispatchMessage(message);
  return QuitCode();
}

bool WaitHandlingSent(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  ThreadQueue& queue = *CurrentQueue();
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    while (HandleOneSent(queue)) {
      if (done()) return true;
    }
    if (done()) return true;
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    auto slice = std::min<std::chrono::steady_clock::duration>(deadline - now,
                                                               std::chrono::milliseconds(10));
    std::unique_lock<std::mutex> lock(queue.mutex);
    if (queue.sent.empty()) queue.arrived.wait_for(lock, slice);
  }
}

void SetArrivalCallback(std::function<void()> callback) {
  ThreadQueue& queue = *CurrentQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  queue.arrivalCallback = std::move(callback);
}

}  // namespace gq

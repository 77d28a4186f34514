// The decoding pool of one load job: worker threads that decode files, thumbnail and
// sign them. Owned by its load job; Give, WaitFor and IsReady are called from the job's
// loader thread only, and the workers hand results back under the pool's mutex.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loading/Loader.h"

namespace gq {

// What a worker made of one file.
struct DecodedFile {
  enum Result { kPending, kDone, kUnreadable, kTooSmall, kCancelled };
  std::string path;
  int32_t fileTime = 0;
  LoadMode mode = kModeExplicit;
  Result result = kPending;   // guarded by the pool's mutex until ready
  uint8_t* pixels = nullptr;  // malloc'ed thumbnail, owned until handed to a record
  int32_t thumbWidth = 0;
  int32_t thumbHeight = 0;
  int32_t pictureWidth = 0;
  int32_t pictureHeight = 0;
  int16_t signature[103] = {};
};

// Tasks are taken in the order they were given; results are read back in that order by
// the loader thread. When no worker thread can be created, Give decodes on the calling
// thread.
class DecodePool {
 public:
  explicit DecodePool(int workers);
  ~DecodePool();  // cancels what has not started and joins the workers
  void Give(std::shared_ptr<DecodedFile> task);
  // Waits until task is no longer pending.
  void WaitFor(const std::shared_ptr<DecodedFile>& task);
  bool IsReady(const std::shared_ptr<DecodedFile>& task);
  int Workers() const { return static_cast<int>(m_Threads.size()); }

 private:
  void Work();
  // Decodes a copy of the task and publishes the result under the lock.
  void Decode(const std::shared_ptr<DecodedFile>& task);

  std::mutex m_Mutex;
  std::condition_variable m_Wake;                    // tasks or shutdown
  std::condition_variable m_Done;                    // a task finished
  std::deque<std::shared_ptr<DecodedFile>> m_Queue;  // guarded by m_Mutex
  bool m_Shutdown = false;                           // guarded by m_Mutex
  std::vector<std::thread> m_Threads;
};

// Decodes one file as the loader does (LoadPicture, thumbnail, signature). Anything
// but a regular file is unreadable (a named pipe would block the decoder).
void DecodeFile(DecodedFile* file);

}  // namespace gq

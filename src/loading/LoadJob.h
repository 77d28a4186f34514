// One load job on its loader thread: the walk over files, folders and lists with the
// per-file checks, the decoding pool, and the in-order hand-over of finished records.
// Also the counter that walks the same input to count its files. Internal to Loader.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
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

// Worker threads that decode files, thumbnail and sign them. Tasks are taken in the
// order they were given; results are read back in that order by the loader thread.
// When no worker thread can be created, Give decodes on the calling thread.
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

// The folders a walk has entered, by device and inode: a walk enters each folder once,
// however many names (bind mounts, repeated list lines) lead to it.
using WalkedFolders = std::set<std::pair<dev_t, ino_t>>;

// What a job is given: paths the user named (a file, a folder or a list each, handled
// one after the other), or, for an update, the files or folders of the records.
struct JobInput {
  std::vector<std::string> paths;  // the dropped-file lock guards reads of it
  bool update = false;             // every path in update mode, never read as a list
};

class LoadJob {
 public:
  LoadJob(std::shared_ptr<LoadSink> sink, int workers, JobInput input);
  // The whole job, on its loader thread.
  void Run();

 private:
  void ProcessPath(const std::string& path);
  void WalkFolder(const std::string& folder, LoadMode mode);
  void ReadList(const std::string& path, bool nestedAllowed);
  // walked: found in a folder, where a symbolic link counts as a link file.
  void LoadOneFile(std::string path, LoadMode mode, bool walked);
  void ProcessInMode(const std::string& path, LoadMode mode);
  // Refuses a named path that holds a zero byte (it would name another file).
  bool AcceptNamed(const std::string& path);

  // Pause and stop: false when the job must end.
  bool GoOn();
  // A status text in walk order: everything before it is handed over first.
  void StatusInOrder(const std::string& text, int holdMs);

  void Dispatch(std::shared_ptr<DecodedFile> task);
  // Completes the finished tasks at the head of the pipeline (all of them with wait).
  void CompleteReady(bool wait);
  void Complete(const std::shared_ptr<DecodedFile>& task);
  void Drain() { CompleteReady(true); }
  bool HandOver(ImageRecord* record);

  std::shared_ptr<LoadSink> m_Sink;
  JobInput m_Input;
  DecodePool m_Pool;
  size_t m_MaxInFlight;
  std::deque<std::shared_ptr<DecodedFile>> m_InFlight;  // walk order
  std::multiset<std::string> m_InFlightPaths;
  WalkedFolders m_Walked;
};

// Counts the files of a job's input for the progress fraction, walking as the loader
// does.
class FileCounter {
 public:
  FileCounter(std::shared_ptr<LoadSink> sink, JobInput input)
      : m_Sink(std::move(sink)), m_Input(std::move(input)) {}
  void Run();

 private:
  bool GoOn();
  void CountPath(const std::string& path, bool nestedAllowed);
  void CountFolder(const std::string& folder);
  void CountList(const std::string& path, bool nestedAllowed);

  std::shared_ptr<LoadSink> m_Sink;
  JobInput m_Input;
  WalkedFolders m_Walked;
};

}  // namespace gq

#include "loading/LoadJob.h"

#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "db/ImageRecord.h"
#include "loading/FileCounter.h"
#include "platform/Beep.h"
#include "platform/ShellLink.h"

namespace gq {
namespace {

constexpr int kExplicitHoldMs = 4000;
constexpr auto kCounterYield = std::chrono::milliseconds(200);
constexpr auto kHandOverRetry = std::chrono::milliseconds(100);
constexpr auto kCounterHeadStart = std::chrono::milliseconds(2000);
constexpr int kUpdateWaitSteps = 249;  // of 20 ms

int HoldFor(LoadMode mode) { return mode == kModeExplicit ? kExplicitHoldMs : 0; }

bool HasLineBreak(const std::string& path) {
  return path.find_first_of("\r\n") != std::string::npos;
}

// The end of a job's counter thread, told to the loader thread, which gives the counter
// a head start: it goes on when the counter ends, or after 2000 ms.
class CounterEnd {
 public:
  void Tell() {
    {
      std::lock_guard<std::mutex> lock(m_Mutex);
      m_Ended = true;
    }
    m_Changed.notify_all();
  }
  void AwaitHeadStart() {
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Changed.wait_for(lock, kCounterHeadStart, [this] { return m_Ended; });
  }

 private:
  std::mutex m_Mutex;
  std::condition_variable m_Changed;
  bool m_Ended = false;  // guarded by m_Mutex
};

}  // namespace

LoadJob::LoadJob(std::shared_ptr<LoadSink> sink, int workers, JobInput input)
    : m_Sink(std::move(sink)),
      m_Input(std::move(input)),
      m_Pool(workers),
      m_MaxInFlight(static_cast<size_t>(2 * m_Pool.Workers() + 1)) {}

void LoadJob::Run() {
  CounterEnd counterEnd;
  std::thread counter;
  try {
    counter = std::thread([sink = m_Sink, input = m_Input, &counterEnd] {
      FileCounter(sink, input).Run();
      counterEnd.Tell();
    });
  } catch (const std::system_error&) {
    counterEnd.Tell();  // no progress fraction, but the files still load
  }
  counterEnd.AwaitHeadStart();
  if (m_Input.update) StartUpdating();
  m_Walker.Walk(m_Input);
  Drain();
  if (counter.joinable()) counter.join();
  bool stopped = g_LoaderState.stop;
  if (--g_LoaderState.activeLoaders == 0) {
    g_LoaderState.total = 0;
    g_LoaderState.done = 0;
  }
  m_Sink->JobEnded(stopped, m_Input.update);
}

bool LoadJob::GoOn() {
  return WaitWhilePaused(*m_Sink, [this] { Drain(); });
}

void LoadJob::File(const std::string& path, LoadMode mode, bool walked) {
  LoadOneFile(path, mode, walked);
}

void LoadJob::Refused(const std::string& text, bool beep) {
  Drain();
  if (beep) MessageBeep(MB_BEEP_DEFAULT);
  StatusInOrder(text, kExplicitHoldMs);
}

void LoadJob::UpdateDirective() { StartUpdating(); }

bool LoadJob::FileCount(int) { return true; }

void LoadJob::StartUpdating() {
  for (int i = 0; i < kUpdateWaitSteps && g_LoaderState.activeCounters > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  StatusInOrder("Updating...", 0);
}

void LoadJob::StatusInOrder(const std::string& text, int holdMs) {
  Drain();
  if (IsLoadErrorText(text)) ++g_LoaderState.failed;
  m_Sink->Status(text, holdMs);
}

void LoadJob::LoadOneFile(std::string path, LoadMode mode, bool walked) {
  if (!GoOn()) return;
  if (g_LoaderState.activeCounters > 0) std::this_thread::sleep_for(kCounterYield);
  ++g_LoaderState.done;
  struct stat info;
  if ((walked ? lstat(path.c_str(), &info) : stat(path.c_str(), &info)) != 0) {
    StatusInOrder(PathMessage("Picture does not exist: \"", path), HoldFor(mode));
    return;
  }
  if (S_ISLNK(info.st_mode) || (IsShellLinkName(path) && !S_ISDIR(info.st_mode))) {
    if (!ResolveLink(&path, mode, &info)) return;
  } else if (S_ISDIR(info.st_mode)) {
    m_Walker.WalkFolder(path, WalkModeFor(mode));
    return;
  }
  // No list line could name the record again (lists, exports, the clipboard's text).
  if (HasLineBreak(path)) {
    StatusInOrder(PathMessage("Name holds a line break: \"", path), HoldFor(mode));
    return;
  }
  int32_t fileTime = RecordFileTime(info.st_mtime);
  // A file still in the pipeline has not reached the window yet: let it, so that the
  // window answers as it would after the earlier hand-over.
  if (m_InFlightPaths.count(path)) Drain();
  if (!m_Sink->CheckFile(path, fileTime)) return;  // known and unchanged
  auto task = std::make_shared<DecodedFile>();
  task->path = path;
  task->fileTime = fileTime;
  task->mode = mode;
  Dispatch(std::move(task));
}

bool LoadJob::ResolveLink(std::string* path, LoadMode mode, struct stat* info) {
  Drain();
  std::string linkPath = *path;
  if (m_Sink->ResolveLink(path) != 1) {
    StatusInOrder(PathMessage("Shell link undefined: \"", linkPath), HoldFor(mode));
    return false;
  }
  if (stat(path->c_str(), info) != 0) {
    StatusInOrder(PathMessage("Picture does not exist: \"", *path), HoldFor(mode));
    return false;
  }
  if (S_ISDIR(info->st_mode)) {
    StatusInOrder(PathMessage("Shell link is directory: \"", *path), HoldFor(mode));
    return false;
  }
  return true;
}

void LoadJob::Dispatch(std::shared_ptr<DecodedFile> task) {
  while (m_InFlight.size() >= m_MaxInFlight) {
    m_Pool.WaitFor(m_InFlight.front());
    CompleteReady(false);
  }
  m_InFlightPaths.insert(task->path);
  m_InFlight.push_back(task);
  m_Pool.Give(std::move(task));
  CompleteReady(false);
}

void LoadJob::CompleteReady(bool wait) {
  while (!m_InFlight.empty()) {
    std::shared_ptr<DecodedFile> head = m_InFlight.front();
    if (wait) {
      m_Pool.WaitFor(head);
    } else if (!m_Pool.IsReady(head)) {
      return;
    }
    m_InFlight.pop_front();
    m_InFlightPaths.erase(m_InFlightPaths.find(head->path));
    Complete(head);
  }
}

void LoadJob::Complete(const std::shared_ptr<DecodedFile>& task) {
  if (g_LoaderState.stop || task->result == DecodedFile::kCancelled) {
    std::free(task->pixels);
    task->pixels = nullptr;
    return;
  }
  m_Sink->Status((m_Sink->IsRemote() ? "Checking: " : "Loading: ") + task->path, 0);
  if (task->result == DecodedFile::kUnreadable || task->result == DecodedFile::kTooSmall) {
    ++g_LoaderState.failed;
  }
  if (task->result == DecodedFile::kUnreadable) {
    if (task->mode != kModeUpdate) {
      m_Sink->Status(PathMessage("Error reading picture: \"", task->path), HoldFor(task->mode));
    }
    return;
  }
  if (task->result == DecodedFile::kTooSmall) {
    if (task->mode != kModeUpdate)
      m_Sink->Status("Picture too small: " + task->path, HoldFor(task->mode));
    return;
  }
  ImageRecord* record = MakeRecord(task->path, task->fileTime);
  record->m_PictureWidth = task->pictureWidth;
  record->m_PictureHeight = task->pictureHeight;
  std::memcpy(record->m_Signature, task->signature, sizeof task->signature);
  SetRecordThumbnail(record, task->pixels, task->thumbWidth, task->thumbHeight);
  task->pixels = nullptr;
  if (!HandOver(record)) DestroyRecord(record);
}

bool LoadJob::HandOver(ImageRecord* record) {
  while (!m_Sink->HandOver(record)) {
    if (g_LoaderState.stop) return false;
    std::this_thread::sleep_for(kHandOverRetry);
  }
  return true;
}

}  // namespace gq

#include "loading/LoadJob.h"

#include <dirent.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "db/ImageRecord.h"
#include "frame/TextFile.h"
#include "frame/Words.h"
#include "loading/LoadPicture.h"
#include "loading/OpenCvHighGui/decode_memory.h"
#include "platform/Beep.h"
#include "platform/ShellLink.h"
#include "signature/Signature.h"
#include "signature/Thumbnail.h"

namespace gq {
namespace {

constexpr int kExplicitHoldMs = 4000;
constexpr auto kPauseStep = std::chrono::milliseconds(200);
constexpr auto kCounterYield = std::chrono::milliseconds(200);
constexpr auto kHandOverRetry = std::chrono::milliseconds(100);

LoaderState& State() { return g_LoaderState; }

int HoldFor(LoadMode mode) { return mode == kModeExplicit ? kExplicitHoldMs : 0; }

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool EndsWithTxt(const std::string& path) {
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".txt") == 0;
}

std::string Join(const std::string& folder, const char* name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Waits while paused; false when the job must end.
bool WaitWhilePaused(LoadSink& sink, const std::function<void()>& beforePause) {
  if (State().stop) return false;
  if (!State().pause) return true;
  if (beforePause) beforePause();
  sink.Status("Loading paused.", -1);
  while (State().pause && !State().stop) std::this_thread::sleep_for(kPauseStep);
  if (State().stop) return false;
  sink.Status("Loading resumed...", 0);
  return true;
}

// The entries of a folder in listing order, without "." and ".."; false when the
// listing cannot start.
bool ListFolder(const std::string& folder, std::vector<std::string>* entries) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  while (dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    entries->push_back(Join(folder, entry->d_name));
  }
  closedir(dir);
  return true;
}

// Opens a list, skipping a leading 0xFF 0xFE.
FILE* OpenList(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return nullptr;
  int first = std::fgetc(file);
  int second = std::fgetc(file);
  if (first != 0xFF || second != 0xFE) std::rewind(file);
  return file;
}

}  // namespace

void DecodeFile(DecodedFile* file) {
  DecodeMemoryHold hold;  // the picture's buffer counts until it is freed below
  IplImage* image = LoadPicture(file->path.c_str(), 1);
  if (!image) {
    file->result = DecodedFile::kUnreadable;
    return;
  }
  PackedImage thumbnail;
  bool made =
      MakeThumbnail(image->width, image->height, image->widthStep,
                    reinterpret_cast<const uint8_t*>(image->imageData), kThumbnailSide, &thumbnail);
  file->pictureWidth = image->width;
  file->pictureHeight = image->height;
  cvReleaseImage(&image);
  if (!made || thumbnail.width <= 2 || thumbnail.height <= 2) {
    file->result = DecodedFile::kTooSmall;
    return;
  }
  int16_t signature[kSignatureLength] = {};
  ComputeSignature(thumbnail.width, thumbnail.height, thumbnail.pixels.data(), file->pictureWidth,
                   file->pictureHeight, signature);
  std::memcpy(file->signature, signature, sizeof file->signature);
  file->pixels = static_cast<uint8_t*>(std::malloc(thumbnail.pixels.size()));
  if (!file->pixels) {
    file->result = DecodedFile::kUnreadable;
    return;
  }
  std::memcpy(file->pixels, thumbnail.pixels.data(), thumbnail.pixels.size());
  file->thumbWidth = thumbnail.width;
  file->thumbHeight = thumbnail.height;
  file->result = DecodedFile::kDone;
}

DecodePool::DecodePool(int workers) {
  for (int i = 0; i < workers; ++i) m_Threads.emplace_back([this] { Work(); });
}

DecodePool::~DecodePool() {
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Shutdown = true;
    for (auto& task : m_Queue) task->result = DecodedFile::kCancelled;
    m_Queue.clear();
  }
  m_Wake.notify_all();
  m_Done.notify_all();
  for (std::thread& thread : m_Threads) thread.join();
}

void DecodePool::Give(std::shared_ptr<DecodedFile> task) {
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Queue.push_back(std::move(task));
  }
  m_Wake.notify_one();
}

void DecodePool::Work() {
  for (;;) {
    std::shared_ptr<DecodedFile> task;
    {
      std::unique_lock<std::mutex> lock(m_Mutex);
      m_Wake.wait(lock, [&] { return m_Shutdown || !m_Queue.empty(); });
      if (m_Shutdown) return;
      task = m_Queue.front();
      m_Queue.pop_front();
    }
    DecodedFile result = *task;  // work on a copy; publish under the lock
    if (State().stop) {
      result.result = DecodedFile::kCancelled;
    } else {
      DecodeFile(&result);
    }
    {
      std::lock_guard<std::mutex> lock(m_Mutex);
      *task = result;
    }
    m_Done.notify_all();
  }
}

void DecodePool::WaitFor(const std::shared_ptr<DecodedFile>& task) {
  std::unique_lock<std::mutex> lock(m_Mutex);
  m_Done.wait(lock, [&] { return task->result != DecodedFile::kPending; });
}

bool DecodePool::IsReady(const std::shared_ptr<DecodedFile>& task) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  return task->result != DecodedFile::kPending;
}

LoadJob::LoadJob(std::shared_ptr<LoadSink> sink, int workers, std::string path,
                 std::vector<std::string> drops, bool dropJob, bool listMode, bool update)
    : m_Sink(std::move(sink)),
      m_Path(std::move(path)),
      m_Drops(std::move(drops)),
      m_DropJob(dropJob),
      m_ListMode(listMode),
      m_Update(update),
      m_Pool(workers),
      m_MaxInFlight(static_cast<size_t>(2 * workers + 1)) {}

void LoadJob::Run() {
  std::atomic<bool> counterDone{false};
  std::thread counter([this, &counterDone] {
    FileCounter(m_Sink, m_Path, m_Drops, m_DropJob).Run();
    counterDone = true;
  });
  // The counter gets a head start of up to 2000 ms.
  for (int i = 0; i < 200 && !counterDone; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));

  if (m_DropJob) {
    for (size_t i = 0;; ++i) {
      std::string entry;
      {
        std::lock_guard<std::mutex> lock(g_DroppedFileLock);
        if (i < m_Drops.size()) entry = m_Drops[i];
      }
      if (State().stop || entry.empty()) break;
      ProcessPath(entry);
    }
  } else {
    ProcessPath(m_Path);
  }
  Drain();
  counter.join();
  bool stopped = State().stop;
  if (--State().activeLoaders == 0) {
    State().total = 0;
    State().done = 0;
  }
  if (m_ListMode) std::remove(m_Path.c_str());
  m_Sink->JobEnded(stopped, m_Update);
}

bool LoadJob::GoOn() {
  return WaitWhilePaused(*m_Sink, [this] { Drain(); });
}

void LoadJob::StatusInOrder(const std::string& text, int holdMs) {
  Drain();
  if (IsLoadErrorText(text)) ++State().failed;
  m_Sink->Status(text, holdMs);
}

void LoadJob::ProcessPath(const std::string& path) {
  if (IsFolder(path)) {
    WalkFolder(path, kModeBatch);
  } else if (EndsWithTxt(path)) {
    ReadList(path, true);
  } else {
    LoadOneFile(path, kModeExplicit);
  }
}

void LoadJob::WalkFolder(const std::string& folder, LoadMode mode) {
  std::vector<std::string> entries;
  if (!ListFolder(folder, &entries)) {
    StatusInOrder(PathMessage("Can't read directory: \"", folder), kExplicitHoldMs);
    return;
  }
  for (const std::string& entry : entries) {
    if (!GoOn()) return;
    if (IsFolder(entry)) {
      WalkFolder(entry, mode);
    } else {
      LoadOneFile(entry, mode);
    }
  }
}

void LoadJob::ReadList(const std::string& path, bool nestedAllowed) {
  FILE* list = OpenList(path);
  if (!list) {
    Drain();
    MessageBeep(MB_BEEP_DEFAULT);
    ++State().failed;
    m_Sink->Status(PathMessage("Can't open input file: \"", path), kExplicitHoldMs);
    return;
  }
  LoadMode mode = kModeExplicit;
  std::string line;
  while (ReadLine(list, &line)) {
    if (line.empty() || (line.size() == 1 && line[0] == '\r')) continue;
    if (!GoOn()) break;
    if (line[0] == '!') {
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      if (line == "!update") {
        for (int i = 0; i < 249 && State().activeCounters > 0; ++i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        StatusInOrder("Updating...", 0);
        mode = kModeUpdate;
      }
      continue;
    }
    std::string entry = NormalizePath(line);
    if (entry.empty()) continue;
    if (EndsWithTxt(entry)) {
      if (nestedAllowed) ReadList(entry, false);
      continue;
    }
    ProcessInMode(entry, mode);
  }
  std::fclose(list);
}

void LoadJob::ProcessInMode(const std::string& path, LoadMode mode) {
  if (IsFolder(path)) {
    WalkFolder(path, mode == kModeUpdate ? kModeUpdate : kModeBatch);
  } else {
    LoadOneFile(path, mode);
  }
}

void LoadJob::LoadOneFile(std::string path, LoadMode mode) {
  if (!GoOn()) return;
  if (State().activeCounters > 0) std::this_thread::sleep_for(kCounterYield);
  ++State().done;
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    StatusInOrder(PathMessage("Picture does not exist: \"", path), HoldFor(mode));
    return;
  }
  bool resolved = false;
  if (IsShellLinkName(path) && !S_ISDIR(info.st_mode)) {
    Drain();
    std::string linkPath = path;
    if (m_Sink->ResolveLink(&path) != 1) {
      StatusInOrder(PathMessage("Shell link undefined: \"", linkPath), HoldFor(mode));
      return;
    }
    resolved = true;
    if (stat(path.c_str(), &info) != 0) {
      StatusInOrder(PathMessage("Picture does not exist: \"", path), HoldFor(mode));
      return;
    }
  }
  if (S_ISDIR(info.st_mode)) {
    if (resolved) {
      StatusInOrder(PathMessage("Shell link is directory: \"", path), HoldFor(mode));
    } else {
      WalkFolder(path, mode == kModeUpdate ? kModeUpdate : kModeBatch);
    }
    return;
  }
  auto fileTime = static_cast<int32_t>(info.st_mtime);
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
  if (State().stop || task->result == DecodedFile::kCancelled) {
    std::free(task->pixels);
    task->pixels = nullptr;
    return;
  }
  m_Sink->Status((m_Sink->IsRemote() ? "Checking: " : "Loading: ") + task->path, 0);
  if (task->result == DecodedFile::kUnreadable || task->result == DecodedFile::kTooSmall) {
    ++State().failed;
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
    if (State().stop) return false;
    std::this_thread::sleep_for(kHandOverRetry);
  }
  return true;
}

void FileCounter::Run() {
  m_Sink->Status("Preparing loading...", 0);
  ++State().activeCounters;
  if (m_DropJob) {
    for (size_t i = 0;; ++i) {
      std::string entry;
      {
        std::lock_guard<std::mutex> lock(g_DroppedFileLock);
        if (i < m_Drops.size()) entry = m_Drops[i];
      }
      if (entry.empty() || !GoOn()) break;
      CountPath(entry, true);
    }
  } else {
    CountPath(m_Path, true);
  }
  --State().activeCounters;
  m_Sink->Status("Loading...", 0);
}

bool FileCounter::GoOn() { return WaitWhilePaused(*m_Sink, nullptr); }

void FileCounter::CountPath(const std::string& path, bool nestedAllowed) {
  if (IsFolder(path)) {
    CountFolder(path);
  } else if (EndsWithTxt(path)) {
    if (nestedAllowed) CountList(path, true);
  } else {
    ++State().total;
  }
}

void FileCounter::CountFolder(const std::string& folder) {
  std::vector<std::string> entries;
  if (!ListFolder(folder, &entries)) return;
  int files = 0;
  std::vector<std::string> subfolders;
  for (const std::string& entry : entries) {
    if (IsFolder(entry)) {
      subfolders.push_back(entry);
    } else {
      ++files;
    }
  }
  State().total += files;
  for (const std::string& sub : subfolders) {
    if (!GoOn()) return;
    CountFolder(sub);
  }
}

void FileCounter::CountList(const std::string& path, bool nestedAllowed) {
  FILE* list = OpenList(path);
  if (!list) return;
  std::string line;
  while (ReadLine(list, &line) && GoOn()) {
    while (!line.empty() && (line.back() == '\r')) line.pop_back();
    if (line.empty()) continue;
    if (line.rfind("!filecount=", 0) == 0) {
      State().total += std::atoi(line.c_str() + 11);
      break;
    }
    if (line == "!update") {
      m_Sink->Status("Preparing loading for update...", 0);
      continue;
    }
    if (line[0] == '!') continue;
    std::string entry = NormalizePath(line);
    if (entry.empty()) continue;
    if (EndsWithTxt(entry)) {
      if (nestedAllowed) CountList(entry, false);
    } else if (IsFolder(entry)) {
      CountFolder(entry);
    } else {
      ++State().total;
    }
  }
  std::fclose(list);
}

}  // namespace gq

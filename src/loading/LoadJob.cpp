#include "loading/LoadJob.h"

#include <dirent.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "db/ImageRecord.h"
#include "frame/Words.h"
#include "loading/ListReader.h"
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

// A folder met in update mode is walked in update mode, otherwise in batch mode.
LoadMode WalkModeFor(LoadMode mode) { return mode == kModeUpdate ? kModeUpdate : kModeBatch; }

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool EndsWithTxt(const std::string& path) {
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".txt") == 0;
}

bool HasZeroByte(const std::string& text) { return text.find('\0') != std::string::npos; }

bool HasLineBreak(const std::string& path) {
  return path.find_first_of("\r\n") != std::string::npos;
}

// The path with each zero byte shown as "\0".
std::string Printable(const std::string& path) {
  std::string text;
  for (char c : path) text += c == '\0' ? std::string("\\0") : std::string(1, c);
  return text;
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

struct FolderEntry {
  std::string path;
  bool isFolder;  // a folder itself, not a link to one
};

enum class Listing { kListed, kUnreadable, kWalkedBefore };

// The entries of a folder in listing order, without "." and "..". A folder already in
// walked is not listed again; links are not followed.
Listing ListFolder(const std::string& folder, WalkedFolders* walked,
                   std::vector<FolderEntry>* entries) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return Listing::kUnreadable;
  struct stat info;
  if (fstat(dirfd(dir), &info) == 0 && !walked->insert({info.st_dev, info.st_ino}).second) {
    closedir(dir);
    return Listing::kWalkedBefore;
  }
  while (dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    std::string path = Join(folder, entry->d_name);
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat entryInfo;
      isFolder = lstat(path.c_str(), &entryInfo) == 0 && S_ISDIR(entryInfo.st_mode);
    }
    entries->push_back(FolderEntry{std::move(path), isFolder});
  }
  closedir(dir);
  return Listing::kListed;
}

// The counter's head start: up to 2000 ms.
void WaitForCounter(const std::atomic<bool>& counterDone) {
  for (int i = 0; i < 200 && !counterDone; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// The path the job reads at index i (under the dropped-file lock); false past the end.
bool PathAt(const JobInput& input, size_t i, std::string* path) {
  std::lock_guard<std::mutex> lock(g_DroppedFileLock);
  if (i >= input.paths.size()) return false;
  *path = input.paths[i];
  return true;
}

}  // namespace

void DecodeFile(DecodedFile* file) {
  DecodeMemoryHold hold;  // the picture's buffer counts until it is freed below
  IplImage* image = IsRegularFile(file->path) ? LoadPicture(file->path.c_str(), 1) : nullptr;
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
  try {
    for (int i = 0; i < workers; ++i) m_Threads.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // The system gave fewer threads: work with those (or on the loader thread).
  }
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
  if (m_Threads.empty()) {
    Decode(task);
    return;
  }
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
    Decode(task);
  }
}

void DecodePool::Decode(const std::shared_ptr<DecodedFile>& task) {
  DecodedFile result = *task;
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

void DecodePool::WaitFor(const std::shared_ptr<DecodedFile>& task) {
  std::unique_lock<std::mutex> lock(m_Mutex);
  m_Done.wait(lock, [&] { return task->result != DecodedFile::kPending; });
}

bool DecodePool::IsReady(const std::shared_ptr<DecodedFile>& task) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  return task->result != DecodedFile::kPending;
}

LoadJob::LoadJob(std::shared_ptr<LoadSink> sink, int workers, JobInput input)
    : m_Sink(std::move(sink)),
      m_Input(std::move(input)),
      m_Pool(workers),
      m_MaxInFlight(static_cast<size_t>(2 * m_Pool.Workers() + 1)) {}

void LoadJob::Run() {
  std::atomic<bool> counterDone{false};
  std::thread counter;
  try {
    counter = std::thread([this, &counterDone] {
      FileCounter(m_Sink, m_Input).Run();
      counterDone = true;
    });
  } catch (const std::system_error&) {
    counterDone = true;  // no progress fraction, but the files still load
  }
  WaitForCounter(counterDone);
  if (m_Input.update) {
    for (int i = 0; i < 249 && State().activeCounters > 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    StatusInOrder("Updating...", 0);
  }
  std::string entry;
  for (size_t i = 0; PathAt(m_Input, i, &entry) && !State().stop; ++i) {
    if (entry.empty() || !AcceptNamed(entry)) continue;
    if (m_Input.update) {
      ProcessInMode(entry, kModeUpdate);
    } else {
      ProcessPath(entry);
    }
  }
  Drain();
  if (counter.joinable()) counter.join();
  bool stopped = State().stop;
  if (--State().activeLoaders == 0) {
    State().total = 0;
    State().done = 0;
  }
  m_Sink->JobEnded(stopped, m_Input.update);
}

bool LoadJob::GoOn() {
  return WaitWhilePaused(*m_Sink, [this] { Drain(); });
}

void LoadJob::StatusInOrder(const std::string& text, int holdMs) {
  Drain();
  if (IsLoadErrorText(text)) ++State().failed;
  m_Sink->Status(text, holdMs);
}

bool LoadJob::AcceptNamed(const std::string& path) {
  if (!HasZeroByte(path)) return true;
  StatusInOrder(PathMessage("Path holds a zero byte: \"", Printable(path)), kExplicitHoldMs);
  return false;
}

void LoadJob::ProcessPath(const std::string& path) {
  if (IsFolder(path)) {
    WalkFolder(path, kModeBatch);
  } else if (EndsWithTxt(path)) {
    ReadList(path, true);
  } else {
    LoadOneFile(path, kModeExplicit, false);
  }
}

void LoadJob::WalkFolder(const std::string& folder, LoadMode mode) {
  std::vector<FolderEntry> entries;
  Listing listing = ListFolder(folder, &m_Walked, &entries);
  if (listing == Listing::kUnreadable) {
    StatusInOrder(PathMessage("Can't read directory: \"", folder), kExplicitHoldMs);
  }
  for (const FolderEntry& entry : entries) {
    if (!GoOn()) return;
    if (entry.isFolder) {
      WalkFolder(entry.path, mode);
    } else {
      LoadOneFile(entry.path, mode, true);
    }
  }
}

void LoadJob::ReadList(const std::string& path, bool nestedAllowed) {
  ListReader list;
  if (!list.Open(path)) {
    Drain();
    MessageBeep(MB_BEEP_DEFAULT);
    ++State().failed;
    m_Sink->Status(PathMessage("Can't open input file: \"", path), kExplicitHoldMs);
    return;
  }
  LoadMode mode = kModeExplicit;
  std::string line;
  for (int number = 1; list.ReadLine(&line); ++number) {
    if (line.empty() || (line.size() == 1 && line[0] == '\r')) continue;
    if (!GoOn()) break;
    if (HasZeroByte(line)) {
      StatusInOrder(ListLineMessage(number, "holds a zero byte", path), kExplicitHoldMs);
      continue;
    }
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
}

void LoadJob::ProcessInMode(const std::string& path, LoadMode mode) {
  if (IsFolder(path)) {
    WalkFolder(path, WalkModeFor(mode));
  } else {
    LoadOneFile(path, mode, false);
  }
}

void LoadJob::LoadOneFile(std::string path, LoadMode mode, bool walked) {
  if (!GoOn()) return;
  if (State().activeCounters > 0) std::this_thread::sleep_for(kCounterYield);
  ++State().done;
  struct stat info;
  if ((walked ? lstat(path.c_str(), &info) : stat(path.c_str(), &info)) != 0) {
    StatusInOrder(PathMessage("Picture does not exist: \"", path), HoldFor(mode));
    return;
  }
  if (S_ISLNK(info.st_mode) || (IsShellLinkName(path) && !S_ISDIR(info.st_mode))) {
    Drain();
    std::string linkPath = path;
    if (m_Sink->ResolveLink(&path) != 1) {
      StatusInOrder(PathMessage("Shell link undefined: \"", linkPath), HoldFor(mode));
      return;
    }
    if (stat(path.c_str(), &info) != 0) {
      StatusInOrder(PathMessage("Picture does not exist: \"", path), HoldFor(mode));
      return;
    }
    if (S_ISDIR(info.st_mode)) {
      StatusInOrder(PathMessage("Shell link is directory: \"", path), HoldFor(mode));
      return;
    }
  } else if (S_ISDIR(info.st_mode)) {
    WalkFolder(path, WalkModeFor(mode));
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
  if (m_Input.update) m_Sink->Status("Preparing loading for update...", 0);
  std::string entry;
  for (size_t i = 0; PathAt(m_Input, i, &entry) && GoOn(); ++i) {
    if (entry.empty() || HasZeroByte(entry)) continue;
    if (!m_Input.update) {
      CountPath(entry, true);
    } else if (IsFolder(entry)) {
      CountFolder(entry);
    } else {
      ++State().total;
    }
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
  std::vector<FolderEntry> entries;
  if (ListFolder(folder, &m_Walked, &entries) != Listing::kListed) return;
  int files = 0;
  for (const FolderEntry& entry : entries) files += entry.isFolder ? 0 : 1;
  State().total += files;
  for (const FolderEntry& entry : entries) {
    if (!entry.isFolder) continue;
    if (!GoOn()) return;
    CountFolder(entry.path);
  }
}

void FileCounter::CountList(const std::string& path, bool nestedAllowed) {
  ListReader list;
  if (!list.Open(path)) return;
  std::string line;
  while (list.ReadLine(&line) && GoOn()) {
    while (!line.empty() && (line.back() == '\r')) line.pop_back();
    if (line.empty() || HasZeroByte(line)) continue;
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
}

}  // namespace gq

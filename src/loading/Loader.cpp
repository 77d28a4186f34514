#include "loading/Loader.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <string>
#include <system_error>
#include <vector>

#include "frame/AtomicFile.h"
#include "loading/LoadJob.h"
#include "platform/MessageBox.h"
#include "platform/MessageWindow.h"

namespace gq {
namespace {

constexpr int kEndWaitMs = 1000;
constexpr time_t kStaleListSeconds = 3600;
constexpr auto kPauseStep = std::chrono::milliseconds(200);

bool IsTemporaryListName(const char* name) {
  std::string text = name;
  bool listed = text.rfind("loadlist", 0) == 0 || text.rfind("pastelist", 0) == 0 ||
                text.rfind("updatelist", 0) == 0;
  return listed && text.size() > 4 && text.compare(text.size() - 4, 4, ".txt") == 0;
}

}  // namespace

LoaderState g_LoaderState;

double LoaderState::Progress() const {
  int all = total.load();
  if (all <= 0) return 0.0;
  return std::clamp(static_cast<double>(done.load()) / all, 0.0, 1.0);
}

bool WaitWhilePaused(LoadSink& sink, const std::function<void()>& beforePause) {
  if (g_LoaderState.stop) return false;
  if (!g_LoaderState.pause) return true;
  if (beforePause) beforePause();
  sink.Status("Loading paused.", -1);
  while (g_LoaderState.pause && !g_LoaderState.stop) std::this_thread::sleep_for(kPauseStep);
  if (g_LoaderState.stop) return false;
  sink.Status("Loading resumed...", 0);
  return true;
}

std::string PathMessage(const char* prefix, const std::string& path) {
  return prefix + path + "\".";
}

std::string ListLineMessage(int number, const char* what, const std::string& list) {
  return "List line " + std::to_string(number) + " " + what + ": \"" + list + "\".";
}

bool IsLoadErrorText(const std::string& text) {
  static const char* const kPrefixes[] = {
      "Can't read directory: \"",    "Can't open input file: \"",
      "Picture does not exist: \"",  "Shell link undefined: \"",
      "Shell link is directory: \"", "Error reading picture: \"",
      "Picture too small: ",         "List line ",
      "Path holds a zero byte: \"",  "Name holds a line break: \""};
  for (const char* prefix : kPrefixes) {
    if (text.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

int DecodeWorkers(int requested) {
  int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  return requested > 0 ? std::min(requested, 4 * cores) : cores;
}

void RemoveStaleTemporaryLists() {
  std::string folder = TemporaryFolder();
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  time_t hourAgo = time(nullptr) - kStaleListSeconds;
  while (dirent* entry = readdir(dir)) {
    if (!IsTemporaryListName(entry->d_name)) continue;
    std::string path = folder + "/" + entry->d_name;
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == getuid() &&
        info.st_mtime <= hourAgo) {
      unlink(path.c_str());
    }
  }
  closedir(dir);
}

bool RunPathJobHere(std::shared_ptr<LoadSink> sink, const std::string& path, int workers) {
  g_LoaderState.stop = false;
  ++g_LoaderState.activeLoaders;
  LoadJob(std::move(sink), DecodeWorkers(workers), JobInput{{path}, false}).Run();
  return !g_LoaderState.stop;
}

Loader::Loader(std::shared_ptr<LoadSink> sink, int workers)
    : m_Sink(std::move(sink)), m_Workers(DecodeWorkers(workers)) {
  RemoveStaleTemporaryLists();
}

Loader::~Loader() {
  g_LoaderState.stop = true;
  g_LoaderState.pause = false;
  // The loaders may be sending to this thread: handle that until they end.
  WaitHandlingSent([] { return g_LoaderState.activeLoaders == 0; },
                   std::chrono::milliseconds(kEndWaitMs));
  for (JobThread& job : m_Jobs) {
    if (*job.finished || g_LoaderState.activeLoaders == 0) {
      job.thread.join();
    } else {
      job.thread.detach();
    }
  }
}

bool Loader::Launch(JobInput input) {
  JoinFinished();
  g_LoaderState.stop = false;
  ++g_LoaderState.activeLoaders;
  auto job = std::make_shared<LoadJob>(m_Sink, m_Workers, std::move(input));
  auto finished = std::make_shared<std::atomic<bool>>(false);
  try {
    m_Jobs.push_back(JobThread{std::thread([job, finished] {
                                 job->Run();
                                 *finished = true;
                               }),
                               finished});
  } catch (const std::system_error&) {
    if (--g_LoaderState.activeLoaders == 0) {
      g_LoaderState.total = 0;
      g_LoaderState.done = 0;
    }
    return false;
  }
  return true;
}

bool Loader::StartPathJob(const std::string& path) { return Launch(JobInput{{path}, false}); }

bool Loader::StartDropJob(std::vector<std::string> paths) {
  return Launch(JobInput{std::move(paths), false});
}

bool Loader::StartUpdateJob(std::vector<std::string> paths) {
  return Launch(JobInput{std::move(paths), true});
}

bool Loader::Stop(bool ask, int timeoutMs) {
  if (!IsLoading()) {
    JoinFinished();
    return true;
  }
  if (ask && MessageBox("Loading still in progress. Stop?", kProgramCaption,
                        MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return false;
  }
  g_LoaderState.stop = true;
  g_LoaderState.pause = false;
  bool ended = WaitHandlingSent(
      [this] {
        if (discardQueued) discardQueued();
        return g_LoaderState.activeLoaders == 0;
      },
      std::chrono::milliseconds(timeoutMs));
  if (discardQueued) discardQueued();
  if (!ended) {
    MessageBox("Could not stop loading.", kProgramCaption, MB_OK | MB_ICONERROR);
    return false;
  }
  g_LoaderState.updateRunning = false;
  JoinFinished();
  return true;
}

void Loader::SetPause(bool paused) { g_LoaderState.pause = paused; }

bool Loader::IsLoading() const { return g_LoaderState.activeLoaders > 0; }

void Loader::JoinFinished() {
  for (auto it = m_Jobs.begin(); it != m_Jobs.end();) {
    if (*it->finished) {
      it->thread.join();
      it = m_Jobs.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace gq

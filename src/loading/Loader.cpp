#include "loading/Loader.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "frame/AtomicFile.h"
#include "loading/LoadJob.h"
#include "platform/MessageBox.h"
#include "platform/MessageWindow.h"

namespace gq {

LoaderState g_LoaderState;
std::mutex g_DroppedFileLock;

double LoaderState::Progress() const {
  int all = total.load();
  if (all <= 0) return 0.0;
  return std::clamp(static_cast<double>(done.load()) / all, 0.0, 1.0);
}

std::string PathMessage(const char* prefix, const std::string& path) {
  return prefix + path + "\".";
}

bool IsLoadErrorText(const std::string& text) {
  static const char* const kPrefixes[] = {
      "Can't read directory: \"", "Can't open input file: \"",   "Picture does not exist: \"",
      "Shell link undefined: \"", "Shell link is directory: \"", "Error reading picture: \"",
      "Picture too small: "};
  for (const char* prefix : kPrefixes) {
    if (text.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

std::string WriteTemporaryList(const std::string& prefix, const std::string& text) {
  std::string pattern = TemporaryFolder() + "/" + prefix + "XXXXXX.txt";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemps(name.data(), 4);
  if (fd < 0) return std::string();
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ok = close(fd) == 0 && ok;
  if (!ok) {
    unlink(name.data());
    return std::string();
  }
  return name.data();
}

bool RunPathJobHere(std::shared_ptr<LoadSink> sink, const std::string& path, int workers) {
  g_LoaderState.stop = false;
  ++g_LoaderState.activeLoaders;
  LoadJob(std::move(sink), std::max(1, workers), path, {}, false, false, false).Run();
  return !g_LoaderState.stop;
}

Loader::Loader(std::shared_ptr<LoadSink> sink, int workers)
    : m_Sink(std::move(sink)),
      m_Workers(workers > 0 ? workers
                            : std::max(1, static_cast<int>(std::thread::hardware_concurrency()))) {}

Loader::~Loader() {
  g_LoaderState.stop = true;
  g_LoaderState.pause = false;
  // The loaders may be sending to this thread: handle that until they end.
  WaitHandlingSent([] { return g_LoaderState.activeLoaders == 0; }, std::chrono::hours(1));
  for (JobThread& job : m_Jobs) job.thread.join();
}

void Loader::Launch(std::function<void()> job) {
  JoinFinished();
  g_LoaderState.stop = false;
  ++g_LoaderState.activeLoaders;
  auto finished = std::make_shared<std::atomic<bool>>(false);
  m_Jobs.push_back(JobThread{std::thread([job = std::move(job), finished] {
                               job();
                               *finished = true;
                             }),
                             finished});
}

void Loader::StartPathJob(const std::string& path, bool listMode, bool update) {
  auto job = std::make_shared<LoadJob>(m_Sink, m_Workers, path, std::vector<std::string>(), false,
                                       listMode, update);
  Launch([job] { job->Run(); });
}

void Loader::StartDropJob(std::vector<std::string> paths) {
  auto job = std::make_shared<LoadJob>(m_Sink, m_Workers, std::string(), std::move(paths), true,
                                       false, false);
  Launch([job] { job->Run(); });
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

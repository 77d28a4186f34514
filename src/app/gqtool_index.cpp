// gqtool index: loads files, folders and lists into a database file with the loader,
// as the program does, and saves it.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "app/gqtool.h"
#include "db/DatabaseOps.h"
#include "frame/HeadlessHost.h"
#include "frame/StatusBar.h"
#include "base/Words.h"
#include "loading/Loader.h"
#include "loading/LoadingHost.h"
#include "loading/OpenPath.h"

namespace gq {
namespace {

struct IndexOptions {
  std::string database;
  std::vector<std::string> paths;
  bool update = false;
  bool quiet = false;
  int jobs = 0;
};

bool ParseIndexOptions(const ToolArguments& args, IndexOptions* options, std::ostream& err) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--update") {
      options->update = true;
    } else if (arg == "--quiet") {
      options->quiet = true;
    } else if (arg == "--jobs" && i + 1 < args.size()) {
      if (!ReadWholeNumber(args[++i], &options->jobs) || options->jobs < 1) {
        err << "gqtool index: --jobs expects a number of at least 1\n";
        return false;
      }
    } else if (!arg.empty() && arg[0] == '-') {
      err << "gqtool index: unknown option " << arg << "\n";
      return false;
    } else if (options->database.empty()) {
      options->database = AbsolutePath(arg);
    } else {
      options->paths.push_back(AbsolutePath(arg));
    }
  }
  if (options->database.empty() || (options->paths.empty() && !options->update)) {
    err << "gqtool index: usage: gqtool index DB PATH... [--update] [--jobs N] [--quiet]\n";
    return false;
  }
  return true;
}

// The live progress line on a terminal: count, total, percentage, pictures per second.
class ProgressLine {
 public:
  ~ProgressLine() { Stop(); }
  // Starts the line; added counts the pictures taken so far (read from the line's thread).
  void Start(std::function<int()> added) {
    m_Added = std::move(added);
    m_Start = std::chrono::steady_clock::now();
    m_Thread = std::thread([this] { Run(); });
  }
  void Stop() {
    if (!m_Thread.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(m_Mutex);
      m_Done = true;
    }
    m_Wake.notify_all();
    m_Thread.join();
    Clear();
  }
  // Removes the line so that another line can be written (any thread).
  void Clear() {
    if (!m_Start.time_since_epoch().count()) return;
    std::lock_guard<std::mutex> lock(m_PrintMutex);
    std::fputs("\r\033[K", stderr);
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(m_Mutex);
    while (!m_Wake.wait_for(lock, std::chrono::milliseconds(250), [this] { return m_Done; })) {
      double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - m_Start).count();
      int done = g_LoaderState.done;
      int total = g_LoaderState.total;
      std::lock_guard<std::mutex> print(m_PrintMutex);
      std::fprintf(stderr, "\r\033[K%d/%d files (%d%%), %d added, %.1f pictures/s", done, total,
                   static_cast<int>(g_LoaderState.Progress() * 100), m_Added(),
                   seconds > 0 ? m_Added() / seconds : 0.0);
      std::fflush(stderr);
    }
  }

  std::function<int()> m_Added;
  std::chrono::steady_clock::time_point m_Start{};
  std::mutex m_Mutex;  // guards m_Done
  std::mutex m_PrintMutex;
  std::condition_variable m_Wake;
  bool m_Done = false;
  std::thread m_Thread;
};

}  // namespace

int RunIndexCommand(const ToolArguments& args, std::ostream& out, std::ostream& err) {
  IndexOptions options;
  if (!ParseIndexOptions(args, &options, err)) return 2;
  HeadlessHost::BlockTerminationSignals();
  HeadlessHost host;
  ImageRecordDB db;
  ProgressLine progress;
  StatusBar status([&](const std::string& text) {
    if (!IsLoadErrorText(text)) return;
    progress.Clear();
    std::fprintf(stderr, "%s\n", text.c_str());
  });
  status.m_PauseOnError = false;
  auto loader = std::make_unique<Loader>(std::make_shared<WindowSink>(host.Target()), options.jobs);
  loader->discardQueued = [&] { LoadingHost::DiscardQueuedHandOvers(host.Window()); };
  db.Host().stopLoading = [&](int ms) { return loader->Stop(false, ms); };
  LoadingHost loading(db, status);
  loading.Install(host);
  if (!options.quiet && isatty(STDERR_FILENO))
    progress.Start([&] { return loading.m_Added.load(); });
  g_LoaderState.failed = 0;

  if (!OpenOrCreateDatabase(db, options.database)) {
    err << "gqtool index: cannot load " << options.database;
    if (!db.File().LastError().empty()) err << ": " << db.File().LastError();
    err << "\n";
    return 1;
  }

  // The jobs run one after the other: the update first, then the paths as one list.
  bool interrupted = false;
  std::vector<std::function<bool()>> jobs;
  if (options.update) {
    jobs.push_back([&] { return UpdateFromDisk(db, *loader, false, false, -1); });
  }
  if (!options.paths.empty()) {
    jobs.push_back([&] { return loader->StartDropJob(options.paths); });
  }
  size_t next = 0;
  auto startNext = [&] {
    while (!interrupted && next < jobs.size()) {
      if (jobs[next++]()) return;
    }
    PostQuitMessage(interrupted ? kExitInterrupted : 0);
  };
  loading.onLoadingDone = [&](bool) {
    if (!loader->IsLoading()) startNext();
  };
  host.SetHandler(kMsgClose, [&](unsigned, uintptr_t, intptr_t) -> intptr_t {
    interrupted = true;
    loader->Stop(false);
    PostQuitMessage(kExitInterrupted);
    return 0;
  });
  startNext();
  int code = host.Run();
  loader.reset();  // every job has ended; nothing sends to the window any more
  progress.Stop();

  bool saved = FlushDatabase(db);
  out << "added " << loading.m_Added << ", skipped " << loading.m_Skipped << " known, "
      << g_LoaderState.failed << " errors; " << db.Count() << " pictures in " << options.database
      << (interrupted ? " (interrupted)" : "") << "\n";
  db.File().Close();
  if (!saved) {
    err << "gqtool index: cannot save " << options.database;
    if (!db.File().LastError().empty()) err << ": " << db.File().LastError();
    err << "\n";
    return 1;
  }
  return code;
}

}  // namespace gq

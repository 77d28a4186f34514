// gqtool index: loads files, folders and lists into a database file with the loader,
// as the program does, and saves it.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "app/IndexFilters.h"
#include "app/ProgressReport.h"
#include "app/StderrCapture.h"
#include "app/gqtool.h"
#include "base/Words.h"
#include "db/DatabaseOps.h"
#include "frame/HeadlessHost.h"
#include "frame/StatusBar.h"
#include "loading/Loader.h"
#include "loading/LoadingHost.h"
#include "loading/OpenCvHighGui/picture_header.h"
#include "loading/OpenPath.h"

namespace gq {
namespace {

struct IndexOptions {
  std::string database;
  std::vector<std::string> paths;
  std::string errorsFile;
  IndexFilterOptions filters;
  bool update = false;
  bool quiet = false;
  int jobs = 0;
};

bool ReadByteCount(const std::string& text, int64_t* bytes) {
  char* end = nullptr;
  errno = 0;
  const long long number = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || number < 0) return false;
  *bytes = number;
  return true;
}

bool ParseIndexOptions(const ToolArguments& args, IndexOptions* options, std::ostream& err) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--update") {
      options->update = true;
    } else if (arg == "--quiet") {
      options->quiet = true;
    } else if (arg == "--hidden") {
      options->filters.hidden = true;
    } else if (arg == "--exclude" && i + 1 < args.size()) {
      options->filters.excludes.push_back(args[++i]);
    } else if (arg == "--min-size" && i + 1 < args.size()) {
      if (!ReadByteCount(args[++i], &options->filters.minSize)) {
        err << "gqtool index: --min-size must be a number of bytes, 0 or more\n";
        return false;
      }
    } else if (arg == "--min-pixels" && i + 1 < args.size()) {
      if (!ReadWholeNumber(args[++i], &options->filters.minPixels) ||
          options->filters.minPixels < 0) {
        err << "gqtool index: --min-pixels must be a number of pixels, 0 or more\n";
        return false;
      }
    } else if (arg == "--errors" && i + 1 < args.size()) {
      options->errorsFile = AbsolutePath(args[++i]);
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
    err << "gqtool index: usage: gqtool index DB PATH... [--update] [--jobs N] [--errors FILE] "
           "[--quiet] [--exclude GLOB]... [--hidden] [--min-size BYTES] [--min-pixels N]\n";
    return false;
  }
  return true;
}

// The path a load error text names: between its first and last double quote, or after
// the first ": " for texts without quotes.
std::string PathOfLoadError(const std::string& text) {
  const size_t open = text.find('"');
  const size_t close = text.rfind('"');
  if (open != std::string::npos && close > open) return text.substr(open + 1, close - open - 1);
  const size_t colon = text.find(": ");
  return colon == std::string::npos ? std::string() : text.substr(colon + 2);
}

// Why a file was not loaded, as the summary counts it.
enum FailureKind { kNotPicture, kDamaged, kTooSmall, kOtherError, kFailureKinds };

// "Error reading picture" means no picture format when the file's first bytes name none
// of the built-in formats, and a damaged picture otherwise.
FailureKind KindOfLoadError(const std::string& text, const std::string& path) {
  if (text.rfind("Picture too small: ", 0) == 0) return kTooSmall;
  if (text.rfind("Error reading picture: ", 0) != 0) return kOtherError;
  uint8_t head[kLongestSignature] = {};
  std::ifstream file(path, std::ios::binary);
  file.read(reinterpret_cast<char*>(head), sizeof head);
  const auto size = static_cast<size_t>(file.gcount());
  return FormatBySignature(head, size) == PictureFormat::kNone ? kNotPicture : kDamaged;
}

// What became of the files that were not loaded: the database's own files (the database
// and its journal beside it, which a walk of their folder meets) are skipped quietly,
// and so are files an update finds vanished;
// every other failure is counted by kind and kept with its message. Named paths that do
// not exist are noted.
class LoadFailures {
 public:
  LoadFailures(const std::string& database, const std::vector<std::string>& named)
      : m_Database(database), m_Named(named) {}

  // Takes a load error text; false when it concerns one of the database's own files, or
  // a vanished file during an update (which removes its record).
  bool Take(const std::string& text) {
    const std::string path = PathOfLoadError(text);
    if (path == m_Database || path.rfind(m_Database + "~", 0) == 0) {
      ++m_OwnFiles;
      return false;
    }
    if (g_LoaderState.updateRunning && text.rfind("Picture does not exist: ", 0) == 0) return false;
    ++m_Counts[KindOfLoadError(text, path)];
    m_Messages.push_back(text);
    for (const std::string& named : m_Named) {
      if (named == path && !std::filesystem::exists(named)) m_NamedMissing = true;
    }
    return true;
  }

  // Writes one message per line to path; false when it cannot be written.
  bool Write(const std::string& path) const {
    std::ofstream file(path, std::ios::trunc);
    for (const std::string& message : m_Messages) file << message << '\n';
    file.close();
    return static_cast<bool>(file);
  }

  // Takes the lines the codecs wrote to standard error; they go to the errors file.
  void TakeWarnings(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) m_Messages.push_back("Codec message: " + line);
    m_Warnings += static_cast<int>(lines.size());
  }

  int Count(FailureKind kind) const { return m_Counts[kind]; }
  int OwnFiles() const { return m_OwnFiles; }
  int Warnings() const { return m_Warnings; }
  bool NamedMissing() const { return m_NamedMissing; }

 private:
  const std::string m_Database;
  const std::vector<std::string>& m_Named;
  std::vector<std::string> m_Messages;
  int m_Counts[kFailureKinds] = {};
  int m_OwnFiles = 0;
  int m_Warnings = 0;
  bool m_NamedMissing = false;
};

// Whether the database can be written: its folder, and the file itself when it exists.
// Tells why not on err.
bool CheckWritable(const std::string& database, std::ostream& err) {
  const std::string folder = std::filesystem::path(database).parent_path().string();
  const bool exists = access(database.c_str(), F_OK) == 0;
  const std::string& checked = exists ? database : folder;
  if (access(checked.c_str(), W_OK | (exists ? 0 : X_OK)) == 0) return true;
  err << "gqtool index: cannot write " << checked << ": " << std::strerror(errno) << "\n";
  return false;
}

}  // namespace

int RunIndexCommand(const ToolArguments& args, std::ostream& out, std::ostream& err) {
  IndexOptions options;
  if (!ParseIndexOptions(args, &options, err)) return 2;
  if (!CheckWritable(options.database, err)) return 1;
  HeadlessHost::BlockTerminationSignals();
  HeadlessHost host;
  ImageRecordDB db;
  std::optional<ProgressReport> progress;
  FILE* terminal = stderr;
  LoadFailures failures(options.database, options.paths);
  StatusBar status([&](const std::string& text) {
    if (!IsLoadErrorText(text) || !failures.Take(text)) return;
    if (progress) progress->Clear();
    std::fprintf(terminal, "%s\n", text.c_str());
  });
  status.m_PauseOnError = false;
  auto loader = std::make_unique<Loader>(std::make_shared<WindowSink>(host.Target()), options.jobs);
  loader->discardQueued = [&] { LoadingHost::DiscardQueuedHandOvers(host.Window()); };
  db.Host().stopLoading = [&](int ms) { return loader->Stop(false, ms); };
  LoadingHost loading(db, status);
  loading.Install(host);
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
  int beforeUpdate = 0;
  int removed = 0;
  // An update ends with two messages, loading done and then update done (which removes
  // the vanished records): the next job waits for the second.
  bool updateRunning = false;
  if (options.update) {
    jobs.push_back([&] {
      beforeUpdate = db.Count();
      updateRunning = UpdateFromDisk(db, *loader, false, false, -1);
      return updateRunning;
    });
  }
  // The pictures the named paths gave: added or found known.
  int pathsStart = 0;
  auto pathPictures = [&] { return loading.m_Added + loading.m_Skipped - pathsStart; };
  if (!options.paths.empty()) {
    jobs.push_back([&] {
      pathsStart = loading.m_Added + loading.m_Skipped;
      return loader->StartDropJob(options.paths);
    });
  }
  size_t next = 0;
  auto startNext = [&] {
    while (!interrupted && next < jobs.size()) {
      if (jobs[next++]()) return;
    }
    PostQuitMessage(interrupted ? kExitInterrupted : 0);
  };
  loading.onLoadingDone = [&](bool) {
    if (!updateRunning && !loader->IsLoading()) startNext();
  };
  loading.onUpdateDone = [&](bool) {
    removed = beforeUpdate - db.Count();
    updateRunning = false;
    if (!loader->IsLoading()) startNext();
  };
  host.SetHandler(kMsgClose, [&](unsigned, uintptr_t, intptr_t) -> intptr_t {
    interrupted = true;
    loader->Stop(false);
    PostQuitMessage(kExitInterrupted);
    return 0;
  });
  IndexFilters filters(options.filters);
  g_WalkFilter = [&](const WalkedEntry& entry) { return filters.LeaveOut(entry); };
  // The codecs' own warnings are caught while pictures are decoded.
  std::vector<std::string> warnings;
  std::optional<StderrCapture> capture(std::in_place,
                                       [&](const std::string& line) { warnings.push_back(line); });
  terminal = capture->Terminal();
  if (!options.quiet) {
    progress.emplace(terminal, [&] {
      return ProgressCounts{g_LoaderState.done, g_LoaderState.total, loading.m_Added};
    });
    progress->Start();
  }
  startNext();
  int code = host.Run();
  loader.reset();  // every job has ended; nothing sends to the window any more
  g_WalkFilter = nullptr;
  if (progress) {
    progress->Stop();
    progress->Phase("saving " + std::to_string(db.Count()) + " pictures to " + options.database);
  }
  bool saved = FlushDatabase(db);
  progress.reset();
  capture.reset();
  terminal = stderr;
  failures.TakeWarnings(warnings);
  const int replaced = loading.m_Replaced;
  out << "added " << loading.m_Added - replaced << ", updated " << replaced << ", removed "
      << removed << ", unchanged " << loading.m_Skipped << ", not a picture "
      << failures.Count(kNotPicture) << ", damaged " << failures.Count(kDamaged) << ", too small "
      << failures.Count(kTooSmall) << ", other errors " << failures.Count(kOtherError)
      << ", skipped " << failures.OwnFiles() << ", left out " << filters.LeftOut() << "; "
      << db.Count() << " pictures in " << options.database << (interrupted ? " (interrupted)" : "")
      << "\n";
  db.File().Close();
  if (!saved) {
    err << "gqtool index: cannot save " << options.database;
    if (!db.File().LastError().empty()) err << ": " << db.File().LastError();
    err << "\n";
    return 1;
  }
  if (failures.Warnings() > 0) {
    err << "gqtool index: the picture codecs wrote " << failures.Warnings() << " messages"
        << (options.errorsFile.empty() ? " (--errors FILE lists them)\n" : "\n");
  }
  if (!options.errorsFile.empty() && !failures.Write(options.errorsFile)) {
    err << "gqtool index: cannot write " << options.errorsFile << "\n";
    return 1;
  }
  if (code != 0) return code;
  if (failures.NamedMissing()) {
    err << "gqtool index: a named path does not exist\n";
    return 1;
  }
  if (!options.paths.empty() && pathPictures() == 0) {
    err << "gqtool index: the named paths hold no picture\n";
    return 1;
  }
  return code;
}

}  // namespace gq

// gqtool index: loads files, folders and lists into a database file with the loader,
// as the program does, and saves it.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>

#include "app/IndexFilters.h"
#include "app/IndexOutcomes.h"
#include "app/PeriodicPost.h"
#include "app/ProgressReport.h"
#include "app/StderrCapture.h"
#include "app/ToolSettings.h"
#include "app/gqtool.h"
#include "base/Words.h"
#include "db/DatabaseOps.h"
#include "frame/HeadlessHost.h"
#include "frame/Settings.h"
#include "frame/StatusBar.h"
#include "loading/ImportFilter.h"
#include "loading/Loader.h"
#include "loading/LoadingHost.h"
#include "loading/OpenCvHighGui/picture_header.h"
#include "loading/OpenPath.h"

namespace gq {
namespace {

// How often a long run saves what it has loaded, so that a run killed on the way loses at
// most that much work.
constexpr int kSaveEverySeconds = 300;

// Posted to the host's window when a save is due.
constexpr unsigned kMsgSaveDue = kMessageBase + 64;

struct IndexOptions {
  std::string database;
  std::vector<std::string> paths;
  std::string errorsFile;
  IndexFilterOptions filters;
  // For this run instead of the user's settings, as they are stored.
  std::optional<std::string> importCommand;
  std::optional<std::string> importTypes;
  bool update = false;
  bool quiet = false;
  bool json = false;
  int jobs = 0;
  int saveEverySeconds = kSaveEverySeconds;
};

// Takes the value of an import-filter option as the setting of that name stores it.
bool ReadImportOption(const std::string& option, const char* setting, const std::string& given,
                      std::optional<std::string>* target, std::ostream& err) {
  std::string stored;
  std::string problem;
  if (!FindToolSetting(setting)->accept(given, &stored, &problem)) {
    err << "gqtool index: " << option << " " << problem << "\n";
    return false;
  }
  *target = stored;
  return true;
}

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
    } else if (arg == "--json") {
      options->json = true;
    } else if (arg == "--import-cmd" && i + 1 < args.size()) {
      if (!ReadImportOption(arg, "ImportCmd", args[++i], &options->importCommand, err))
        return false;
    } else if (arg == "--import-types" && i + 1 < args.size()) {
      if (!ReadImportOption(arg, "ImportTypes", args[++i], &options->importTypes, err))
        return false;
    } else if (arg == "--save-every" && i + 1 < args.size()) {
      if (!ReadWholeNumber(args[++i], &options->saveEverySeconds) ||
          options->saveEverySeconds < 1) {
        err << "gqtool index: --save-every must be a number of seconds, 1 or more\n";
        return false;
      }
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
           "[--quiet] [--json] [--exclude GLOB]... [--hidden] [--min-size BYTES] "
           "[--min-pixels N] [--import-cmd TEMPLATE] [--import-types LIST] "
           "[--save-every SECONDS]\n";
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

// Why a file was not loaded. "Error reading picture" means no picture format when the
// file's first bytes name none of the built-in formats, and a damaged picture otherwise.
IndexOutcome KindOfLoadError(const std::string& text, const std::string& path) {
  if (text.rfind("Picture too small: ", 0) == 0) return IndexOutcome::kTooSmall;
  if (text.rfind("Error reading picture: ", 0) != 0) return IndexOutcome::kOtherError;
  uint8_t head[kLongestSignature] = {};
  std::ifstream file(path, std::ios::binary);
  file.read(reinterpret_cast<char*>(head), sizeof head);
  const auto size = static_cast<size_t>(file.gcount());
  return FormatBySignature(head, size) == PictureFormat::kNone ? IndexOutcome::kNotPicture
                                                               : IndexOutcome::kDamaged;
}

// What became of the files that were not loaded: the database's own files (the database
// and its journal beside it, which a walk of their folder meets) are skipped quietly,
// and so are files an update finds vanished;
// every other failure is noted by kind in the outcomes and kept with its message. Named
// paths that do not exist are noted.
class LoadFailures {
 public:
  LoadFailures(const std::string& database, const std::vector<std::string>& named,
               IndexOutcomes& outcomes)
      : m_Database(database), m_Named(named), m_Outcomes(outcomes) {}

  // Takes a load error text; false when it concerns one of the database's own files, or
  // a vanished file during an update (which removes its record).
  bool Take(const std::string& text) {
    const std::string path = PathOfLoadError(text);
    if (path == m_Database || path.rfind(m_Database + "~", 0) == 0) {
      m_Outcomes.Note(path, IndexOutcome::kSkipped);
      return false;
    }
    if (g_LoaderState.updateRunning && text.rfind("Picture does not exist: ", 0) == 0) return false;
    m_Outcomes.Note(path, KindOfLoadError(text, path), text);
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

  int Warnings() const { return m_Warnings; }
  bool NamedMissing() const { return m_NamedMissing; }

 private:
  const std::string m_Database;
  const std::vector<std::string>& m_Named;
  IndexOutcomes& m_Outcomes;
  std::vector<std::string> m_Messages;
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

// The summary line, counting each file once.
void PrintSummary(const IndexSummary& summary, const IndexOutcomes& outcomes, std::ostream& out) {
  using O = IndexOutcome;
  out << "added " << outcomes.Count(O::kAdded) << ", updated " << outcomes.Count(O::kUpdated)
      << ", removed " << outcomes.Count(O::kRemoved) << ", unchanged "
      << outcomes.Count(O::kUnchanged) << ", not a picture " << outcomes.Count(O::kNotPicture)
      << ", damaged " << outcomes.Count(O::kDamaged) << ", too small "
      << outcomes.Count(O::kTooSmall) << ", other errors " << outcomes.Count(O::kOtherError)
      << ", skipped " << outcomes.Count(O::kSkipped) << ", left out " << outcomes.Count(O::kLeftOut)
      << "; " << summary.pictures << " pictures in " << summary.database
      << (summary.complete ? "" : " (interrupted)") << "\n";
}

// The import filter of this run: the options replace the user's settings in memory
// only (gqtool never writes the settings back).
void UseImportOptions(const IndexOptions& options) {
  std::lock_guard<std::mutex> lock(ImportFilterLock());
  if (options.importCommand) g_settings.importCommand = *options.importCommand;
  if (options.importTypes) g_settings.importTypes = *options.importTypes;
}

std::string SavingText(const ImageRecordDB& db, const std::string& database) {
  return "saving " + std::to_string(db.Count()) + " pictures to " + database;
}

}  // namespace

int RunIndexCommand(const ToolArguments& args, std::ostream& out, std::ostream& err) {
  IndexOptions options;
  if (!ParseIndexOptions(args, &options, err)) return 2;
  if (!CheckWritable(options.database, err)) return 1;
  UseImportOptions(options);
  HeadlessHost::BlockTerminationSignals();
  HeadlessHost host;
  ImageRecordDB db;
  std::optional<ProgressReport> progress;
  FILE* terminal = stderr;
  IndexOutcomes outcomes;
  LoadFailures failures(options.database, options.paths, outcomes);
  auto printLine = [&](const std::string& text) {
    if (progress) progress->Clear();
    std::fprintf(terminal, "%s\n", text.c_str());
  };
  StatusBar status([&](const std::string& text) {
    if (IsLoadErrorText(text) && failures.Take(text)) printLine(text);
  });
  status.m_PauseOnError = false;
  auto loader = std::make_unique<Loader>(std::make_shared<WindowSink>(host.Target()), options.jobs);
  loader->discardQueued = [&] { LoadingHost::DiscardQueuedHandOvers(host.Window()); };
  db.Host().stopLoading = [&](int ms) { return loader->Stop(false, ms); };
  LoadingHost loading(db, status);
  loading.Install(host);
  outcomes.Install(host, loading, db);
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
  // An update ends with two messages, loading done and then update done (which removes
  // the vanished records): the next job waits for the second.
  bool updateRunning = false;
  if (options.update) {
    jobs.push_back([&] {
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
  // Saves on the way, as the final save does; a failed one is tried again later.
  host.SetHandler(kMsgSaveDue, [&](unsigned, uintptr_t, intptr_t) -> intptr_t {
    if (db.IsClean()) return 0;
    if (progress) progress->Hold(SavingText(db, options.database));
    const bool savedNow = FlushDatabase(db);
    if (progress) progress->Resume();
    if (!savedNow) printLine("gqtool index: cannot save " + options.database + " now");
    return 0;
  });
  std::optional<PeriodicPost> saveTimer(std::in_place, host.Target(), kMsgSaveDue,
                                        std::chrono::seconds(options.saveEverySeconds));
  startNext();
  int code = host.Run();
  saveTimer.reset();
  loader.reset();  // every job has ended; nothing sends to the window any more
  g_WalkFilter = nullptr;
  if (progress) {
    progress->Stop();
    progress->Phase(SavingText(db, options.database));
  }
  bool saved = FlushDatabase(db);
  progress.reset();
  capture.reset();
  terminal = stderr;
  failures.TakeWarnings(warnings);
  for (const std::string& path : filters.LeftOutPaths())
    outcomes.Note(path, IndexOutcome::kLeftOut);
  const IndexSummary summary{options.database, db.Count(), !interrupted};
  if (options.json) {
    WriteIndexJson(summary, outcomes, out);
  } else {
    PrintSummary(summary, outcomes, out);
  }
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

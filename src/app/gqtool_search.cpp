// gqtool similar, duplicates, mosaic and adjust: the search engine from scripts. Each
// command loads the database, runs on the main thread with a progress line on a
// terminal, and stops cleanly on Ctrl-C (SIGINT).
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/TerminalLine.h"
#include "app/ToolOptions.h"
#include "app/gqtool.h"
#include "base/Words.h"
#include "db/DatabaseOps.h"
#include "loading/LoadPicture.h"
#include "search/CriteriaAdjust.h"
#include "search/DuplicateSearch.h"
#include "search/SearchEngine.h"
#include "search/StepRunner.h"
#include "signature/CriteriaFile.h"
#include "signature/Similarity.h"
#include "signature/Thumbnail.h"

namespace gq {
namespace {

volatile std::sig_atomic_t g_Interrupted = 0;

void OnInterrupt(int) { g_Interrupted = 1; }

// Catches Ctrl-C for the lifetime of the object; the command polls Interrupted().
class InterruptGuard {
 public:
  InterruptGuard() {
    g_Interrupted = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_Previous);
  }
  ~InterruptGuard() { sigaction(SIGINT, &m_Previous, nullptr); }
  static bool Interrupted() { return g_Interrupted != 0; }

 private:
  struct sigaction m_Previous {};
};

// Loads the database; reports a failure on err.
bool OpenDatabase(ImageRecordDB& db, const std::string& path, const char* command,
                  std::ostream& err) {
  if (LoadDatabase(db, path, 0, 0)) return true;
  err << "gqtool " << command << ": cannot load " << path;
  if (!db.File().LastError().empty()) err << ": " << db.File().LastError();
  err << "\n";
  return false;
}

// The record of a picture path: as given, made absolute as the loader makes the paths it
// stores (symbolic links kept), or else with every link resolved.
ImageRecord* FindPicture(ImageRecordDB& db, const std::string& path) {
  if (ImageRecord* record = db.FindByPath(path)) return record;
  if (ImageRecord* record = db.FindByPath(NormalizePath(path))) return record;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) != nullptr) return db.FindByPath(resolved);
  return nullptr;
}

// A record made from a picture file that is not in the database (its file-path value 0).
ImageRecord* RecordFromFile(const std::string& path) {
  IplImage* image = LoadPicture(path.c_str(), 1);
  if (image == nullptr) return nullptr;
  ImageRecord* record = MakeRecord(path);
  const bool made = MakeRecordThumbnail(record, image->width, image->height, image->widthStep,
                                        reinterpret_cast<const uint8_t*>(image->imageData));
  record->m_PictureWidth = image->width;
  record->m_PictureHeight = image->height;
  cvReleaseImage(&image);
  if (!made ||
      !ComputeSignature(record->m_ThumbWidth, record->m_ThumbHeight, record->m_ThumbPixels,
                        record->m_PictureWidth, record->m_PictureHeight, record->m_Signature)) {
    DestroyRecord(record);
    return nullptr;
  }
  return record;
}

bool ReadCriteriaOption(const std::string& path, const char* command, std::ostream& err) {
  Criteria criteria = CurrentCriteria();
  if (!ReadCriteriaFile(path, &criteria)) {
    err << "gqtool " << command << ": " << path << ": Can't read criterias file.\n";
    return false;
  }
  SetCurrentCriteria(criteria);
  return true;
}

// Takes the criteria file when one is named, then loads the database (an engine already
// watches `db`, so the load builds its index). Reports a failure on err.
bool PrepareSearch(ImageRecordDB& db, const std::string& criteriaFile, const std::string& dbPath,
                   const char* command, std::ostream& err) {
  if (!criteriaFile.empty() && !ReadCriteriaOption(criteriaFile, command, err)) return false;
  return OpenDatabase(db, dbPath, command, err);
}

std::string JsonString(const std::string& text) {
  std::string json = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      json += '\\';
      json += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      json += escaped;
    } else {
      json += static_cast<char>(c);
    }
  }
  return json + "\"";
}

// The mosaic's options; --criteria also selects the criteria it reads.
std::vector<ToolOption> MosaicOptionTable(MosaicOptions* options, std::string* criteriaFile) {
  auto clear = [](std::string name, bool* target) {
    return ToolOption{std::move(name), [target] { *target = false; }, nullptr};
  };
  return {NumberOption("--columns", 1, 1000, &options->columns),
          NumberOption("--rows", 1, 1000, &options->rows),
          NumberOption("--width", 1, 1024 * 1000, &options->width),
          NumberOption("--height", 1, 1024 * 1000, &options->height),
          NumberOption("--blending", 0, 100, &options->blending),
          {"--criteria", nullptr,
           [=](const std::string& value) {
             *criteriaFile = value;
             options->useCurrentCriteria = true;
             return true;
           }},
          FlagOption("--current-criteria", &options->useCurrentCriteria),
          clear("--no-similarity-check", &options->similarityCheck),
          clear("--no-color-correction", &options->correctColours),
          FlagOption("--exclude-source", &options->excludeSource),
          FlagOption("--avoid-reuse", &options->avoidReuse),
          clear("--no-masked", &options->masked)};
}

}  // namespace

int RunSimilarCommand(const ToolArguments& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> positional;
  int32_t first = 1, last = 20;
  std::string criteriaFile;
  bool scores = false;
  const OptionProblem problem =
      ParseToolOptions(args,
                       {NumberOption("--first", 1, INT32_MAX / 2, &first),
                        NumberOption("--last", 1, INT32_MAX / 2, &last),
                        TextOption("--criteria", &criteriaFile), FlagOption("--scores", &scores)},
                       &positional);
  if (problem || positional.size() != 2) {
    err << "gqtool similar: usage: gqtool similar DB PICTURE [--first F] [--last L] "
           "[--criteria FILE] [--scores]\n";
    return 2;
  }
  ImageRecordDB db;
  SearchEngine engine(db);
  if (!PrepareSearch(db, criteriaFile, positional[0], "similar", err)) return 1;
  ImageRecord* record = FindPicture(db, positional[1]);
  ImageRecord* outside = nullptr;
  if (record == nullptr) {
    outside = record = RecordFromFile(positional[1]);
    if (record == nullptr) {
      err << "gqtool similar: " << positional[1] << ": Can't read selected picture.\n";
      return 1;
    }
  }
  const std::vector<ScoredRecord> list =
      engine.SimilarList(record, first, last, BuildWeights(CurrentCriteria()));
  for (const ScoredRecord& entry : list) {
    if (entry.record == nullptr) continue;
    out << entry.record->m_Path;
    if (scores) out << '\t' << entry.distance;
    out << '\n';
  }
  if (outside != nullptr) DestroyRecord(outside);
  return 0;
}

int RunDuplicatesCommand(const ToolArguments& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> positional;
  std::string criteriaFile;
  int32_t similarity = kDefaultDuplicateSimilarity;
  bool identity = false, json = false;
  const OptionProblem problem = ParseToolOptions(
      args,
      {NumberOption("--similarity", 0, 100, &similarity), TextOption("--criteria", &criteriaFile),
       FlagOption("--identity", &identity), FlagOption("--json", &json)},
      &positional);
  if (problem || positional.size() != 1) {
    err << "gqtool duplicates: usage: gqtool duplicates DB [--similarity 0-100] "
           "[--criteria FILE] [--identity] [--json]\n";
    return 2;
  }
  ImageRecordDB db;
  SearchEngine engine(db);
  if (!PrepareSearch(db, criteriaFile, positional[0], "duplicates", err)) return 1;

  InterruptGuard interrupt;
  TerminalLine line;
  std::string status;
  int percent = 0;
  RunnerHooks hooks;
  hooks.statusText = [&](const std::string& text) { status = text; };
  hooks.setProgress = [&](int value) {
    percent = value;
    line.Show(status + " " + std::to_string(percent) + "%");
  };
  hooks.dispatchMessages = [&] {
    if (InterruptGuard::Interrupted() && engine.Duplicates().Running()) {
      RunDuplicateSearch(engine, !criteriaFile.empty(), identity, similarity, hooks);
    }
    return true;
  };
  const RunOutcome outcome =
      RunDuplicateSearch(engine, !criteriaFile.empty(), identity, similarity, hooks);
  line.Clear();
  err << status << "\n";

  std::vector<std::vector<std::string>> groups;
  int32_t group = -1;
  iavl_iterator it;
  iavl_iter_init(&it, &db.GroupList());
  for (void* item = iavl_iter_first(&it); item != nullptr; item = iavl_iter_next(&it)) {
    auto* record = static_cast<ImageRecord*>(item);
    if (groups.empty() || record->m_GroupNr != group) groups.emplace_back();
    group = record->m_GroupNr;
    groups.back().push_back(record->m_Path);
  }
  if (json) {
    out << "{\"complete\": " << (outcome == RunOutcome::kFinished ? "true" : "false")
        << ", \"groups\": [";
    for (size_t g = 0; g < groups.size(); ++g) {
      out << (g ? ", [" : "[");
      for (size_t m = 0; m < groups[g].size(); ++m)
        out << (m ? ", " : "") << JsonString(groups[g][m]);
      out << "]";
    }
    out << "]}\n";
  } else {
    for (size_t g = 0; g < groups.size(); ++g) {
      if (g > 0) out << '\n';
      for (const std::string& path : groups[g]) out << path << '\n';
    }
  }
  return outcome == RunOutcome::kFinished ? 0 : kExitInterrupted;
}

int RunMosaicCommand(const ToolArguments& args, std::ostream& out, std::ostream& err) {
  (void)out;
  std::vector<std::string> positional;
  MosaicOptions options;
  std::string criteriaFile;
  const OptionProblem problem =
      ParseToolOptions(args, MosaicOptionTable(&options, &criteriaFile), &positional);
  if (problem || positional.size() != 3) {
    err << "gqtool mosaic: usage: gqtool mosaic DB SOURCE OUT [--columns 20] [--rows 30] "
           "[--width 1024] [--height 768] [--blending 30] [options]; see gqtool --help\n";
    return 2;
  }
  if (options.width < options.columns || options.width > options.columns * 1024 ||
      options.height < options.rows || options.height > options.rows * 1024) {
    err << "gqtool mosaic: Error reading parameters. (width must lie in columns ... columns * "
           "1024, height in rows ... rows * 1024)\n";
    return 2;
  }
  ImageRecordDB db;
  SearchEngine engine(db);
  if (!PrepareSearch(db, criteriaFile, positional[0], "mosaic", err)) return 1;
  IplImage* image = LoadPicture(positional[1].c_str(), 1);
  if (image == nullptr) {
    err << "gqtool mosaic: " << positional[1] << ": Can't read selected picture.\n";
    return 1;
  }
  PackedImage source;
  source.Allocate(image->width, image->height);
  for (int y = 0; y < image->height; ++y) {
    std::memcpy(source.row(y), image->imageData + static_cast<size_t>(y) * image->widthStep,
                static_cast<size_t>(3) * image->width);
  }
  cvReleaseImage(&image);
  if (ImageRecord* record = FindPicture(db, positional[1])) options.sourceLfdNr = record->m_LfdNr;
  char resolved[PATH_MAX];
  options.file = positional[2];
  if (positional[2][0] != '/' && getcwd(resolved, sizeof resolved) != nullptr) {
    options.file = std::string(resolved) + "/" + positional[2];
  }

  InterruptGuard interrupt;
  TerminalLine line;
  RunnerHooks hooks;
  hooks.setProgress = [&](int percent) { line.Show("Mosaic " + std::to_string(percent) + "%"); };
  hooks.dispatchMessages = [&] {
    if (InterruptGuard::Interrupted() && engine.Mosaic().Active()) {
      RunMosaic(engine, options, PackedImage(), hooks);
    }
    return true;
  };
  std::string message;
  const RunOutcome outcome = RunMosaic(engine, options, std::move(source), hooks, &message);
  line.Clear();
  switch (outcome) {
    case RunOutcome::kFinished:
      err << "Wrote " << options.file << "\n";
      return 0;
    case RunOutcome::kCancelled:
      err << "Cancelled; wrote the partial mosaic to " << options.file << "\n";
      return kExitInterrupted;
    default:
      return 1;
  }
}

int RunAdjustCommand(const ToolArguments& args, std::ostream& out, std::ostream& err) {
  (void)out;
  std::vector<std::string> positional;
  std::string criteriaFile, outFile;
  bool quick = false;
  const OptionProblem problem =
      ParseToolOptions(args,
                       {FlagOption("--quick", &quick), TextOption("--criteria", &criteriaFile),
                        TextOption("--out", &outFile)},
                       &positional);
  if (problem || positional.size() < 3 || outFile.empty()) {
    err << "gqtool adjust: usage: gqtool adjust DB SEARCH_PICTURE SIMILAR_PICTURE... [--quick] "
           "[--criteria FILE] --out FILE\n";
    return 2;
  }
  ImageRecordDB db;
  SearchEngine engine(db);
  if (!PrepareSearch(db, criteriaFile, positional[0], "adjust", err)) return 1;
  for (size_t i = 1; i < positional.size(); ++i) {
    ImageRecord* record = FindPicture(db, positional[i]);
    if (record == nullptr) {
      err << "gqtool adjust: " << positional[i] << " is not in the database\n";
      return 1;
    }
    if (i == 1) {
      engine.SetSearchPicture(record->m_LfdNr);
    } else {
      db.Select(record->m_LfdNr, kSelect);
    }
  }
  InterruptGuard interrupt;
  TerminalLine line;
  line.Show("Auto-Adjusting Criterias...", true);
  const std::string message =
      AdjustCriteria(engine, quick, !quick, nullptr, [&](double fraction, unsigned) {
        line.Show("Auto-Adjusting Criterias... " +
                  std::to_string(static_cast<int>(fraction * 100)) + "%");
        return !InterruptGuard::Interrupted();
      });
  line.Clear();
  if (!message.empty()) {
    err << "gqtool adjust: " << message << "\n";
    return 1;
  }
  if (!WriteCriteriaFile(outFile, CurrentCriteria())) return 1;
  err << CriteriaText(CurrentCriteria()) << "\n";
  return InterruptGuard::Interrupted() ? kExitInterrupted : 0;
}

}  // namespace gq

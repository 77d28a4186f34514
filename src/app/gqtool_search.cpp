// gqtool similar, duplicates, mosaic and adjust: the search engine from scripts. Each
// command loads the database, runs on the main thread with a progress line on a
// terminal, and stops cleanly on Ctrl-C (SIGINT).
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "app/FileDisposal.h"
#include "app/JsonText.h"
#include "app/TerminalLine.h"
#include "app/ToolOptions.h"
#include "app/gqtool.h"
#include "base/Words.h"
#include "db/DatabaseOps.h"
#include "edits/EditDuplicateSearch.h"
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

// A CSV field: quoted, with doubled quotes, when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string field = "\"";
  for (char c : text) field += c == '"' ? std::string("\"\"") : std::string(1, c);
  return field + "\"";
}

// How a command prints its list: lines, JSON, CSV with a header row, or NUL-ended paths.
enum class ListFormat { kPlain, kJson, kCsv, kNull };

// The options that choose the list format; *several is set when more than one is given.
std::vector<ToolOption> FormatOptions(ListFormat* format, bool* several) {
  auto choose = [=](std::string name, ListFormat chosen) {
    return ToolOption{std::move(name),
                      [=] {
                        *several = *several || *format != ListFormat::kPlain;
                        *format = chosen;
                      },
                      nullptr};
  };
  return {choose("--json", ListFormat::kJson), choose("--csv", ListFormat::kCsv),
          choose("-0", ListFormat::kNull), choose("--null", ListFormat::kNull)};
}

// What the disk says of a listed picture's file; exists is false for a stale record.
struct FileFacts {
  bool exists = false;
  int64_t size = 0;
  int64_t seconds = 0;  // the modification time
  std::string time;     // the same, UTC, as 2026-12-07T22:03:34Z
};

FileFacts FactsOf(const std::string& path) {
  FileFacts facts;
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return facts;
  facts.exists = true;
  facts.size = info.st_size;
  facts.seconds = info.st_mtime;
  std::tm utc{};
  char text[32];
  gmtime_r(&info.st_mtime, &utc);
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  facts.time = text;
  return facts;
}

// Names the listed records whose file is gone on err and suggests the update that
// removes them.
void ReportStale(const std::vector<std::string>& stale, const char* command,
                 const std::string& database, bool leftOut, std::ostream& err) {
  for (const std::string& path : stale) {
    err << "gqtool " << command << ": no longer on disk" << (leftOut ? " (left out): " : ": ")
        << path << "\n";
  }
  if (stale.empty()) return;
  err << "gqtool " << command << ": " << (leftOut ? "" : "--existing leaves such records out; ")
      << "gqtool index " << database << " --update removes them from the database\n";
}

// A place of the similar list and whether its file still exists.
struct SimilarEntry {
  const ImageRecord* record = nullptr;
  double distance = 0;
  bool exists = true;
};

// The places of the list, without those whose file is gone when existing is set; the
// paths of the records whose file is gone go to *stale.
std::vector<SimilarEntry> SimilarEntries(const std::vector<ScoredRecord>& list, bool existing,
                                         std::vector<std::string>* stale) {
  std::vector<SimilarEntry> entries;
  for (const ScoredRecord& scored : list) {
    if (scored.record == nullptr) continue;
    const bool exists = FactsOf(scored.record->m_Path).exists;
    if (!exists) stale->push_back(scored.record->m_Path);
    if (exists || !existing) entries.push_back({scored.record, scored.distance, exists});
  }
  return entries;
}

void PrintSimilarList(const std::vector<SimilarEntry>& list, const std::string& picture,
                      ListFormat format, bool scores, std::ostream& out) {
  if (format == ListFormat::kJson) {
    out << "{\"picture\": " << JsonString(picture) << ", \"similar\": [";
  }
  if (format == ListFormat::kCsv) out << "path,distance\n";
  bool first = true;
  for (const SimilarEntry& entry : list) {
    const std::string& path = entry.record->m_Path;
    switch (format) {
      case ListFormat::kJson:
        out << (first ? "" : ", ") << "{\"path\": " << JsonString(path)
            << ", \"distance\": " << entry.distance
            << ", \"exists\": " << (entry.exists ? "true" : "false") << "}";
        break;
      case ListFormat::kCsv:
        out << CsvField(path) << ',' << entry.distance << "\n";
        break;
      case ListFormat::kNull:
        out << path << '\0';
        break;
      case ListFormat::kPlain:
        out << path;
        if (scores) out << '\t' << entry.distance;
        out << '\n';
        break;
    }
    first = false;
  }
  if (format == ListFormat::kJson) out << "]}\n";
}

// A member of a duplicate group; keep is false for a copy proposed for removal.
struct Member {
  ImageRecord* record = nullptr;
  FileFacts facts;
  bool keep = true;
  const std::string* edit = nullptr;  // with --edits: the edit it matched under, "" for the first
};
using Groups = std::vector<std::vector<Member>>;

// The duplicate groups in group-list order.
Groups GroupsOf(ImageRecordDB& db) {
  Groups groups;
  int32_t group = -1;
  iavl_iterator it;
  iavl_iter_init(&it, &db.GroupList());
  for (void* item = iavl_iter_first(&it); item != nullptr; item = iavl_iter_next(&it)) {
    auto* record = static_cast<ImageRecord*>(item);
    if (groups.empty() || record->m_GroupNr != group) groups.emplace_back();
    group = record->m_GroupNr;
    groups.back().push_back({record, FactsOf(record->m_Path)});
  }
  return groups;
}

// The paths of the members whose file is gone; with existing they leave their group,
// and a group left with one member goes.
std::vector<std::string> TakeStale(Groups& groups, bool existing) {
  std::vector<std::string> stale;
  for (std::vector<Member>& group : groups) {
    for (const Member& member : group) {
      if (!member.facts.exists) stale.push_back(member.record->m_Path);
    }
    if (existing) std::erase_if(group, [](const Member& member) { return !member.facts.exists; });
  }
  std::erase_if(groups, [](const std::vector<Member>& group) { return group.size() < 2; });
  return stale;
}

// Which copy of a group --keep keeps.
enum class KeepRule { kNone, kLargest, kNewest, kOldest, kFirstFolder };

bool ReadKeepRule(const std::string& text, KeepRule* rule) {
  static const std::pair<const char*, KeepRule> kRules[] = {
      {"largest", KeepRule::kLargest},
      {"newest", KeepRule::kNewest},
      {"oldest", KeepRule::kOldest},
      {"first-folder", KeepRule::kFirstFolder}};
  for (const auto& [name, value] : kRules) {
    if (text == name) *rule = value;
  }
  return *rule != KeepRule::kNone;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

// Whether a is a better copy to keep than b under the rule.
bool Better(const Member& a, const Member& b, KeepRule rule) {
  const int64_t pixelsA = int64_t{a.record->m_PictureWidth} * a.record->m_PictureHeight;
  const int64_t pixelsB = int64_t{b.record->m_PictureWidth} * b.record->m_PictureHeight;
  switch (rule) {
    case KeepRule::kLargest:
      return pixelsA != pixelsB ? pixelsA > pixelsB : a.facts.size > b.facts.size;
    case KeepRule::kNewest:
      return a.facts.seconds > b.facts.seconds;
    case KeepRule::kOldest:
      return a.facts.seconds < b.facts.seconds;
    default:
      return std::pair(FolderOf(a.record->m_Path), a.record->m_Path) <
             std::pair(FolderOf(b.record->m_Path), b.record->m_Path);
  }
}

// Marks the copies to keep: those under the reference folder when the group has any,
// else the one the rule picks among the existing files. Without either every copy stays.
void MarkKeepers(std::vector<Member>& group, KeepRule rule, const std::string& reference) {
  bool referenced = false;
  for (Member& member : group) {
    member.keep = !reference.empty() && member.record->m_Path.rfind(reference + "/", 0) == 0;
    referenced = referenced || member.keep;
  }
  if (referenced) return;
  Member* best = nullptr;
  for (Member& member : group) {
    if (member.facts.exists && (best == nullptr || Better(member, *best, rule))) best = &member;
  }
  for (Member& member : group)
    member.keep = rule == KeepRule::kNone || best == nullptr || &member == best;
}

std::string JsonMember(const Member& member, bool marked) {
  const ImageRecord& record = *member.record;
  const FileFacts& facts = member.facts;
  std::string json = "{\"path\": " + JsonString(record.m_Path) +
                     ", \"exists\": " + (facts.exists ? "true" : "false") + ", \"size\": ";
  json += facts.exists ? std::to_string(facts.size) : "null";
  json += ", \"width\": " + std::to_string(record.m_PictureWidth) +
          ", \"height\": " + std::to_string(record.m_PictureHeight) + ", \"time\": ";
  json += facts.exists ? JsonString(facts.time) : "null";
  if (marked) json += member.keep ? ", \"keep\": true" : ", \"keep\": false";
  if (member.edit)
    json += ", \"edit\": " + (member.edit->empty() ? "null" : JsonString(*member.edit));
  return json + "}";
}

std::string CsvMember(size_t group, const Member& member, bool marked) {
  const ImageRecord& record = *member.record;
  const FileFacts& facts = member.facts;
  return std::to_string(group + 1) + "," + CsvField(record.m_Path) + "," +
         (facts.exists ? std::to_string(facts.size) : "") + "," +
         std::to_string(record.m_PictureWidth) + "," + std::to_string(record.m_PictureHeight) +
         "," + facts.time + "," + (marked ? (member.keep ? "1" : "0") : "") + "\n";
}

// A plain line: the path, with a keep/drop column first when copies are marked and the
// size, picture size and file time after it with details.
std::string PlainMember(const Member& member, bool marked, bool details) {
  std::string line = marked ? (member.keep ? "keep\t" : "drop\t") : "";
  line += member.record->m_Path;
  if (details) {
    line += "\t" + (member.facts.exists ? std::to_string(member.facts.size) : "missing") + "\t" +
            std::to_string(member.record->m_PictureWidth) + "x" +
            std::to_string(member.record->m_PictureHeight) + "\t" + member.facts.time;
  }
  return line + "\n";
}

void PrintGroups(const Groups& groups, bool complete, ListFormat format, bool marked, bool details,
                 std::ostream& out) {
  if (format == ListFormat::kJson) {
    out << "{\"complete\": " << (complete ? "true" : "false") << ", \"groups\": [";
  }
  if (format == ListFormat::kCsv) out << "group,path,size,width,height,time,keep\n";
  for (size_t g = 0; g < groups.size(); ++g) {
    if (format == ListFormat::kJson) out << (g ? ", [" : "[");
    if (g > 0 && format == ListFormat::kPlain) out << '\n';
    if (g > 0 && format == ListFormat::kNull) out << '\0';
    for (size_t m = 0; m < groups[g].size(); ++m) {
      const Member& member = groups[g][m];
      switch (format) {
        case ListFormat::kJson:
          out << (m ? ", " : "") << JsonMember(member, marked);
          break;
        case ListFormat::kCsv:
          out << CsvMember(g, member, marked);
          break;
        case ListFormat::kNull:
          out << member.record->m_Path << '\0';
          break;
        case ListFormat::kPlain:
          out << PlainMember(member, marked, details);
          break;
      }
    }
    if (format == ListFormat::kJson) out << "]";
  }
  if (format == ListFormat::kJson) out << "]}\n";
}

// Where --trash or --move-to puts the copies that are not kept.
struct Disposal {
  bool trash = false;
  std::string moveTo;
  bool dryRun = false;
};

// Moves one copy as disposal says (or with a dry run reports what it would do); true
// when the file was moved.
bool Dispose(const std::string& path, const Disposal& disposal, std::ostream& err, bool* failed) {
  const std::string target = disposal.trash ? "the trash" : PlaceBelow(disposal.moveTo, path);
  if (disposal.dryRun) {
    err << "would move " << path << " to " << target << "\n";
    return false;
  }
  std::string trashedAs, error;
  const bool moved =
      disposal.trash ? MoveToTrash(path, &trashedAs, &error) : MoveFile(path, target, &error);
  if (moved) {
    err << "moved " << path << " to " << target << "\n";
  } else {
    err << "gqtool duplicates: cannot move " << path << ": " << error << "\n";
    *failed = true;
  }
  return moved;
}

// Moves every existing copy that is not kept and takes its record out of the database,
// then saves the database. False when a file could not be moved or the save failed.
bool DisposeCopies(ImageRecordDB& db, const Groups& groups, const Disposal& disposal,
                   std::ostream& err) {
  bool failed = false, removed = false;
  for (const std::vector<Member>& group : groups) {
    for (const Member& member : group) {
      if (member.keep || !member.facts.exists) continue;
      if (Dispose(member.record->m_Path, disposal, err, &failed)) {
        db.RemoveRecord(member.record);
        removed = true;
      }
    }
  }
  if (removed && !FlushDatabase(db)) {
    err << "gqtool duplicates: cannot save the database\n";
    return false;
  }
  return !failed;
}

// What gqtool duplicates was asked to do.
struct DuplicatesRequest {
  std::string database, criteriaFile, reference;
  int32_t similarity = kDefaultDuplicateSimilarity;
  bool identity = false, details = false, existing = false, edits = false;
  ListFormat format = ListFormat::kPlain;
  KeepRule rule = KeepRule::kNone;
  Disposal disposal;
  bool Marked() const { return rule != KeepRule::kNone || !reference.empty(); }
  bool Disposing() const { return disposal.trash || !disposal.moveTo.empty(); }
};

// Reads the arguments of gqtool duplicates; on a usage error reports it on err.
bool ParseDuplicatesRequest(const ToolArguments& args, DuplicatesRequest* request,
                            std::ostream& err) {
  std::vector<std::string> positional;
  bool several = false;
  Disposal& disposal = request->disposal;
  std::vector<ToolOption> options = FormatOptions(&request->format, &several);
  options.insert(options.end(),
                 {NumberOption("--similarity", 0, 100, &request->similarity),
                  TextOption("--criteria", &request->criteriaFile),
                  FlagOption("--identity", &request->identity),
                  FlagOption("--edits", &request->edits),
                  FlagOption("--details", &request->details),
                  FlagOption("--existing", &request->existing),
                  {"--keep", nullptr,
                   [=](const std::string& value) { return ReadKeepRule(value, &request->rule); }},
                  TextOption("--reference", &request->reference),
                  FlagOption("--trash", &disposal.trash),
                  TextOption("--move-to", &disposal.moveTo),
                  FlagOption("--dry-run", &disposal.dryRun)});
  const OptionProblem problem = ParseToolOptions(args, options, &positional);
  const bool badDisposal = (request->Disposing() && !request->Marked()) ||
                           (disposal.trash && !disposal.moveTo.empty()) ||
                           (disposal.dryRun && !request->Disposing());
  if (problem || several || badDisposal || positional.size() != 1) {
    err << "gqtool duplicates: usage: gqtool duplicates DB [--similarity 0-100] "
           "[--criteria FILE] [--identity] [--edits] [--json|--csv|-0] [--details] [--existing] "
           "[--keep largest|newest|oldest|first-folder] [--reference DIR] "
           "[--trash|--move-to DIR [--dry-run]]\n";
    if (badDisposal) {
      err << "--trash and --move-to need --keep or --reference and exclude each other; "
             "--dry-run needs one of them\n";
    }
    return false;
  }
  request->database = positional[0];
  if (!request->reference.empty()) request->reference = AbsolutePath(request->reference);
  if (!disposal.moveTo.empty()) disposal.moveTo = AbsolutePath(disposal.moveTo);
  return true;
}

// Runs the duplicate search with a progress line; Ctrl-C cancels it. The final status
// goes to err.
RunOutcome SearchDuplicates(SearchEngine& engine, const DuplicatesRequest& request,
                            std::ostream& err) {
  InterruptGuard interrupt;
  TerminalLine line;
  std::string status;
  RunnerHooks hooks;
  const bool criteria = !request.criteriaFile.empty();
  hooks.statusText = [&](const std::string& text) { status = text; };
  hooks.setProgress = [&](int percent) { line.Show(status + " " + std::to_string(percent) + "%"); };
  hooks.dispatchMessages = [&] {
    if (InterruptGuard::Interrupted() && engine.Duplicates().Running()) {
      RunDuplicateSearch(engine, criteria, request.identity, request.similarity, hooks);
    }
    return true;
  };
  const RunOutcome outcome =
      RunDuplicateSearch(engine, criteria, request.identity, request.similarity, hooks);
  line.Clear();
  err << status << "\n";
  return outcome;
}

// Runs the edited-copy search with a progress line; Ctrl-C cancels it. The final status
// goes to err, as does a failure to write the descriptor cache.
RunOutcome SearchEdits(ImageRecordDB& db, const DuplicatesRequest& request, std::ostream& err,
                       EditSearchReport* report) {
  InterruptGuard interrupt;
  TerminalLine line;
  EditSearchOptions options;
  options.cachePath = EditCachePath(request.database);
  options.progress = [&](const std::string& status, int percent) {
    line.Show(status + " " + std::to_string(percent) + "%");
    return !InterruptGuard::Interrupted();
  };
  *report = RunEditDuplicateSearch(db, options);
  line.Clear();
  if (!report->cacheError.empty()) {
    err << "gqtool duplicates: cannot write the descriptor cache: " << report->cacheError << "\n";
  }
  err << (report->finished ? "" : "Search canceled. ") << db.GroupList().count
      << " potential duplicates.\n";
  return report->finished ? RunOutcome::kFinished : RunOutcome::kCancelled;
}

// A criterion's name for people: its dialog group and its label without the dashes
// that mark a sub-slider ("Coarse Center").
std::string CriterionName(const CriterionDescriptor& descriptor) {
  std::string label = descriptor.label;
  if (label.size() > 4 && label.rfind("- ", 0) == 0) label = label.substr(2, label.size() - 4);
  return std::string(descriptor.dialogGroup) + " " + label;
}

// One line per criterion: its place in the file, name, value and default.
void PrintCriteria(const Criteria& criteria, std::ostream& out) {
  char line[96];
  for (int i = 0; i < kCriteriaCount; ++i) {
    const CriterionDescriptor& descriptor = kCriteriaDescriptors[i];
    std::snprintf(line, sizeof line, "%2d  %-18s %4d  (default %d)\n", i + 1,
                  CriterionName(descriptor).c_str(), criteria.value[i], descriptor.defaultValue);
    out << line;
  }
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
  bool scores = false, several = false, existing = false, exact = false;
  ListFormat format = ListFormat::kPlain;
  std::vector<ToolOption> options = FormatOptions(&format, &several);
  options.insert(options.end(),
                 {NumberOption("--first", 1, INT32_MAX / 2, &first),
                  NumberOption("--last", 1, INT32_MAX / 2, &last),
                  TextOption("--criteria", &criteriaFile), FlagOption("--scores", &scores),
                  FlagOption("--existing", &existing), FlagOption("--exact", &exact)});
  const OptionProblem problem = ParseToolOptions(args, options, &positional);
  if (problem || last < first) {
    err << "gqtool similar: "
        << (problem ? DescribeProblem(problem) : "--last must not be below --first") << "\n";
    return 2;
  }
  if (several || positional.size() != 2) {
    err << "gqtool similar: usage: gqtool similar DB PICTURE [--first F] [--last L] "
           "[--criteria FILE] [--scores] [--existing] [--exact] [--json|--csv|-0]\n";
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
  bool outOfMemory = false;
  const std::vector<ScoredRecord> list =
      engine.SimilarList(record, first, last, BuildWeights(CurrentCriteria()),
                         exact ? SimilarSearch::kExact : SimilarSearch::kBox, &outOfMemory);
  if (outOfMemory) {
    err << "gqtool similar: not enough memory to search " << positional[0] << "\n";
    if (outside != nullptr) DestroyRecord(outside);
    return 1;
  }
  std::vector<std::string> stale;
  PrintSimilarList(SimilarEntries(list, existing, &stale), positional[1], format, scores, out);
  ReportStale(stale, "similar", positional[0], existing, err);
  if (outside != nullptr) DestroyRecord(outside);
  return 0;
}

int RunDuplicatesCommand(const ToolArguments& args, std::ostream& out, std::ostream& err) {
  DuplicatesRequest request;
  if (!ParseDuplicatesRequest(args, &request, err)) return 2;
  ImageRecordDB db;
  SearchEngine engine(db);
  if (!PrepareSearch(db, request.criteriaFile, request.database, "duplicates", err)) return 1;
  EditSearchReport edits;
  const RunOutcome outcome = request.edits ? SearchEdits(db, request, err, &edits)
                                           : SearchDuplicates(engine, request, err);
  Groups groups = GroupsOf(db);
  for (std::vector<Member>& group : groups) {
    for (Member& member : group)
      member.edit = request.edits ? &edits.edits[member.record->m_LfdNr] : nullptr;
  }
  ReportStale(TakeStale(groups, request.existing), "duplicates", request.database, request.existing,
              err);
  for (std::vector<Member>& group : groups) MarkKeepers(group, request.rule, request.reference);
  PrintGroups(groups, outcome == RunOutcome::kFinished, request.format, request.Marked(),
              request.details, out);
  if (outcome != RunOutcome::kFinished) return kExitInterrupted;
  if (request.Disposing() && !DisposeCopies(db, groups, request.disposal, err)) return 1;
  return 0;
}

int RunCriteriaCommand(const ToolArguments& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2 || args[0] != "show" || args[1].empty() || args[1][0] == '-') {
    err << "gqtool criteria: usage: gqtool criteria show FILE\n";
    return 2;
  }
  Criteria criteria = DefaultCriteria();
  if (!ReadCriteriaFile(args[1], &criteria)) {
    err << "gqtool criteria: " << args[1] << ": Can't read criterias file.\n";
    return 1;
  }
  PrintCriteria(criteria, out);
  return 0;
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

// gqtool info, check and export: database files from scripts.
#include <fstream>

#include "app/ToolOptions.h"
#include "app/gqtool.h"
#include "db/DatabaseCheck.h"
#include "db/DatabaseOps.h"
#include "frame/AtomicFile.h"

namespace gq {
namespace {

bool OneDatabaseArgument(const ToolArguments& args, std::ostream& err, const char* command) {
  std::vector<std::string> positional;
  if (!ParseToolOptions(args, {}, &positional) && positional.size() == 1) return true;
  err << "gqtool " << command << ": expects one database file; see gqtool --help\n";
  return false;
}

}  // namespace

int RunInfoCommand(const ToolArguments& args, std::ostream& out, std::ostream& err) {
  if (!OneDatabaseArgument(args, err, "info")) return 2;
  DatabaseFacts facts;
  std::string problem;
  if (!ReadDatabaseFacts(args[0], &facts, &problem)) {
    err << "gqtool info: " << args[0] << ": " << problem << "\n";
    return 1;
  }
  const DbHeader& h = facts.header;
  bool magic = h.magic == kDbMagic;
  out << "file: " << args[0] << "\n"
      << "magic: " << (magic ? "GQDB" : "wrong") << "\n"
      << "version: " << h.version << "\n"
      << "constant: " << h.constant << "\n"
      << "records: " << h.recordCount << "\n"
      << "unused bytes: " << h.unusedBytes << "\n"
      << "record list offset: " << h.listOffset << "\n"
      << "file size: " << facts.fileSize << "\n"
      << "journal: " << (facts.journalPresent ? "present" : "none") << "\n";
  return magic ? 0 : 1;
}

int RunCheckCommand(const ToolArguments& args, std::ostream& out, std::ostream& err) {
  if (!OneDatabaseArgument(args, err, "check")) return 2;
  CheckSummary summary;
  std::string problem;
  if (!CheckDatabaseFile(args[0], &summary, &problem)) {
    err << "gqtool check: " << args[0] << ": " << problem << "\n";
    return 1;
  }
  out << args[0] << ": ok, " << summary.records << " records, " << summary.thumbnailBytes
      << " thumbnail bytes";
  if (summary.emptyPathRecords > 0) out << ", " << summary.emptyPathRecords << " empty paths";
  out << "\n";
  return 0;
}

int RunExportCommand(const ToolArguments& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> positional;
  std::string target;
  int folders = -1;
  const OptionProblem problem = ParseToolOptions(args,
                                                 {{"--files", [&] { folders = 0; }, nullptr},
                                                  {"--folders", [&] { folders = 1; }, nullptr},
                                                  TextOption("--out", &target)},
                                                 &positional);
  if (problem || positional.size() != 1 || folders < 0) {
    err << "gqtool export: usage: gqtool export DB --files|--folders [--out FILE]\n";
    return 2;
  }
  const std::string& database = positional[0];
  ImageRecordDB db;
  if (!LoadDatabase(db, database, 0, 1)) {
    err << "gqtool export: cannot load " << database;
    if (!db.File().LastError().empty()) err << ": " << db.File().LastError();
    err << "\n";
    return 1;
  }
  std::vector<std::string> unlisted;
  std::string text = ListText(db, folders == 1, false, -1, &unlisted);
  db.File().Close();
  for (const std::string& path : unlisted) {
    err << "gqtool export: no list line can name \"" << path << "\"\n";
  }
  int code = unlisted.empty() ? 0 : 1;
  if (target.empty()) {
    out << text;
    return out.good() ? code : 1;
  }
  AtomicFile file(target);
  FILE* stream = file.Open();
  if (!stream || std::fwrite(text.data(), 1, text.size(), stream) != text.size() ||
      !file.Commit()) {
    err << "gqtool export: cannot write " << target << "\n";
    return 1;
  }
  return code;
}

}  // namespace gq

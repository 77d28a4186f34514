#include "loading/OpenPath.h"

#include <sys/stat.h>

#include "base/FileKind.h"
#include "base/Words.h"
#include "db/DatabaseOps.h"
#include "platform/Beep.h"
#include "platform/ShellLink.h"

namespace gq {
namespace {

void Status(ImageRecordDB& db, const std::string& text, int holdMs) {
  if (db.Host().statusText) db.Host().statusText(text, holdMs);
}

bool EndsWithTxt(const std::string& path) {
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".txt") == 0;
}

}  // namespace

std::vector<std::string> SplitPaths(const std::string& text) {
  std::vector<std::string> paths;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size()) break;
    size_t start = i;
    if (text[i] == '"') {
      size_t close = text.find('"', i + 1);
      i = close == std::string::npos ? text.size() : close + 1;
    } else {
      while (i < text.size() && text[i] != ' ') ++i;
    }
    paths.push_back(text.substr(start, i - start));
  }
  return paths;
}

bool OpenPath(ImageRecordDB& db, Loader& loader, const std::string& text, bool add) {
  std::vector<std::string> paths = SplitPaths(text);
  if (paths.empty()) return false;
  std::string single = NormalizePath(text);
  // Several paths, unless the whole text (unquoted) names one path with blanks in it.
  bool several = paths.size() >= 2 && (text.find('"') != std::string::npos || !Exists(single));
  if (several || EndsWithTxt(single)) {
    std::vector<std::string> named;
    for (const std::string& path : paths) named.push_back(NormalizePath(path));
    return loader.StartDropJob(std::move(named));
  }
  std::string path = single;
  if (IsShellLinkName(path)) {
    std::string target;
    if (!ResolveShellLink(path, &target)) return false;
    path = target;
  }
  if (IsDatabasePath(path)) return OpenDatabasePath(db, path, add);
  if (!add && (db.Count() > 0 || !db.File().Name().empty())) CloseDatabase(db, true);
  return loader.StartPathJob(path);
}

bool UpdateFromDisk(ImageRecordDB& db, Loader& loader, bool folders, bool selectedOnly,
                    int32_t currentLfdNr) {
  int32_t concerned = db.Count();
  if (selectedOnly) {
    concerned = db.SelectionCount() + (currentLfdNr >= 0 && !db.IsSelected(currentLfdNr) ? 1 : 0);
  }
  if (concerned == 0) return false;
  if (g_LoaderState.updateRunning) {
    MessageBeep(MB_BEEP_DEFAULT);
    Status(db, "Update still in progress --- Use \"Stop Loading\" to cancel update.", 4000);
    return false;
  }
  if (!loader.Stop(true)) return false;
  if (selectedOnly && currentLfdNr >= 0) db.Select(currentLfdNr, kSelect);
  db.MarkForUpdate(selectedOnly);
  std::vector<std::string> paths = ListedPaths(db, folders, selectedOnly, currentLfdNr);
  if (paths.empty() || !loader.StartUpdateJob(std::move(paths))) {
    db.UnmarkAll();
    return false;
  }
  g_LoaderState.updateRunning = true;
  return true;
}

}  // namespace gq

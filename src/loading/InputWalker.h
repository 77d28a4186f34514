// The one walk over a load job's input: the named paths (a file, a folder or a text list
// each), folders entered recursively, and lists read line by line with their directives
// "!update" and "!filecount=". The loader and the counter walk the same input with a
// walker each, so they meet the same files in the same order: the loader's visitor
// loads them, the counter's counts them. A walker belongs to the thread that walks.
#pragma once

#include <sys/types.h>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "loading/Loader.h"

namespace gq {

// What a job is given: paths the user named (a file, a folder or a list each, handled
// one after the other), or, for an update, the files or folders of the records. Each
// thread of the job walks its own copy.
struct JobInput {
  std::vector<std::string> paths;
  bool update = false;  // every path in update mode, never read as a list
};

// What the walk meets, told to the thread that walks.
class InputVisitor {
 public:
  virtual ~InputVisitor() = default;
  // Pause and stop: false when the walk must end.
  virtual bool GoOn() = 0;
  // A file to take in mode; walked: found in a folder, where a symbolic link is a link.
  virtual void File(const std::string& path, LoadMode mode, bool walked) = 0;
  // A path, list line, folder or list the walk cannot take, with the text that says why;
  // beep for a list that cannot be opened.
  virtual void Refused(const std::string& text, bool beep) = 0;
  // "!update": the list's following lines are walked in update mode.
  virtual void UpdateDirective() = 0;
  // "!filecount=" and its number: false ends the walk of that list.
  virtual bool FileCount(int count) = 0;
};

// An entry a folder walk meets: the folder the walk started from, the entry's path, and
// whether it is a folder (nothing inside is walked when it is left out).
struct WalkedEntry {
  const std::string& root;
  const std::string& path;
  bool isFolder;
};

// When set, the entries it returns true for are left out of folder walks; named paths
// and list lines are never left out. Unset by default (every entry is walked); gqtool
// sets it for its filters before any job starts. Called by each walking thread: the
// loader's and the counter's walks each meet every entry.
extern std::function<bool(const WalkedEntry& entry)> g_WalkFilter;

// A folder met in update mode is walked in update mode, otherwise in batch mode.
LoadMode WalkModeFor(LoadMode mode);

class InputWalker {
 public:
  explicit InputWalker(InputVisitor& visitor) : m_Visitor(visitor) {}
  // Walks each named path in turn until the visitor says stop.
  void Walk(const JobInput& input);
  // Tells each entry of the folder in listing order, entering sub-folders (each folder
  // once per walk, by device and inode; links are not followed) and leaving out what
  // g_WalkFilter says.
  void WalkFolder(const std::string& folder, LoadMode mode);

 private:
  // A named path: a folder is walked, a ".txt" path read as a list, anything else a file.
  void WalkNamed(const std::string& path);
  // A folder is walked, anything else is a file.
  void WalkInMode(const std::string& path, LoadMode mode);
  // The entries of WalkFolder.
  void WalkEntries(const std::string& folder, LoadMode mode);
  // nestedAllowed: a ".txt" line is read as a list (one level deep), else skipped.
  void WalkList(const std::string& path, bool nestedAllowed);
  // A directive line; false when the rest of the list is not walked.
  bool Directive(std::string line, LoadMode* mode);

  InputVisitor& m_Visitor;
  std::set<std::pair<dev_t, ino_t>> m_Walked;  // the folders entered
  std::string m_Root;                          // the folder the current walk started from
  int m_Depth = 0;                             // folders being walked
};

}  // namespace gq

// What gqtool index made of each file it met, in the order it met them: the summary
// counts and, for --json, the list of files with their outcome (and the message of a
// file that could not be loaded). Each file is noted once. Used on the command's main
// thread only: the wrapped handlers run there.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "db/ImageRecordDB.h"
#include "frame/MessageHost.h"
#include "loading/LoadingHost.h"

namespace gq {

enum class IndexOutcome {
  kAdded,
  kUpdated,    // known, changed on disk and reloaded
  kRemoved,    // known and vanished (with --update)
  kUnchanged,  // known and not changed
  kNotPicture,
  kDamaged,
  kTooSmall,
  kOtherError,
  kSkipped,  // one of the database's own files
  kLeftOut,  // by the filters
  kCount
};

// The outcome's name in the JSON output: "added", "not_a_picture", "left_out", ...
const char* OutcomeName(IndexOutcome outcome);

struct IndexedFile {
  std::string path;
  IndexOutcome outcome;
  std::string message;  // the load error text, for files that could not be loaded
};

class IndexOutcomes {
 public:
  // Replaces the loading host's handlers of taken records, known files and the end of
  // an update on host by ones that call them and note what became of the file.
  void Install(MessageHost& host, LoadingHost& loading, ImageRecordDB& db);

  void Note(const std::string& path, IndexOutcome outcome, const std::string& message = {});
  int Count(IndexOutcome outcome) const { return m_Counts[static_cast<int>(outcome)]; }
  const std::vector<IndexedFile>& Files() const { return m_Files; }

 private:
  std::vector<IndexedFile> m_Files;
  int m_Counts[static_cast<int>(IndexOutcome::kCount)] = {};
};

// The end of an index run as the summary tells it.
struct IndexSummary {
  std::string database;
  int pictures = 0;  // in the database at the end
  bool complete = true;
};

// One JSON object on one line: the database, whether the run completed, the picture
// count, the count of every outcome and the files with theirs.
void WriteIndexJson(const IndexSummary& summary, const IndexOutcomes& outcomes, std::ostream& out);

}  // namespace gq

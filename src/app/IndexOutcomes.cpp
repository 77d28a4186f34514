#include "app/IndexOutcomes.h"

#include "app/JsonText.h"
#include "frame/Messages.h"

namespace gq {

const char* OutcomeName(IndexOutcome outcome) {
  static constexpr const char* kNames[] = {"added",         "updated", "removed",   "unchanged",
                                           "not_a_picture", "damaged", "too_small", "other_error",
                                           "skipped",       "left_out"};
  return kNames[static_cast<int>(outcome)];
}

void IndexOutcomes::Install(MessageHost& host, LoadingHost& loading, ImageRecordDB& db) {
  host.SetHandler(MsgRecordLoaded, [&](unsigned, uintptr_t, intptr_t record) -> intptr_t {
    const std::string path = reinterpret_cast<const ImageRecord*>(record)->m_Path;
    const bool known = db.FindByPath(path) != nullptr;
    const intptr_t taken = loading.OnRecordLoaded(record);
    if (taken == 1) Note(path, known ? IndexOutcome::kUpdated : IndexOutcome::kAdded);
    return taken;
  });
  host.SetHandler(MsgCheckKnownFile, [&](unsigned, uintptr_t path, intptr_t fileTime) {
    const intptr_t load = loading.OnCheckKnownFile(path, fileTime);
    if (load == 0) Note(reinterpret_cast<const char*>(path), IndexOutcome::kUnchanged);
    return load;
  });
  // The records an update leaves unconfirmed are removed when their file is gone.
  host.SetHandler(MsgUpdateDone, [&](unsigned, uintptr_t stopped, intptr_t) {
    std::vector<std::string> unconfirmed;
    for (const ImageRecord* record : db.Records()) {
      if (record->m_FileTime < -1) unconfirmed.push_back(record->m_Path);
    }
    const intptr_t result = loading.OnUpdateDone(stopped != 0);
    for (const std::string& path : unconfirmed) {
      if (db.FindByPath(path) == nullptr) Note(path, IndexOutcome::kRemoved);
    }
    return result;
  });
}

void IndexOutcomes::Note(const std::string& path, IndexOutcome outcome,
                         const std::string& message) {
  m_Files.push_back({path, outcome, message});
  ++m_Counts[static_cast<int>(outcome)];
}

void WriteIndexJson(const IndexSummary& summary, const IndexOutcomes& outcomes, std::ostream& out) {
  out << "{\"database\": " << JsonString(summary.database)
      << ", \"complete\": " << (summary.complete ? "true" : "false")
      << ", \"pictures\": " << summary.pictures << ", \"summary\": {";
  for (int i = 0; i < static_cast<int>(IndexOutcome::kCount); ++i) {
    const auto outcome = static_cast<IndexOutcome>(i);
    out << (i ? ", \"" : "\"") << OutcomeName(outcome) << "\": " << outcomes.Count(outcome);
  }
  out << "}, \"files\": [";
  bool first = true;
  for (const IndexedFile& file : outcomes.Files()) {
    out << (first ? "" : ", ") << "{\"path\": " << JsonString(file.path) << ", \"outcome\": \""
        << OutcomeName(file.outcome) << "\"";
    if (!file.message.empty()) out << ", \"message\": " << JsonString(file.message);
    out << "}";
    first = false;
  }
  out << "]}\n";
}

}  // namespace gq

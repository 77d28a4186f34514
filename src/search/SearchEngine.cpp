#include "search/SearchEngine.h"

#include <algorithm>
#include <functional>

#include "frame/Settings.h"
#include "platform/MessageBox.h"
#include "search/DuplicateSearch.h"
#include "search/Mosaic.h"
#include "signature/Similarity.h"

namespace gq {

SearchEngine::SearchEngine(ImageRecordDB& db)
    : m_Db(db),
      m_Duplicates(std::make_unique<DuplicateSearch>(*this)),
      m_Mosaic(std::make_unique<MosaicRun>(*this)) {
  DatabaseHost& host = m_Db.Host();
  host.rebuildIndex = [this](double from, double to) { RebuildIndex(from, to); };
  host.rebuildListWindow = [this] {
    m_SimilarValid = false;
    FillListWindow(kKeep, kKeep, kKeep, kKeep);
  };
  host.discardMosaic = [this] { m_Mosaic->Discard(); };
}

SearchEngine::~SearchEngine() {
  DatabaseHost& host = m_Db.Host();
  host.rebuildIndex = nullptr;
  host.rebuildListWindow = nullptr;
  host.discardMosaic = nullptr;
}

bool SearchEngine::EnsureIndex() {
  if (m_Db.IndexValid() && m_Index.EntryCount() == m_Db.Count()) return true;
  RebuildIndex(0, 0);
  return m_Db.IndexValid();
}

void SearchEngine::RebuildIndex(double from, double to) {
  m_Exact.Clear();
  m_ExactValid = false;
  m_Db.SetIndexValid(m_Index.Build(m_Db, from, to, m_Db.Host().progress));
}

ImageRecord* SearchEngine::SetSearchPicture(int32_t lfdNr) {
  ImageRecord* record = m_Db.FindByLfdNr(lfdNr);
  if (record == nullptr) return nullptr;
  m_Db.SetSearchPicture(record);
  m_SimilarValid = false;
  return record;
}

bool SearchEngine::FillListWindow(int32_t columns, int32_t first, int32_t count, int32_t mode) {
  if (columns == kKeep) columns = m_Columns;
  if (first == kKeep) first = m_First;
  if (count == kKeep) count = m_Count;
  if (mode == kKeep) mode = m_Mode;
  columns = std::max(columns, 1);
  first = std::max(first, 0);
  count = std::max(count, 0);
  const bool argumentsChanged =
      columns != m_Columns || first != m_First || count != m_Count || mode != m_Mode;
  m_Columns = columns;
  m_First = first;
  m_Count = count;
  m_Mode = mode;
  ListWindow& window = m_Db.ListForSearch();
  window.Place(first, columns, mode);

  if (mode == kListSearchSimilar) {
    if (!argumentsChanged && m_SimilarValid && m_SimilarCriteria == CurrentCriteria() &&
        window.Size() == count) {
      return false;
    }
    FillSimilar();
    return true;
  }
  const ListWindow before = window;
  window.Empty(count);
  if (mode == kListSearchDuplicates) {
    FillDuplicates();
  } else {
    const iavl& tree = mode == kListSortedByFile ? m_Db.TreeByPath() : m_Db.TreeByLfdNr();
    for (int32_t i = 0; i < count; ++i) {
      window.Set(i, static_cast<ImageRecord*>(iavl_select(&tree, first + i)));
    }
  }
  return before != window;
}

void SearchEngine::ChooseSearchPicture(int32_t count) {
  if (m_Db.SearchPicture() != nullptr || count <= 0) return;
  ImageRecord* focused = focusedPicture ? focusedPicture() : nullptr;
  ImageRecord* firstShown = nullptr;
  for (ImageRecord* record : m_Db.List().Records()) {
    if (record != nullptr) {
      firstShown = record;
      break;
    }
  }
  if (focused != nullptr) {
    SetSearchPicture(focused->m_LfdNr);
    MessageBox("No search picture selected - using currently selected one", kProgramCaption,
               MB_OK | MB_ICONINFORMATION);
  } else if (firstShown != nullptr) {
    SetSearchPicture(firstShown->m_LfdNr);
    MessageBox("No search picture selected - choosing first visible one", kProgramCaption,
               MB_OK | MB_ICONINFORMATION);
  } else if (m_Db.Count() > 0 && !m_NoPictureShown) {
    m_NoPictureShown = true;
    MessageBox("No search picture selected", kProgramCaption, MB_OK | MB_ICONINFORMATION);
  }
}

void SearchEngine::FillSimilar() {
  ChooseSearchPicture(m_Count);
  m_Db.ListForSearch().Empty(m_Count);
  m_SimilarValid = true;
  m_SimilarCriteria = CurrentCriteria();
  auto store = [this](int32_t i, ImageRecord* record) { m_Db.ListForSearch().Set(i, record); };
  ImageRecord* searchPicture = m_Db.SearchPicture();
  if (searchPicture == nullptr) return;
  if (m_First == 0 && m_Count > 0) store(0, searchPicture);
  if (!EnsureIndex() || !m_Index.HasTree()) return;
  // The setting is a signed number kept in an unsigned word: 0 or less means a window-full.
  const int32_t shown =
      std::clamp(static_cast<int32_t>(g_settings.similarCount), 0, INT32_MAX / 2);
  const int32_t wanted =
      static_cast<int32_t>(std::min<int64_t>(int64_t{shown} + m_Count + 1000, m_Db.Count()));
  const WeightVector weights = BuildWeights(CurrentCriteria());
  m_Index.CandidateSearch(searchPicture->m_Signature, weights, wanted, 2 * wanted, 0, 50);
  const std::vector<ScoredRecord> results =
      m_Index.ScoreCandidates(m_Db, searchPicture->m_Signature, weights, nullptr);
  const int32_t total = static_cast<int32_t>(results.size());
  const int32_t end = static_cast<int32_t>(std::min<int64_t>(total, int64_t{m_First} + m_Count));
  bool appeared = false;
  for (int32_t p = 1; p < end; ++p) {
    if (!appeared && results[p - 1].record == searchPicture) appeared = true;
    if (p >= m_First) store(p - m_First, appeared ? results[p].record : results[p - 1].record);
  }
}

void SearchEngine::FillDuplicates() {
  auto store = [this](int32_t i, ImageRecord* record) { m_Db.ListForSearch().Set(i, record); };
  m_GroupBeforeWindow = -1;
  if (g_settings.compactDuplicates) {
    if (m_First > 0) {
      auto* before = static_cast<ImageRecord*>(iavl_select(&m_Db.GroupList(), m_First - 1));
      if (before != nullptr) m_GroupBeforeWindow = before->m_GroupNr;
    }
    for (int32_t i = 0; i < m_Count; ++i) {
      auto* record = static_cast<ImageRecord*>(iavl_select(&m_Db.GroupList(), m_First + i));
      if (record == nullptr) break;
      store(i, record);
    }
    return;
  }
  WalkGroupGrid(m_Columns, [&](ImageRecord* record, int64_t position) {
    if (position >= int64_t{m_First} + m_Count) return false;
    if (position < m_First) {
      m_GroupBeforeWindow = record->m_GroupNr;
    } else {
      store(static_cast<int32_t>(position - m_First), record);
    }
    return true;
  });
}

int64_t SearchEngine::WalkGroupGrid(int32_t columns,
                                    const std::function<bool(ImageRecord*, int64_t)>& visit) const {
  iavl_iterator it;
  iavl_iter_init(&it, &m_Db.GroupList());
  int64_t position = 0;
  int32_t group = -1;
  for (void* item = iavl_iter_first(&it); item != nullptr; item = iavl_iter_next(&it)) {
    auto* record = static_cast<ImageRecord*>(item);
    if (position > 0 && record->m_GroupNr != group) {
      position = (position + columns - 1) / columns * columns;
    }
    group = record->m_GroupNr;
    if (!visit(record, position)) break;
    ++position;
  }
  return position;
}

int32_t SearchEngine::DuplicateRows(int32_t columns) const {
  columns = std::max(columns, 1);
  const int32_t members = static_cast<int32_t>(m_Db.GroupList().count);
  if (g_settings.compactDuplicates) return members / columns + 1;
  const int64_t position = WalkGroupGrid(columns, [](ImageRecord*, int64_t) { return true; });
  return static_cast<int32_t>(position / columns + 1);
}

std::vector<ScoredRecord> SearchEngine::SimilarList(ImageRecord* record, int32_t first,
                                                    int32_t last, const WeightVector& weights,
                                                    SimilarSearch search, bool* outOfMemory) {
  std::vector<ScoredRecord> list;
  if (outOfMemory) *outOfMemory = false;
  auto failed = [&] {
    if (outOfMemory) *outOfMemory = true;
    return list;
  };
  if (record == nullptr) return list;
  if (!EnsureIndex()) return failed();
  if (!m_Index.HasTree()) return list;
  std::vector<ScoredRecord> results;
  if (search == SimilarSearch::kExact) {
    if (!m_ExactValid) m_ExactValid = m_Exact.Build(m_Db);
    if (!m_ExactValid) return failed();
    const int64_t places = std::min<int64_t>(int64_t{last} + 1, m_Db.Count());
    results = m_Exact.Nearest(m_Db, record->m_Signature, weights, static_cast<int32_t>(places));
    if (results.empty() && places > 0) return failed();  // it ran out of memory
  } else {
    const int32_t wanted =
        static_cast<int32_t>(std::min<int64_t>(int64_t{last} + 2000, m_Db.Count()));
    m_Index.CandidateSearch(record->m_Signature, weights, wanted, 2 * wanted, 0, 50);
    results = m_Index.ScoreCandidates(m_Db, record->m_Signature, weights, nullptr);
  }
  first = std::max(first, 1);
  // The sequence is the record followed by the results without it: one place longer
  // than the results when the record is not among them (a picture outside the database).
  const bool included = std::any_of(results.begin(), results.end(),
                                    [&](const ScoredRecord& r) { return r.record == record; });
  const int64_t places = static_cast<int64_t>(results.size()) + (included ? 0 : 1);
  const int32_t end = static_cast<int32_t>(std::min<int64_t>(places, int64_t{last} + 1));
  bool appeared = false;
  for (int32_t p = 1; p < end; ++p) {
    if (!appeared && results[p - 1].record == record) appeared = true;
    if (p >= first) list.push_back(appeared ? results[p] : results[p - 1]);
  }
  return list;
}

std::string SearchEngine::SimilarText(ImageRecord* record, int32_t first, int32_t last,
                                      const WeightVector& weights) {
  std::string text;
  for (const ScoredRecord& entry : SimilarList(record, first, last, weights)) {
    if (entry.record != nullptr) text += entry.record->m_Path;
    text += '\n';
  }
  return text;
}

}  // namespace gq

#include "search/CriteriaAdjust.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <unordered_set>
#include <vector>

#include "search/SearchEngine.h"
#include "signature/Criteria.h"
#include "signature/SearchResult.h"
#include "signature/Similarity.h"

namespace gq {
namespace {

constexpr double kProgressStart = 0.01;
constexpr double kProgressEnd = 1.0;
constexpr int kPasses = 2;

// The working data of one run: the search picture's signature, the weighted-difference
// sums, and one result per record with the selected ones first.
class Adjuster {
 public:
  Adjuster(const ImageRecord* search, const std::vector<ImageRecord*>& selected,
           const std::vector<ImageRecord*>& all)
      : m_Query(search->m_Signature) {
    for (ImageRecord* record : selected) AddRecord(record, true);
    m_SelectedCount = m_Results.size();
    const std::unordered_set<const ImageRecord*> chosen(selected.begin(), selected.end());
    for (ImageRecord* record : all) {
      if (!chosen.count(record)) AddRecord(record, false);
    }
    m_Order.resize(m_Results.size());
  }

  double RatioCost(const WeightVector& w) const {
    double s = 0, o = 0;
    for (int i = 0; i < kSignatureLength; ++i) {
      s += w[i] * m_SelectedSums[i];
      o += w[i] * m_OtherSums[i];
    }
    return o + s > 0 ? s / (o + s) : 0;
  }

  double FullCost(const WeightVector& w) {
    double largest = 0;
    for (size_t i = 0; i < m_Results.size(); ++i) {
      auto* record = static_cast<const ImageRecord*>(m_Results[i].record);
      m_Results[i].distance = Distance(m_Query, record->m_Signature, w.data());
      if (i < m_SelectedCount) largest = std::max(largest, m_Results[i].distance);
    }
    size_t count = 0;
    for (SearchResult& result : m_Results) {
      if (result.distance <= largest) m_Order[count++] = &result;
    }
    SortResults(m_Order.data(), count);
    double rankSum = 0;
    for (size_t rank = 0; rank < count; ++rank) {
      if (m_Order[rank] < m_Results.data() + m_SelectedCount) rankSum += rank;
    }
    return rankSum + RatioCost(w);
  }

 private:
  void AddRecord(ImageRecord* record, bool selected) {
    double* sums = selected ? m_SelectedSums : m_OtherSums;
    for (int i = 0; i < kSignatureLength; ++i)
      sums[i] += std::abs(record->m_Signature[i] - m_Query[i]);
    SearchResult result;
    result.path = record->m_Path.c_str();
    result.record = record;
    m_Results.push_back(result);
  }

  const int16_t* m_Query;
  double m_SelectedSums[kSignatureLength] = {};
  double m_OtherSums[kSignatureLength] = {};
  std::vector<SearchResult> m_Results;
  std::vector<SearchResult*> m_Order;
  size_t m_SelectedCount = 0;
};

using Cost = std::function<double(const WeightVector&)>;

// Two passes over the criteria above 0: each is tried upwards with growing offsets
// while that lowers the cost, then downwards unless upwards improved and then failed.
// Returns false when the progress callback asked to stop.
bool CoordinateSearch(const Cost& cost, const AdjustProgress* progress) {
  Criteria criteria = CurrentCriteria();
  std::vector<int> taking;
  for (int c = 0; c < kCriteriaCount; ++c) {
    if (criteria.value[c] > 0) taking.push_back(c);
  }
  const int m = static_cast<int>(taking.size());
  double best = cost(BuildWeights(criteria));
  for (int pass = 0; pass < kPasses; ++pass) {
    for (int p = 1; p <= m; ++p) {
      const int c = taking[p - 1];
      const int32_t start = criteria.value[c];
      bool upImproved = false, upFailed = false;
      for (int direction : {1, -1}) {
        if (direction < 0 && upImproved && upFailed) break;
        int32_t offset = 1;
        int improvements = 0;
        for (;;) {
          const int32_t trial = start + direction * offset;
          if (trial < 1 || trial > 100) break;
          const int32_t kept = criteria.value[c];
          criteria.value[c] = trial;
          SetCurrentCriteria(criteria);
          const double trialCost = cost(BuildWeights(criteria));
          const bool better = trialCost < best;
          if (better) {
            best = trialCost;
            ++improvements;
          } else {
            criteria.value[c] = kept;
            SetCurrentCriteria(criteria);
          }
          if (progress != nullptr) {
            const double fraction =
                kProgressStart + (p + pass * m) * (kProgressEnd - kProgressStart) / (2.0 * m);
            if (!(*progress)(fraction, better ? kAdjustImproved : 0)) return false;
          }
          if (!better) {
            if (direction > 0) upFailed = true;
            break;
          }
          if (direction > 0) upImproved = true;
          offset += improvements + 1;
          if (offset >= 100) break;
        }
      }
    }
  }
  return true;
}

}  // namespace

std::string AdjustCriteria(SearchEngine& engine, bool quick, bool full, ImageRecord* focused,
                           const AdjustProgress& progress) {
  ImageRecordDB& db = engine.Db();
  ImageRecord* search = db.SearchPicture();
  if (search == nullptr) return "No search picture.";
  if (focused != nullptr) db.Select(focused->m_LfdNr, kSelect);
  std::vector<ImageRecord*> selected = db.SelectedRecords();
  selected.erase(std::remove(selected.begin(), selected.end(), search), selected.end());
  if (selected.empty()) return "No pictures selected.";
  const Criteria& current = CurrentCriteria();
  if (std::none_of(current.value.begin(), current.value.end(), [](int32_t v) { return v > 0; })) {
    return "All criterias are deactivated.";
  }
  engine.EnsureIndex();  // gives every record its file-path value
  const Criteria original = current;
  try {
    Adjuster adjuster(search, selected, db.Records());
    if (progress && !progress(kProgressStart, 0)) return "";
    if (quick) {
      Criteria criteria = CurrentCriteria();
      for (int32_t& value : criteria.value) {
        if (value > 0) value = 50;
      }
      SetCurrentCriteria(criteria);
      CoordinateSearch([&](const WeightVector& w) { return adjuster.RatioCost(w); }, nullptr);
    }
    if (full) {
      CoordinateSearch([&](const WeightVector& w) { return adjuster.FullCost(w); },
                       progress ? &progress : nullptr);
    }
  } catch (const std::bad_alloc&) {
    SetCurrentCriteria(original);
    return "Out of memory.";
  }
  return "";
}

}  // namespace gq

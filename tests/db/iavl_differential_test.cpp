// Random operations on an iavl tree and on a sorted vector of (item, node) entries that models
// it, including iterators kept across changes. Every operation's results are compared at once;
// the structural invariants and the whole order are compared every checkEvery operations (after
// every operation in the small runs, every 1000 in the 200,000-operation runs).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "db/iavl.h"
#include "iavl_checker.h"

namespace gq {
namespace {

struct Rec {
  int64_t key;
  iavl_node node;
};

int CompareRecs(const void* key, const void* item, void*) {
  const int64_t a = static_cast<const Rec*>(key)->key;
  const int64_t b = static_cast<const Rec*>(item)->key;
  return a < b ? -1 : (a > b ? 1 : 0);
}

struct Entry {
  Rec* item;
  iavl_node* node;
};

// What an iterator should look like after its next operation.
struct IteratorModel {
  iavl_node* node = nullptr;
  int64_t rank = -1;
  uint32_t snapshot = 0;
};

// Reported rank of a mode 0 refusal: the search may have met any of the equal items.
constexpr int64_t kAnyEqualRank = -2;

struct RunConfig {
  int duplicateMode;
  int32_t nodeOffset;
  int operations;
  int poolSize;
  int keyRange;
  size_t targetSize;
  int checkEvery;
};

class DifferentialRun {
 public:
  DifferentialRun(const RunConfig& config, uint64_t seed)
      : config_(config), random_(seed), pool_(config.poolSize), membership_(config.poolSize) {
    for (Rec& rec : pool_) rec.key = Uniform(0, config.keyRange - 1);
    iavl_create(&tree_, CompareRecs, nullptr, config.duplicateMode, nullptr, config.nodeOffset);
    for (int i = 0; i < 3; ++i) {
      iavl_iter_init(&iterators_[i], &tree_);
    }
  }
  ~DifferentialRun() { iavl_destroy(&tree_, nullptr); }

  void Run() {
    for (int op = 0; op < config_.operations; ++op) {
      SCOPED_TRACE("operation " + std::to_string(op));
      Step();
      if (HasFatalFailure()) return;
      ASSERT_EQ(tree_.count, ref_.size());
      ASSERT_EQ(tree_.modifications, modifications_);
      ASSERT_EQ(tree_.errors, errors_);
      if ((op + 1) % config_.checkEvery == 0) {
        CheckWhole();
        if (HasFatalFailure()) return;
      }
    }
    CheckWhole();
  }

 private:
  static bool HasFatalFailure() { return ::testing::Test::HasFatalFailure(); }
  int64_t Uniform(int64_t low, int64_t high) {
    return std::uniform_int_distribution<int64_t>(low, high)(random_);
  }
  bool Embedded() const { return config_.nodeOffset >= 0; }
  Rec* AnyRec() { return &pool_[Uniform(0, config_.poolSize - 1)]; }
  bool InTree(const Rec* rec) const { return membership_[rec - pool_.data()] > 0; }
  iavl_node* OwnNode(Rec* rec) { return &rec->node; }

  // Model edits keep the membership counts.
  void RefInsert(size_t at, Entry entry) {
    ref_.insert(ref_.begin() + at, entry);
    ++membership_[entry.item - pool_.data()];
  }
  Entry RefErase(size_t at) {
    const Entry entry = ref_[at];
    ref_.erase(ref_.begin() + at);
    --membership_[entry.item - pool_.data()];
    return entry;
  }
  void RefSet(size_t at, Entry entry) {
    --membership_[ref_[at].item - pool_.data()];
    ++membership_[entry.item - pool_.data()];
    ref_[at] = entry;
  }

  // [lo, hi) of the items whose key equals rec's.
  std::pair<size_t, size_t> EqualRun(const Rec* rec) const {
    auto lo = std::partition_point(ref_.begin(), ref_.end(),
                                   [rec](const Entry& e) { return e.item->key < rec->key; });
    auto hi = std::partition_point(lo, ref_.end(),
                                   [rec](const Entry& e) { return e.item->key == rec->key; });
    return {size_t(lo - ref_.begin()), size_t(hi - ref_.begin())};
  }
  // Whether `after` may follow `before` in the tree's order.
  bool InOrder(const Rec* before, const Rec* after) const {
    if (before->key != after->key) return before->key < after->key;
    if (config_.duplicateMode == kIavlDuplicatesByAddress) return before < after;
    return config_.duplicateMode == kIavlDuplicatesAfter;
  }
  // Where a new item goes with the given insertion mode (no equal item blocks it).
  size_t InsertPosition(const Rec* rec, int mode) const {
    auto [lo, hi] = EqualRun(rec);
    if (mode == kIavlDuplicatesAfter) return hi;
    if (mode == kIavlDuplicatesByAddress) {
      while (lo < hi && ref_[lo].item < rec) ++lo;
    }
    return lo;
  }
  // The exact position of rec for an exact search, or -1.
  int64_t ExactRank(const Rec* rec) const {
    auto [lo, hi] = EqualRun(rec);
    for (size_t i = lo; i < hi; ++i) {
      if (ref_[i].item == rec) return int64_t(i);
    }
    return -1;
  }

  // Expected outcome of an insertion: result, reported rank and node.
  struct Outcome {
    void* result;
    int64_t rank;
    iavl_node* node;
  };

  Outcome LinkNew(Rec* rec, int mode, iavl_node* node) {
    const size_t at = InsertPosition(rec, mode);
    RefInsert(at, Entry{rec, node});
    ++modifications_;
    return Outcome{nullptr, int64_t(at), node};
  }

  // The model of replace-current at position at; the iterator's new rank goes to *position.
  void* ModelReplace(size_t at, Rec* rec, int64_t* position) {
    Rec* old = ref_[at].item;
    *position = int64_t(at);
    if (rec == old) return nullptr;
    if (Embedded() && InTree(rec)) {
      errors_ |= kIavlErrorNodeInUse;
      return rec;
    }
    const bool fits = (at == 0 || InOrder(ref_[at - 1].item, rec)) &&
                      (at + 1 == ref_.size() || InOrder(rec, ref_[at + 1].item));
    if (fits) {
      if (Embedded()) {
        RefSet(at, Entry{rec, OwnNode(rec)});
        ++modifications_;
      } else {
        RefSet(at, Entry{rec, ref_[at].node});
      }
      return old;
    }
    const Entry removed = RefErase(at);
    ++modifications_;
    auto [lo, hi] = EqualRun(rec);
    const int mode = config_.duplicateMode;
    const bool refused = (mode == kIavlUnique && lo < hi) ||
                         (mode == kIavlDuplicatesByAddress && ExactRank(rec) >= 0);
    Rec* placed = refused ? old : rec;
    const Outcome outcome = LinkNew(placed, mode, Embedded() ? OwnNode(placed) : removed.node);
    *position = outcome.rank;
    return refused ? rec : old;
  }

  Outcome ModelInsert(Rec* rec, int mode) {
    auto [lo, hi] = EqualRun(rec);
    const Outcome refusedNoPlace{rec, -1, nullptr};
    if (mode == kIavlUnique && lo < hi) {
      return Outcome{rec, kAnyEqualRank, nullptr};
    }
    if (mode == kIavlDuplicatesByAddress) {
      const int64_t at = ExactRank(rec);
      if (at >= 0) return Outcome{rec, at, ref_[at].node};
    }
    if (mode == kIavlDuplicatesAfter && Embedded() && InTree(rec)) {
      errors_ |= kIavlErrorNodeInUse;
      return refusedNoPlace;
    }
    if (mode == kIavlInsertReplace && lo < hi) {
      if (config_.duplicateMode == kIavlUnique) {
        Rec* old = ref_[lo].item;
        if (old == rec) return Outcome{nullptr, int64_t(lo), ref_[lo].node};
        if (Embedded()) {
          RefSet(lo, Entry{rec, OwnNode(rec)});
          ++modifications_;
        } else {
          RefSet(lo, Entry{rec, ref_[lo].node});
        }
        return Outcome{old, int64_t(lo), ref_[lo].node};
      }
      int64_t position = -1;
      void* result = ModelReplace(lo, rec, &position);
      if (result == rec) return refusedNoPlace;
      return Outcome{result, position, ref_[position].node};
    }
    const int linkMode = mode == kIavlInsertReplace ? config_.duplicateMode : mode;
    return LinkNew(rec, linkMode, Embedded() ? OwnNode(rec) : nullptr);
  }

  int RandomInsertMode() {
    const int choice = int(Uniform(0, 2));
    if (choice == 0) return kIavlUnique;
    if (choice == 1) return kIavlInsertReplace;
    return config_.duplicateMode;
  }

  // Checks a reported insertion against the model; a separate node is only known afterwards.
  void ExpectInsertion(const Outcome& expected, void* result, int32_t rank, iavl_node* node,
                       Rec* rec) {
    ASSERT_EQ(result, expected.result);
    if (expected.rank == kAnyEqualRank) {
      ASSERT_GE(rank, 0);
      ASSERT_LT(size_t(rank), ref_.size());
      ASSERT_EQ(ref_[rank].item->key, rec->key);
      ASSERT_EQ(ref_[rank].node, node);
      return;
    }
    ASSERT_EQ(rank, expected.rank);
    if (expected.rank < 0) {
      ASSERT_EQ(node, nullptr);
      return;
    }
    if (expected.node == nullptr) ref_[rank].node = node;  // a freshly allocated node
    ASSERT_EQ(node, ref_[rank].node);
  }

  void DoInsert() {
    Rec* rec = AnyRec();
    const int mode = RandomInsertMode();
    const Outcome expected = ModelInsert(rec, mode);
    int32_t rank = -3;
    iavl_node* node = nullptr;
    void* result = iavl_insert(&tree_, rec, mode, &rank, &node);
    ExpectInsertion(expected, result, rank, node, rec);
  }

  // Removal by key: the node a find reports is the one that goes.
  void DoRemoveByKey() {
    Rec* rec = AnyRec();
    const int exact = int(Uniform(0, 1));
    const int32_t rank = CheckedFind(rec, exact);
    if (HasFatalFailure()) return;
    ExpectRemoved(iavl_remove(&tree_, rec, exact), rank);
  }

  void DoRemoveAt() {
    const int64_t rank = Uniform(-1, int64_t(ref_.size()));
    ExpectRemoved(iavl_remove_at(&tree_, int32_t(rank)), rank);
  }

  // A removal at `rank` must hand back the reference's item there, and nothing for a rank
  // outside the reference; the reference follows the tree.
  void ExpectRemoved(void* removed, int64_t rank) {
    if (rank < 0 || size_t(rank) >= ref_.size()) {
      ASSERT_EQ(removed, nullptr);
      return;
    }
    ASSERT_EQ(removed, ref_[rank].item);
    RefErase(rank);
    ++modifications_;
  }

  // Finds `rec`, checks the answer against the reference and returns the rank the tree gave.
  int32_t CheckedFind(Rec* rec, int exact) {
    int32_t rank = -3;
    iavl_node* node = nullptr;
    void* found = iavl_find(&tree_, rec, exact, &rank, &node);
    ExpectFound(rec, exact, found, rank, node);
    return rank;
  }

  void ExpectFound(Rec* rec, int exact, void* found, int32_t rank, iavl_node* node) {
    auto [lo, hi] = EqualRun(rec);
    if (exact) {
      const int64_t at = ExactRank(rec);
      ASSERT_EQ(rank, at);
      ASSERT_EQ(found, at >= 0 ? rec : nullptr);
    } else if (lo == hi) {
      ASSERT_EQ(rank, -1);
      ASSERT_EQ(found, nullptr);
    } else {
      ASSERT_GE(size_t(rank), lo);
      ASSERT_LT(size_t(rank), hi);
      ASSERT_EQ(found, ref_[rank].item);
    }
    ASSERT_EQ(node, rank >= 0 ? ref_[rank].node : nullptr);
  }

  void DoLookups() {
    Rec* rec = AnyRec();
    const int exact = int(Uniform(0, 1));
    const int32_t rank = CheckedFind(rec, exact);
    ASSERT_EQ(iavl_rank_of(&tree_, rec, exact), rank);
    const int64_t at = Uniform(-1, int64_t(ref_.size()));
    ASSERT_EQ(iavl_select(&tree_, int32_t(at)),
              at >= 0 && size_t(at) < ref_.size() ? ref_[at].item : nullptr);
  }

  // The re-synchronisation rules applied to the model.
  void ModelResync(IteratorModel* m) {
    const int64_t d = modifications_ - m->snapshot;
    if (d == 0) return;
    m->snapshot = modifications_;
    if (!m->node) return;
    const int64_t old = m->rank;
    const int64_t size = int64_t(ref_.size());
    if (old < size && ref_[old].node == m->node) return;
    int64_t at = d < old ? old - d : 0;
    const int64_t steps = d < old ? 2 * d + 1 : old + d + 1;
    for (int64_t i = 0; i < steps && at < size && ref_[at].node != m->node; ++i) ++at;
    if (at < size && ref_[at].node == m->node) {
      m->rank = at;
    } else if (d == 1 && old < size) {
      m->node = ref_[old].node;
    } else {
      *m = IteratorModel{nullptr, -1, m->snapshot};
    }
  }
  void ModelPosition(IteratorModel* m, int64_t rank) {
    m->snapshot = modifications_;
    if (rank < 0 || size_t(rank) >= ref_.size()) {
      m->node = nullptr;
      m->rank = -1;
    } else {
      m->node = ref_[rank].node;
      m->rank = rank;
    }
  }

  void DoIteratorStep() {
    const int which = int(Uniform(0, 2));
    iavl_iterator* it = &iterators_[which];
    IteratorModel* m = &models_[which];
    ModelResync(m);
    const int64_t size = int64_t(ref_.size());
    void* result = nullptr;
    void* expected = nullptr;
    bool navigation = true;  // the result is the item the iterator ends on
    switch (Uniform(0, 10)) {
      case 0:
        result = iavl_iter_next(it);
        ModelPosition(m, m->node ? m->rank + 1 : 0);
        break;
      case 1:
        result = iavl_iter_prev(it);
        ModelPosition(m, m->node ? m->rank - 1 : size - 1);
        break;
      case 2:
        result = iavl_iter_first(it);
        ModelPosition(m, 0);
        break;
      case 3:
        result = iavl_iter_last(it);
        ModelPosition(m, size - 1);
        break;
      case 4: {
        const int64_t rank = Uniform(-1, size);
        result = iavl_iter_seek_rank(it, int32_t(rank));
        ModelPosition(m, rank);
        break;
      }
      case 5: {
        Rec* rec = AnyRec();
        const int exact = int(Uniform(0, 1));
        result = iavl_iter_seek(it, rec, exact);
        ExpectFound(rec, exact, result, it->rank, it->current);
        ModelPosition(m, it->rank);
        break;
      }
      case 6:
        result = iavl_iter_current(it);
        ASSERT_EQ(iavl_iter_rank(it), m->rank);
        break;
      case 7: {
        Rec* rec = AnyRec();
        const int mode = RandomInsertMode();
        const Outcome outcome = ModelInsert(rec, mode);
        result = iavl_iter_insert(it, rec, mode);
        ExpectInsertion(outcome, result, it->rank, it->current, rec);
        ModelPosition(m, it->rank);
        expected = outcome.result;
        navigation = false;
        break;
      }
      case 8:
      case 9:
        if (m->node) {
          const int64_t at = m->rank;
          expected = RefErase(at).item;
          ++modifications_;
          result = iavl_iter_remove(it);
          ModelPosition(m, at);
        } else {
          result = iavl_iter_remove(it);
        }
        navigation = false;
        break;
      case 10: {
        Rec* rec = AnyRec();
        if (m->node) {
          int64_t position = -1;
          expected = ModelReplace(m->rank, rec, &position);
          result = iavl_iter_replace(it, rec);
          ModelPosition(m, position);
        } else {
          result = iavl_iter_replace(it, rec);
        }
        navigation = false;
        break;
      }
    }
    if (HasFatalFailure()) return;
    if (navigation) expected = m->node ? m->node->iavl_data : nullptr;
    ASSERT_EQ(result, expected);
    ASSERT_EQ(it->current, m->node);
    ASSERT_EQ(it->rank, m->rank);
  }

  void Step() {
    const bool grow = ref_.size() < config_.targetSize;
    const int64_t pick = Uniform(0, 99);
    if (pick < (grow ? 35 : 20)) {
      DoInsert();
    } else if (pick < 45) {
      DoRemoveByKey();
    } else if (pick < 55) {
      DoRemoveAt();
    } else if (pick < 70) {
      DoLookups();
    } else {
      DoIteratorStep();
    }
  }

  void CheckWhole() {
    ASSERT_TRUE(IavlInvariantsHold(&tree_));
    iavl_iterator walk;
    iavl_iter_init(&walk, &tree_);
    size_t i = 0;
    for (void* item = iavl_iter_first(&walk); item; item = iavl_iter_next(&walk), ++i) {
      ASSERT_LT(i, ref_.size());
      ASSERT_EQ(item, ref_[i].item) << "rank " << i;
      ASSERT_EQ(walk.current, ref_[i].node) << "rank " << i;
      ASSERT_EQ(walk.rank, int64_t(i));
    }
    ASSERT_EQ(i, ref_.size());
    if (Embedded()) {
      for (const Rec& rec : pool_) {
        ASSERT_EQ(rec.node.iavl_data != nullptr, InTree(&rec)) << "membership mark";
      }
    }
  }

  RunConfig config_;
  std::mt19937_64 random_;
  std::vector<Rec> pool_;
  std::vector<int> membership_;
  std::vector<Entry> ref_;
  uint32_t modifications_ = 0;
  uint8_t errors_ = 0;
  iavl tree_{};
  iavl_iterator iterators_[3];
  IteratorModel models_[3];
};

struct Case {
  int duplicateMode;
  int32_t nodeOffset;
};

class IavlDifferentialTest : public ::testing::TestWithParam<Case> {};

// Trees of tens and of hundreds of items with many equal keys, fully checked after every
// operation.
TEST_P(IavlDifferentialTest, SmallTreesCheckedAfterEveryOperation) {
  const uint64_t seed = 0x5eed0001 + GetParam().duplicateMode * 16 + (GetParam().nodeOffset + 1);
  SCOPED_TRACE("seed " + std::to_string(seed));
  const RunConfig small{GetParam().duplicateMode, GetParam().nodeOffset, 20000, 48, 16, 30, 1};
  DifferentialRun(small, seed).Run();
  const RunConfig medium{GetParam().duplicateMode, GetParam().nodeOffset, 20000, 400, 300, 200, 1};
  DifferentialRun(medium, seed + 1).Run();
}

// 200,000 operations around a thousand items; full checks every 1000 operations.
TEST_P(IavlDifferentialTest, LargeRunAgainstSortedVector) {
  const uint64_t seed = 0x5eed1000 + GetParam().duplicateMode * 16 + (GetParam().nodeOffset + 1);
  SCOPED_TRACE("seed " + std::to_string(seed));
  RunConfig config{GetParam().duplicateMode, GetParam().nodeOffset, 200000, 1600, 1200, 1000, 1000};
  DifferentialRun(config, seed).Run();
}

INSTANTIATE_TEST_SUITE_P(ModesAndPlacements, IavlDifferentialTest,
                         ::testing::Values(Case{0, -1}, Case{1, -1}, Case{2, -1},
                                           Case{0, int32_t(offsetof(Rec, node))},
                                           Case{1, int32_t(offsetof(Rec, node))},
                                           Case{2, int32_t(offsetof(Rec, node))}),
                         [](const auto& info) {
                           return std::string(info.param.nodeOffset < 0 ? "Separate" : "Embedded") +
                                  "Mode" + std::to_string(info.param.duplicateMode);
                         });

}  // namespace
}  // namespace gq

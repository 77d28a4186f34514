#include "db/iavl.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "iavl_checker.h"

namespace gq {
namespace {

struct Item {
  int64_t key;
  iavl_node node;
};

constexpr int32_t kEmbeddedOffset = offsetof(Item, node);

int CompareKeys(const void* key, const void* item, void*) {
  const int64_t a = static_cast<const Item*>(key)->key;
  const int64_t b = static_cast<const Item*>(item)->key;
  return a < b ? -1 : (a > b ? 1 : 0);
}

// A heap allocator that counts its blocks and can be told to fail.
int g_liveBlocks = 0;
int g_allocationsLeft = -1;  // -1: never fail
void* CountingAllocate(size_t size) {
  if (g_allocationsLeft == 0) return nullptr;
  if (g_allocationsLeft > 0) --g_allocationsLeft;
  ++g_liveBlocks;
  return std::malloc(size);
}
void CountingRelease(void* memory) {
  --g_liveBlocks;
  std::free(memory);
}
const iavl_allocator kCountingAllocator{CountingAllocate, CountingRelease};

class IavlTest : public ::testing::TestWithParam<int32_t> {
 protected:
  void SetUp() override {
    g_liveBlocks = 0;
    g_allocationsLeft = -1;
  }
  void TearDown() override {
    iavl_destroy(&tree_, nullptr);
    EXPECT_EQ(g_liveBlocks, 0);
  }
  void Create(int duplicateMode) {
    ASSERT_EQ(
        iavl_create(&tree_, CompareKeys, nullptr, duplicateMode, &kCountingAllocator, GetParam()),
        &tree_);
  }
  // Items with keys 1 ... n, inserted in key order.
  void Fill(std::vector<Item>* items, int n) {
    items->assign(n, Item{});
    for (int i = 0; i < n; ++i) {
      (*items)[i].key = i + 1;
      ASSERT_EQ(iavl_insert(&tree_, &(*items)[i], kIavlUnique), nullptr);
    }
  }
  bool Embedded() const { return GetParam() >= 0; }

  iavl tree_{};
};

TEST_P(IavlTest, InOrderInsertsKeepCountsAndBalance) {
  Create(kIavlUnique);
  std::vector<Item> items(1000);
  for (int i = 0; i < 1000; ++i) {
    items[i].key = i + 1;
    int32_t rank = -2;
    iavl_node* node = nullptr;
    ASSERT_EQ(iavl_insert(&tree_, &items[i], kIavlUnique, &rank, &node), nullptr);
    EXPECT_EQ(rank, i);
    EXPECT_EQ(node->iavl_data, &items[i]);
    ASSERT_TRUE(IavlInvariantsHold(&tree_)) << "after inserting " << i + 1;
  }
  for (int k = 0; k < 1000; ++k) {
    EXPECT_EQ(static_cast<Item*>(iavl_select(&tree_, k))->key, k + 1);
    Item key{k + 1, {}};
    EXPECT_EQ(iavl_rank_of(&tree_, &key, 0), k);
  }
  EXPECT_EQ(iavl_select(&tree_, 1000), nullptr);
  EXPECT_EQ(iavl_select(&tree_, -1), nullptr);
  EXPECT_EQ(tree_.modifications, 1000u);
}

TEST_P(IavlTest, UniqueModeRefusesEqualKeyAndReportsTheHolder) {
  Create(kIavlUnique);
  std::vector<Item> items;
  Fill(&items, 5);
  Item twin{3, {}};
  int32_t rank = -2;
  iavl_node* node = nullptr;
  EXPECT_EQ(iavl_insert(&tree_, &twin, kIavlUnique, &rank, &node), &twin);
  EXPECT_EQ(rank, 2);
  EXPECT_EQ(node->iavl_data, &items[2]);
  EXPECT_EQ(tree_.count, 5u);
  EXPECT_EQ(tree_.modifications, 5u);
  EXPECT_EQ(twin.node.iavl_data, nullptr);
  EXPECT_EQ(iavl_find(&tree_, &twin, 0), &items[2]);
  EXPECT_EQ(iavl_find(&tree_, &twin, 1), nullptr);
  EXPECT_EQ(iavl_rank_of(&tree_, &twin, 1), -1);
}

TEST_P(IavlTest, AddressModeKeepsEachItemOnceLowerAddressFirst) {
  Create(kIavlDuplicatesByAddress);
  Item pair[2] = {{7, {}}, {7, {}}};  // pair[0] has the lower address
  EXPECT_EQ(iavl_insert(&tree_, &pair[1], kIavlDuplicatesByAddress), nullptr);
  EXPECT_EQ(iavl_insert(&tree_, &pair[0], kIavlDuplicatesByAddress), nullptr);
  int32_t rank = -2;
  EXPECT_EQ(iavl_insert(&tree_, &pair[1], kIavlDuplicatesByAddress, &rank), &pair[1]);
  EXPECT_EQ(rank, 1);
  EXPECT_EQ(tree_.count, 2u);
  EXPECT_EQ(iavl_select(&tree_, 0), &pair[0]);
  EXPECT_EQ(iavl_select(&tree_, 1), &pair[1]);
  EXPECT_EQ(iavl_find(&tree_, &pair[1], 1, &rank), &pair[1]);
  EXPECT_EQ(rank, 1);
  EXPECT_EQ(iavl_remove(&tree_, &pair[1], 1), &pair[1]);
  EXPECT_EQ(iavl_select(&tree_, 0), &pair[0]);
  EXPECT_TRUE(IavlInvariantsHold(&tree_));
}

TEST_P(IavlTest, AfterModeAppendsEqualItemsAndFindsExactOnesInTheRun) {
  Create(kIavlDuplicatesAfter);
  Item items[4] = {{5, {}}, {5, {}}, {5, {}}, {4, {}}};
  for (Item* item : {&items[2], &items[0], &items[1], &items[3]}) {
    ASSERT_EQ(iavl_insert(&tree_, item, kIavlDuplicatesAfter), nullptr);
  }
  EXPECT_EQ(iavl_select(&tree_, 0), &items[3]);
  EXPECT_EQ(iavl_select(&tree_, 1), &items[2]);  // insertion order among equal keys
  EXPECT_EQ(iavl_select(&tree_, 2), &items[0]);
  EXPECT_EQ(iavl_select(&tree_, 3), &items[1]);
  EXPECT_EQ(iavl_rank_of(&tree_, &items[0], 1), 2);
  EXPECT_EQ(iavl_rank_of(&tree_, &items[1], 1), 3);

  int32_t rank = -2;
  iavl_node* node = nullptr;
  void* again = iavl_insert(&tree_, &items[0], kIavlDuplicatesAfter, &rank, &node);
  if (Embedded()) {
    // Its node is linked already: a second copy would corrupt the tree.
    EXPECT_EQ(again, &items[0]);
    EXPECT_EQ(rank, -1);
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(tree_.errors, kIavlErrorNodeInUse);
    EXPECT_EQ(tree_.count, 4u);
  } else {
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(rank, 4);
    EXPECT_EQ(tree_.count, 5u);
    EXPECT_EQ(iavl_select(&tree_, 4), &items[0]);
    EXPECT_EQ(iavl_remove(&tree_, &items[0], 1), &items[0]);
    EXPECT_EQ(iavl_select(&tree_, 3), &items[0]);  // the first copy went
  }
  EXPECT_TRUE(IavlInvariantsHold(&tree_));
}

TEST_P(IavlTest, InsertOrReplaceSwapsTheItemInPlace) {
  Create(kIavlUnique);
  std::vector<Item> items;
  Fill(&items, 20);
  Item newer{11, {}};
  int32_t rank = -2;
  iavl_node* node = nullptr;
  const uint32_t before = tree_.modifications;
  EXPECT_EQ(iavl_insert(&tree_, &newer, kIavlInsertReplace, &rank, &node), &items[10]);
  EXPECT_EQ(rank, 10);
  EXPECT_EQ(node->iavl_data, &newer);
  EXPECT_EQ(iavl_select(&tree_, 10), &newer);
  EXPECT_EQ(tree_.count, 20u);
  if (Embedded()) {
    EXPECT_EQ(node, &newer.node);
    EXPECT_EQ(items[10].node.iavl_data, nullptr);
    EXPECT_EQ(tree_.modifications, before + 1);
  } else {
    EXPECT_EQ(tree_.modifications, before);
  }
  // Replacing an item by itself displaces nothing.
  EXPECT_EQ(iavl_insert(&tree_, &newer, kIavlInsertReplace, &rank), nullptr);
  EXPECT_EQ(rank, 10);
  // Without an equal item mode 3 inserts.
  Item extra{100, {}};
  EXPECT_EQ(iavl_insert(&tree_, &extra, kIavlInsertReplace, &rank), nullptr);
  EXPECT_EQ(rank, 20);
  EXPECT_TRUE(IavlInvariantsHold(&tree_));
}

TEST_P(IavlTest, InsertOrReplaceInDuplicateTreeReplacesTheFirstEqualItem) {
  Create(kIavlDuplicatesAfter);
  Item items[3] = {{1, {}}, {1, {}}, {2, {}}};
  for (Item& item : items) ASSERT_EQ(iavl_insert(&tree_, &item, kIavlDuplicatesAfter), nullptr);
  Item newer{1, {}};
  int32_t rank = -2;
  EXPECT_EQ(iavl_insert(&tree_, &newer, kIavlInsertReplace, &rank), &items[0]);
  EXPECT_EQ(rank, 0);
  EXPECT_EQ(iavl_select(&tree_, 0), &newer);
  EXPECT_EQ(iavl_select(&tree_, 1), &items[1]);
  EXPECT_TRUE(IavlInvariantsHold(&tree_));
}

TEST_P(IavlTest, RemoveAtBounds) {
  Create(kIavlUnique);
  std::vector<Item> items;
  Fill(&items, 1);
  EXPECT_EQ(iavl_remove_at(&tree_, 1), nullptr);
  EXPECT_EQ(iavl_remove_at(&tree_, -1), nullptr);
  EXPECT_EQ(tree_.modifications, 1u);
  EXPECT_EQ(iavl_remove_at(&tree_, 0), &items[0]);
  EXPECT_EQ(tree_.root, nullptr);
  EXPECT_EQ(tree_.count, 0u);
  EXPECT_EQ(tree_.modifications, 2u);
  EXPECT_EQ(items[0].node.iavl_data, nullptr);
  EXPECT_EQ(iavl_remove_at(&tree_, 0), nullptr);
  Item missing{1, {}};
  EXPECT_EQ(iavl_remove(&tree_, &missing, 0), nullptr);
}

TEST_P(IavlTest, IteratorFollowsItsItemAcrossSingleChanges) {
  Create(kIavlUnique);
  std::vector<Item> items(40);
  for (int i = 0; i < 40; ++i) items[i].key = 10 * (i + 1);
  for (int i = 0; i < 30; ++i) ASSERT_EQ(iavl_insert(&tree_, &items[i], kIavlUnique), nullptr);
  iavl_iterator it;
  iavl_iter_init(&it, &tree_);
  EXPECT_EQ(iavl_iter_rank(&it), -1);
  ASSERT_EQ(iavl_iter_seek_rank(&it, 10), &items[10]);

  Item early{5, {}};  // sorts first
  ASSERT_EQ(iavl_insert(&tree_, &early, kIavlUnique), nullptr);
  EXPECT_EQ(iavl_iter_current(&it), &items[10]);
  EXPECT_EQ(iavl_iter_rank(&it), 11);

  ASSERT_EQ(iavl_remove(&tree_, &early, 1), &early);
  EXPECT_EQ(iavl_iter_current(&it), &items[10]);
  EXPECT_EQ(iavl_iter_rank(&it), 10);
  EXPECT_EQ(iavl_iter_next(&it), &items[11]);
  EXPECT_EQ(iavl_iter_prev(&it), &items[10]);

  // Its own item removed by someone else: it takes the item that moved into its rank.
  ASSERT_EQ(iavl_remove_at(&tree_, 10), &items[10]);
  EXPECT_EQ(iavl_iter_current(&it), &items[11]);
  EXPECT_EQ(iavl_iter_rank(&it), 10);

  // Its item removed together with more changes: it is reset.
  ASSERT_EQ(iavl_remove(&tree_, &items[11], 1), &items[11]);
  ASSERT_EQ(iavl_insert(&tree_, &items[35], kIavlUnique), nullptr);
  ASSERT_EQ(iavl_insert(&tree_, &items[36], kIavlUnique), nullptr);
  EXPECT_EQ(iavl_iter_current(&it), nullptr);
  EXPECT_EQ(iavl_iter_rank(&it), -1);
  EXPECT_EQ(iavl_iter_next(&it), &items[0]);  // starts over

  // Several changes around a surviving item: it is still found.
  ASSERT_EQ(iavl_iter_seek(&it, &items[20], 1), &items[20]);
  const int32_t rank = iavl_iter_rank(&it);
  ASSERT_EQ(iavl_remove(&tree_, &items[0], 1), &items[0]);
  ASSERT_EQ(iavl_remove(&tree_, &items[1], 1), &items[1]);
  ASSERT_EQ(iavl_insert(&tree_, &items[37], kIavlUnique), nullptr);
  EXPECT_EQ(iavl_iter_current(&it), &items[20]);
  EXPECT_EQ(iavl_iter_rank(&it), rank - 2);

  // Clearing the tree leaves it without a position.
  iavl_destroy(&tree_, nullptr);
  EXPECT_EQ(iavl_iter_current(&it), nullptr);
  EXPECT_EQ(iavl_iter_first(&it), nullptr);
  EXPECT_EQ(iavl_iter_last(&it), nullptr);
}

TEST_P(IavlTest, RemoveCurrentDuringForwardWalkVisitsEveryItemOnce) {
  Create(kIavlUnique);
  std::vector<Item> items;
  Fill(&items, 300);
  iavl_iterator it;
  iavl_iter_init(&it, &tree_);
  std::vector<int64_t> visited;
  int64_t expectedRank = 0;
  for (void* item = iavl_iter_first(&it); item;) {
    const int64_t key = static_cast<Item*>(item)->key;
    visited.push_back(key);
    EXPECT_EQ(iavl_iter_rank(&it), expectedRank);
    if (key % 3 != 0) {
      EXPECT_EQ(iavl_iter_remove(&it), item);
      item = iavl_iter_current(&it);
    } else {
      ++expectedRank;
      item = iavl_iter_next(&it);
    }
  }
  ASSERT_EQ(visited.size(), 300u);
  for (int i = 0; i < 300; ++i) EXPECT_EQ(visited[i], i + 1);
  EXPECT_EQ(tree_.count, 100u);
  EXPECT_EQ(iavl_iter_rank(&it), -1);
  EXPECT_TRUE(IavlInvariantsHold(&tree_));
}

TEST_P(IavlTest, ReplaceCurrentKeepsOrMovesThePlace) {
  Create(kIavlUnique);
  std::vector<Item> items;
  Fill(&items, 10);
  iavl_iterator it;
  iavl_iter_init(&it, &tree_);
  ASSERT_EQ(iavl_iter_seek_rank(&it, 4), &items[4]);

  Item between{5, {}};  // equal key: stays in place
  EXPECT_EQ(iavl_iter_replace(&it, &between), &items[4]);
  EXPECT_EQ(iavl_iter_current(&it), &between);
  EXPECT_EQ(iavl_iter_rank(&it), 4);
  EXPECT_EQ(iavl_select(&tree_, 4), &between);

  Item far{100, {}};  // moves to the end
  EXPECT_EQ(iavl_iter_replace(&it, &far), &between);
  EXPECT_EQ(iavl_iter_current(&it), &far);
  EXPECT_EQ(iavl_iter_rank(&it), 9);
  EXPECT_EQ(tree_.count, 10u);
  ASSERT_TRUE(IavlInvariantsHold(&tree_));

  // A key held by another item is refused and the old item keeps its place.
  Item clash{2, {}};
  EXPECT_EQ(iavl_iter_replace(&it, &clash), &clash);
  EXPECT_EQ(iavl_iter_current(&it), &far);
  EXPECT_EQ(iavl_iter_rank(&it), 9);
  EXPECT_EQ(clash.node.iavl_data, nullptr);
  EXPECT_EQ(iavl_iter_replace(&it, &far), nullptr);
  EXPECT_EQ(tree_.count, 10u);
  EXPECT_TRUE(IavlInvariantsHold(&tree_));
}

TEST_P(IavlTest, AllocationFailureChangesNothingButTheErrorFlag) {
  Create(kIavlUnique);
  std::vector<Item> items;
  Fill(&items, 50);
  g_allocationsLeft = 0;
  Item extra{1000, {}};
  int32_t rank = -2;
  iavl_node* node = &extra.node;
  void* result = iavl_insert(&tree_, &extra, kIavlUnique, &rank, &node);
  if (Embedded()) {  // never allocates
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(rank, 50);
    EXPECT_EQ(tree_.errors, 0);
    return;
  }
  EXPECT_EQ(result, &extra);
  EXPECT_EQ(rank, -1);
  EXPECT_EQ(node, nullptr);
  EXPECT_EQ(tree_.errors, kIavlErrorAllocation);
  EXPECT_EQ(tree_.count, 50u);
  EXPECT_EQ(tree_.modifications, 50u);
  EXPECT_EQ(iavl_find(&tree_, &extra, 0), nullptr);
  EXPECT_TRUE(IavlInvariantsHold(&tree_));
  // A header the library would have to allocate cannot be made either.
  EXPECT_EQ(iavl_create(nullptr, CompareKeys, nullptr, 0, &kCountingAllocator, -1), nullptr);
  g_allocationsLeft = -1;
}

TEST_P(IavlTest, FullTreeRefusesInsertion) {
  Create(kIavlUnique);
  tree_.count = kIavlMaxCount;  // stands for a tree that holds that many items
  Item item{1, {}};
  int32_t rank = -2;
  EXPECT_EQ(iavl_insert(&tree_, &item, kIavlUnique, &rank), &item);
  EXPECT_EQ(rank, -1);
  EXPECT_EQ(tree_.errors, kIavlErrorFull);
  EXPECT_EQ(tree_.root, nullptr);
  tree_.count = 0;
}

INSTANTIATE_TEST_SUITE_P(Placement, IavlTest,
                         ::testing::Values(kIavlSeparateNodes, kEmbeddedOffset),
                         [](const auto& info) {
                           return std::string(info.param < 0 ? "SeparateNodes" : "EmbeddedNodes");
                         });

std::vector<void*> g_visited;
void RecordItem(void* item, void*) { g_visited.push_back(item); }

TEST(IavlDestroyTest, EmbeddedTreeWithoutCallbackLeavesItemsUntouched) {
  iavl tree;
  ASSERT_EQ(iavl_create(&tree, CompareKeys, nullptr, 0, nullptr, kEmbeddedOffset), &tree);
  std::vector<Item> items(100);
  for (int i = 0; i < 100; ++i) {
    items[i].key = (i * 37) % 100;
    ASSERT_EQ(iavl_insert(&tree, &items[i], 0), nullptr);
  }
  const std::vector<Item> before = items;
  iavl_destroy(&tree, nullptr);
  EXPECT_EQ(std::memcmp(before.data(), items.data(), sizeof(Item) * items.size()), 0);
  EXPECT_EQ(tree.root, nullptr);
  EXPECT_EQ(tree.count, 0u);
  EXPECT_EQ(tree.modifications, 102u);
}

TEST(IavlDestroyTest, CallbackSeesEveryItemOnceAndNodesAreReleased) {
  g_liveBlocks = 0;
  for (int32_t offset : {kIavlSeparateNodes, kEmbeddedOffset}) {
    iavl* tree = iavl_create(nullptr, CompareKeys, nullptr, 0, &kCountingAllocator, offset);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->ownsHeader, 1);
    std::vector<Item> items(500);
    for (int i = 0; i < 500; ++i) {
      items[i].key = (i * 211) % 500;
      ASSERT_EQ(iavl_insert(tree, &items[i], 0), nullptr);
    }
    g_visited.clear();
    iavl_destroy(tree, RecordItem);  // releases the header too
    EXPECT_EQ(g_liveBlocks, 0);
    ASSERT_EQ(g_visited.size(), 500u);
    for (size_t i = 0; i < g_visited.size(); ++i) {
      EXPECT_EQ(static_cast<Item*>(g_visited[i])->key, int64_t(i)) << "in order";
    }
    for (const Item& item : items) EXPECT_EQ(item.node.iavl_data, nullptr);
  }
}

TEST(IavlCreateTest, DefaultsAndRefusedParameters) {
  iavl tree;
  EXPECT_EQ(iavl_create(&tree, nullptr, nullptr, 3, nullptr, -1), nullptr);
  EXPECT_EQ(iavl_create(&tree, nullptr, nullptr, 0, nullptr, -2), nullptr);
  ASSERT_EQ(iavl_create(&tree, nullptr, nullptr, 0, nullptr, -1), &tree);
  // Without a compare function items are ordered by address.
  int cells[3];
  EXPECT_EQ(iavl_insert(&tree, &cells[2], 0), nullptr);
  EXPECT_EQ(iavl_insert(&tree, &cells[0], 0), nullptr);
  EXPECT_EQ(iavl_insert(&tree, &cells[1], 0), nullptr);
  EXPECT_EQ(iavl_insert(&tree, nullptr, 0), nullptr);
  EXPECT_EQ(tree.count, 3u);
  EXPECT_EQ(iavl_select(&tree, 0), &cells[0]);
  EXPECT_EQ(iavl_rank_of(&tree, &cells[2], 1), 2);
  iavl_destroy(&tree, nullptr);
}

}  // namespace
}  // namespace gq

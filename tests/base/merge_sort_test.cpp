#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "base/MergeSort.h"

namespace gq {
namespace {

struct Item {
  int key;
  int id;
};

int ByKey(void* left, void* right, void*) {
  return static_cast<Item*>(left)->key - static_cast<Item*>(right)->key;
}

std::vector<int> SortedIds(std::vector<Item>& items) {
  std::vector<void*> pointers;
  for (Item& item : items) pointers.push_back(&item);
  EXPECT_EQ(MergeSort(pointers.data(), pointers.size(), ByKey, nullptr), 0);
  std::vector<int> ids;
  for (void* p : pointers) ids.push_back(static_cast<Item*>(p)->id);
  return ids;
}

TEST(MergeSort, OnATieTheRightRunComesFirst) {
  // Runs of one: [a][b] -> b a; then [b a][d c] -> ties: right first -> d c b a.
  std::vector<Item> items = {{1, 0}, {1, 1}, {1, 2}, {1, 3}};
  EXPECT_EQ(SortedIds(items), (std::vector<int>{3, 2, 1, 0}));
  // Five equal items: [1 0][3 2][4] -> [3 2 1 0][4] -> 4 3 2 1 0.
  std::vector<Item> five = {{7, 0}, {7, 1}, {7, 2}, {7, 3}, {7, 4}};
  EXPECT_EQ(SortedIds(five), (std::vector<int>{4, 3, 2, 1, 0}));
}

TEST(MergeSort, SortsRandomArraysOfEverySmallSize) {
  std::mt19937 random(12345);
  for (size_t n = 1; n < 70; ++n) {
    std::vector<Item> items(n);
    for (size_t i = 0; i < n; ++i) items[i] = {static_cast<int>(random() % 10), int(i)};
    std::vector<int> ids = SortedIds(items);
    for (size_t i = 1; i < ids.size(); ++i) {
      ASSERT_LE(items[ids[i - 1]].key, items[ids[i]].key) << "n=" << n;
    }
    std::sort(ids.begin(), ids.end());
    for (size_t i = 0; i < ids.size(); ++i) ASSERT_EQ(ids[i], int(i));
  }
}

TEST(MergeSort, ResultCodes) {
  void* one = nullptr;
  EXPECT_EQ(MergeSort(nullptr, 3, ByKey, nullptr), -2);
  EXPECT_EQ(MergeSort(&one, 1, nullptr, nullptr), -2);
  EXPECT_EQ(MergeSort(&one, 0, ByKey, nullptr), 0);
}

}  // namespace
}  // namespace gq

#include "iavl_checker.h"

#include <cmath>
#include <cstdint>
#include <sstream>
#include <vector>

namespace gq {
namespace {

struct Walk {
  const iavl* tree;
  std::vector<const iavl_node*> inOrder;
  std::ostringstream error;
};

uint64_t CountBits(const iavl_node* node) { return node->countBalance >> 3; }
unsigned BalanceBits(const iavl_node* node) { return node->countBalance & 7; }

// Returns the height of the subtree, or -1 after recording the first fault found in it.
int CheckSubtree(Walk* walk, const iavl_node* node, int level) {
  if (!node) return 0;
  if (level >= kIavlMaxDepth) {
    walk->error << "path longer than " << kIavlMaxDepth << " levels";
    return -1;
  }
  const int left = CheckSubtree(walk, node->left, level + 1);
  if (left < 0) return -1;
  walk->inOrder.push_back(node);
  const int right = CheckSubtree(walk, node->right, level + 1);
  if (right < 0) return -1;
  const size_t rank = walk->inOrder.size();
  const uint64_t expected =
      1 + (node->left ? CountBits(node->left) : 0) + (node->right ? CountBits(node->right) : 0);
  if (CountBits(node) != expected) {
    walk->error << "node of in-order position " << rank << " counts " << CountBits(node)
                << " instead of " << expected;
    return -1;
  }
  const int difference = right - left;
  if (difference < -1 || difference > 1 || BalanceBits(node) != unsigned(4 + difference)) {
    walk->error << "node counting " << expected << " has balance code " << BalanceBits(node)
                << " over subtree heights " << left << "/" << right;
    return -1;
  }
  if (walk->tree->nodeOffset >= 0) {
    const char* item = static_cast<const char*>(node->iavl_data);
    if (!item || reinterpret_cast<const char*>(node) != item + walk->tree->nodeOffset) {
      walk->error << "embedded node counting " << expected << " is not inside its item";
      return -1;
    }
  }
  return 1 + (left > right ? left : right);
}

bool InOrder(const iavl* tree, const void* before, const void* after) {
  const int c = tree->compare(after, before, tree->context);
  if (c != 0) return c > 0;
  if (tree->duplicateMode == kIavlDuplicatesByAddress) {
    return reinterpret_cast<uintptr_t>(before) < reinterpret_cast<uintptr_t>(after);
  }
  return tree->duplicateMode == kIavlDuplicatesAfter;
}

}  // namespace

::testing::AssertionResult IavlInvariantsHold(const iavl* tree) {
  Walk walk{tree, {}, {}};
  const int height = CheckSubtree(&walk, tree->root, 0);
  if (height < 0) return ::testing::AssertionFailure() << walk.error.str();
  if (walk.inOrder.size() != tree->count) {
    return ::testing::AssertionFailure()
           << "tree count " << tree->count << " but " << walk.inOrder.size() << " nodes";
  }
  // An AVL tree of n nodes is at most 1.4405 log2(n + 2) - 0.3277 levels high.
  const double bound = 1.4405 * std::log2(double(tree->count) + 2) - 0.3277;
  if (height > bound) {
    return ::testing::AssertionFailure() << "height " << height << " exceeds the AVL bound "
                                         << bound << " for " << tree->count << " items";
  }
  for (size_t i = 1; i < walk.inOrder.size(); ++i) {
    if (!InOrder(tree, walk.inOrder[i - 1]->iavl_data, walk.inOrder[i]->iavl_data)) {
      return ::testing::AssertionFailure()
             << "items at ranks " << i - 1 << " and " << i << " are out of order";
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace gq

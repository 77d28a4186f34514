// The indexed AVL tree's one implementation file, kept whole on purpose: the insert and
// remove rebalancing, the rank arithmetic and the iterators' re-synchronisation share
// the node helpers and read best side by side.
#include "db/iavl.h"

#include <cstdlib>

namespace gq {
namespace {

constexpr unsigned kLeftHigh = 3;
constexpr unsigned kEven = 4;
constexpr unsigned kRightHigh = 5;
constexpr unsigned kLeftTooHigh = 2;
constexpr unsigned kRightTooHigh = 6;
constexpr uintptr_t kBalanceBits = 7;
constexpr uintptr_t kNewLeafWord = (uintptr_t{1} << 3) | kEven;

inline uint32_t CountOf(const iavl_node* node) {
  return node ? static_cast<uint32_t>(node->countBalance >> 3) : 0;
}
inline unsigned BalanceOf(const iavl_node* node) {
  return static_cast<unsigned>(node->countBalance & kBalanceBits);
}
inline void SetBalance(iavl_node* node, unsigned balance) {
  node->countBalance = (node->countBalance & ~kBalanceBits) | balance;
}
inline void SetCount(iavl_node* node, uint32_t count) {
  node->countBalance = (uintptr_t{count} << 3) | (node->countBalance & kBalanceBits);
}
inline void RecountFromChildren(iavl_node* node) {
  SetCount(node, CountOf(node->left) + CountOf(node->right) + 1);
}
inline void DecrementCount(iavl_node* node) { node->countBalance -= uintptr_t{1} << 3; }

inline bool Embedded(const iavl* tree) { return tree->nodeOffset >= 0; }
inline iavl_node* NodeOfItem(const iavl* tree, void* item) {
  return reinterpret_cast<iavl_node*>(static_cast<char*>(item) + tree->nodeOffset);
}
// An embedded node that is not in a tree keeps only its balance bits.
inline void ClearEmbeddedNode(iavl_node* node) {
  node->left = nullptr;
  node->right = nullptr;
  node->iavl_data = nullptr;
  node->countBalance &= kBalanceBits;
}

int CompareAddresses(const void* key, const void* item, void*) {
  auto a = reinterpret_cast<uintptr_t>(key);
  auto b = reinterpret_cast<uintptr_t>(item);
  return a < b ? -1 : (a > b ? 1 : 0);
}
void* HeapAllocate(size_t size) { return std::malloc(size); }
void HeapRelease(void* memory) { std::free(memory); }

// Order among equal items where the address decides (duplicate mode 1, exact searches).
inline int AddressOrder(const void* key, const void* item) {
  return CompareAddresses(key, item, nullptr);
}

// A recorded walk from the root: node[i] is at level i, dir[i] the side taken below it
// (-1 left, +1 right).
struct Path {
  iavl_node* node[kIavlMaxDepth];
  int8_t dir[kIavlMaxDepth];
  int depth = 0;

  void Push(iavl_node* n, int direction) {
    node[depth] = n;
    dir[depth] = static_cast<int8_t>(direction);
    ++depth;
  }
};

// The link that points at the node on level i of the path.
inline iavl_node** LinkTo(iavl* tree, const Path& path, int i) {
  if (i == 0) return &tree->root;
  iavl_node* parent = path.node[i - 1];
  return path.dir[i - 1] < 0 ? &parent->left : &parent->right;
}

// Rotates at node x whose balance code is 2 or 6 and returns the new root of its subtree.
// Every moved node's count is recomputed; the new root takes over x's count.
iavl_node* Rotate(iavl_node* x) {
  const uint32_t total = CountOf(x);
  if (BalanceOf(x) == kLeftTooHigh) {
    iavl_node* y = x->left;
    if (BalanceOf(y) == kRightHigh) {
      iavl_node* z = y->right;
      const unsigned zBalance = BalanceOf(z);
      y->right = z->left;
      x->left = z->right;
      z->left = y;
      z->right = x;
      SetBalance(y, zBalance == kRightHigh ? kLeftHigh : kEven);
      SetBalance(x, zBalance == kLeftHigh ? kRightHigh : kEven);
      SetBalance(z, kEven);
      RecountFromChildren(y);
      RecountFromChildren(x);
      SetCount(z, total);
      return z;
    }
    x->left = y->right;
    y->right = x;
    const bool wasEven = BalanceOf(y) == kEven;  // only during removal
    SetBalance(y, wasEven ? kRightHigh : kEven);
    SetBalance(x, wasEven ? kLeftHigh : kEven);
    RecountFromChildren(x);
    SetCount(y, total);
    return y;
  }
  iavl_node* y = x->right;
  if (BalanceOf(y) == kLeftHigh) {
    iavl_node* z = y->left;
    const unsigned zBalance = BalanceOf(z);
    y->left = z->right;
    x->right = z->left;
    z->right = y;
    z->left = x;
    SetBalance(y, zBalance == kLeftHigh ? kRightHigh : kEven);
    SetBalance(x, zBalance == kRightHigh ? kLeftHigh : kEven);
    SetBalance(z, kEven);
    RecountFromChildren(y);
    RecountFromChildren(x);
    SetCount(z, total);
    return z;
  }
  x->right = y->left;
  y->left = x;
  const bool wasEven = BalanceOf(y) == kEven;
  SetBalance(y, wasEven ? kLeftHigh : kEven);
  SetBalance(x, wasEven ? kRightHigh : kEven);
  RecountFromChildren(x);
  SetCount(y, total);
  return y;
}

// Finds the first (lowest-ranked) item equal to key.
iavl_node* FirstEqual(const iavl* tree, const void* key, int32_t* rankOut) {
  iavl_node* best = nullptr;
  uint32_t rank = 0;
  uint32_t bestRank = 0;
  for (iavl_node* n = tree->root; n;) {
    const int c = tree->compare(key, n->iavl_data, tree->context);
    if (c <= 0) {
      if (c == 0) {
        best = n;
        bestRank = rank + CountOf(n->left);
      }
      n = n->left;
    } else {
      rank += CountOf(n->left) + 1;
      n = n->right;
    }
  }
  *rankOut = best ? static_cast<int32_t>(bestRank) : -1;
  return best;
}

// Descends to the node at rank (which must be below the count), recording the path.
iavl_node* DescendToRank(const iavl* tree, uint32_t rank, Path* path) {
  iavl_node* n = tree->root;
  for (;;) {
    const uint32_t left = CountOf(n->left);
    if (rank == left) return n;
    if (rank < left) {
      path->Push(n, -1);
      n = n->left;
    } else {
      path->Push(n, +1);
      rank -= left + 1;
      n = n->right;
    }
  }
}

// Raw iterator moves; the caller has re-synchronised.
void IterClear(iavl_iterator* it) {
  it->current = nullptr;
  it->depth = 0;
  it->rank = -1;
}

void IterToRank(iavl_iterator* it, int64_t rank) {
  if (rank < 0 || rank >= it->tree->count) {
    IterClear(it);
    return;
  }
  uint32_t r = static_cast<uint32_t>(rank);
  iavl_node* n = it->tree->root;
  int depth = 0;
  for (;;) {
    const uint32_t left = CountOf(n->left);
    if (r == left) break;
    it->ancestors[depth++] = n;
    if (r < left) {
      n = n->left;
    } else {
      r -= left + 1;
      n = n->right;
    }
  }
  it->current = n;
  it->depth = depth;
  it->rank = static_cast<int32_t>(rank);
}

// Descends from n along one side to its end, pushing the nodes passed.
void IterDescend(iavl_iterator* it, iavl_node* n, bool leftmost) {
  for (iavl_node* child = leftmost ? n->left : n->right; child;
       child = leftmost ? n->left : n->right) {
    it->ancestors[it->depth++] = n;
    n = child;
  }
  it->current = n;
}

void IterNext(iavl_iterator* it) {
  iavl_node* n = it->current;
  if (!n) {
    if (!it->tree->root) return;
    it->depth = 0;
    IterDescend(it, it->tree->root, true);
    it->rank = 0;
    return;
  }
  if (n->right) {
    it->ancestors[it->depth++] = n;
    IterDescend(it, n->right, true);
    ++it->rank;
    return;
  }
  while (it->depth > 0) {
    iavl_node* parent = it->ancestors[--it->depth];
    if (parent->left == n) {
      it->current = parent;
      ++it->rank;
      return;
    }
    n = parent;
  }
  IterClear(it);
}

void IterPrev(iavl_iterator* it) {
  iavl_node* n = it->current;
  if (!n) {
    if (!it->tree->root) return;
    it->depth = 0;
    IterDescend(it, it->tree->root, false);
    it->rank = static_cast<int32_t>(it->tree->count) - 1;
    return;
  }
  if (n->left) {
    it->ancestors[it->depth++] = n;
    IterDescend(it, n->left, false);
    --it->rank;
    return;
  }
  while (it->depth > 0) {
    iavl_node* parent = it->ancestors[--it->depth];
    if (parent->right == n) {
      it->current = parent;
      --it->rank;
      return;
    }
    n = parent;
  }
  IterClear(it);
}

// Each change moves any node's rank by at most one, so after d changes the iterator's node is
// searched among the ranks old - d ... old + d.
void IterResync(iavl_iterator* it) {
  const uint32_t changes = it->tree->modifications - it->snapshot;
  if (changes == 0) return;
  it->snapshot = it->tree->modifications;
  iavl_node* old = it->current;
  if (!old) return;
  const int64_t oldRank = it->rank;
  const int64_t d = changes;
  IterToRank(it, oldRank);
  if (it->current == old) return;
  int64_t start = 0;
  int64_t steps = oldRank + d + 1;
  if (d < oldRank) {
    start = oldRank - d;
    steps = 2 * d + 1;
  }
  IterToRank(it, start);
  for (int64_t i = 0; i < steps && it->current && it->current != old; ++i) IterNext(it);
  if (it->current == old) return;
  if (d == 1 && it->tree->count > 0) {
    IterToRank(it, oldRank);
  } else {
    IterClear(it);
  }
}

// The iterator's position as a removal path (ancestors plus the current node last).
void PathOfIterator(const iavl_iterator* it, Path* path) {
  for (int i = 0; i < it->depth; ++i) {
    iavl_node* parent = it->ancestors[i];
    iavl_node* child = i + 1 < it->depth ? it->ancestors[i + 1] : it->current;
    path->Push(parent, parent->left == child ? -1 : +1);
  }
  path->Push(it->current, 0);
}

// Links item into the tree. reuse, when given, is a separate node to use instead of
// allocating one. Returns as iavl_insert; mode 3 here only replaces in a unique tree.
void* InsertItem(iavl* tree, void* item, int mode, iavl_node* reuse, int32_t* rankOut,
                 iavl_node** nodeOut) {
  Path path;
  int critical = 0;
  uint32_t rank = 0;
  iavl_node* n = tree->root;
  while (n) {
    int c = tree->compare(item, n->iavl_data, tree->context);
    if (c == 0) {
      if (mode == kIavlDuplicatesByAddress) {
        c = AddressOrder(item, n->iavl_data);
      } else if (mode == kIavlDuplicatesAfter) {
        c = 1;
      }
      if (c == 0) break;
    }
    if (BalanceOf(n) != kEven) critical = path.depth;
    if (c < 0) {
      path.Push(n, -1);
      n = n->left;
    } else {
      path.Push(n, +1);
      rank += CountOf(n->left) + 1;
      n = n->right;
    }
  }

  if (n) {  // an equal item holds the place
    *rankOut = static_cast<int32_t>(rank + CountOf(n->left));
    *nodeOut = n;
    void* old = n->iavl_data;
    if (mode != kIavlInsertReplace) return item;
    if (old == item) return nullptr;
    if (!Embedded(tree)) {
      n->iavl_data = item;
      return old;
    }
    iavl_node* moved = NodeOfItem(tree, item);
    if (moved->iavl_data) {
      tree->errors |= kIavlErrorNodeInUse;
      *rankOut = -1;
      *nodeOut = nullptr;
      return item;
    }
    *moved = *n;
    moved->iavl_data = item;
    *LinkTo(tree, path, path.depth) = moved;
    ClearEmbeddedNode(n);
    *nodeOut = moved;
    ++tree->modifications;
    return old;
  }

  *rankOut = -1;
  *nodeOut = nullptr;
  iavl_node* leaf = reuse;
  if (tree->count >= kIavlMaxCount) {
    tree->errors |= kIavlErrorFull;
    return item;
  }
  if (Embedded(tree)) {
    leaf = NodeOfItem(tree, item);
    if (leaf->iavl_data) {
      tree->errors |= kIavlErrorNodeInUse;
      return item;
    }
  } else if (!leaf) {
    leaf = static_cast<iavl_node*>(tree->allocator.allocate(sizeof(iavl_node)));
    if (!leaf) {
      tree->errors |= kIavlErrorAllocation;
      return item;
    }
  }
  leaf->left = nullptr;
  leaf->right = nullptr;
  leaf->iavl_data = item;
  leaf->countBalance = kNewLeafWord;
  *LinkTo(tree, path, path.depth) = leaf;

  for (int i = 0; i < path.depth; ++i) {
    iavl_node* p = path.node[i];
    p->countBalance += uintptr_t{1} << 3;
    if (i >= critical) SetBalance(p, BalanceOf(p) + path.dir[i]);
  }
  if (path.depth > 0) {
    const unsigned b = BalanceOf(path.node[critical]);
    if (b == kLeftTooHigh || b == kRightTooHigh) {
      *LinkTo(tree, path, critical) = Rotate(path.node[critical]);
    }
  }
  ++tree->count;
  ++tree->modifications;
  *rankOut = static_cast<int32_t>(rank);
  *nodeOut = leaf;
  return nullptr;
}

// Takes the last node of path out of the tree and rebalances; the node itself is neither
// released nor cleared.
iavl_node* UnlinkNode(iavl* tree, Path* path) {
  const int t = path->depth - 1;
  iavl_node* target = path->node[t];
  for (int i = 0; i < t; ++i) DecrementCount(path->node[i]);

  if (iavl_node* right = target->right) {
    iavl_node* successor = right;
    path->depth = t + 1;
    if (right->left) {
      iavl_node* parent = right;
      for (;;) {
        DecrementCount(parent);
        path->Push(parent, -1);
        if (!parent->left->left) break;
        parent = parent->left;
      }
      successor = parent->left;
      parent->left = successor->right;
      successor->right = target->right;
    }
    successor->left = target->left;
    successor->countBalance = target->countBalance;
    RecountFromChildren(successor);
    *LinkTo(tree, *path, t) = successor;
    path->node[t] = successor;
    path->dir[t] = +1;
  } else {
    *LinkTo(tree, *path, t) = target->left;
    path->depth = t;
  }

  for (int i = path->depth - 1; i >= 0; --i) {
    iavl_node* n = path->node[i];
    const unsigned before = BalanceOf(n);
    const unsigned after = before - path->dir[i];  // the side taken lost one level
    SetBalance(n, after);
    if (before == kEven) break;  // leans now; its height is unchanged
    if (after == kEven) continue;
    iavl_node* top = Rotate(n);
    *LinkTo(tree, *path, i) = top;
    if (BalanceOf(top) != kEven) break;
  }
  --tree->count;
  ++tree->modifications;
  return target;
}

void* ReleaseUnlinked(iavl* tree, iavl_node* node) {
  void* item = node->iavl_data;
  if (Embedded(tree)) {
    ClearEmbeddedNode(node);
  } else {
    tree->allocator.release(node);
  }
  return item;
}

// Walks towards an item equal to key, recording the path (the found node last).
iavl_node* DescendToKey(const iavl* tree, const void* key, int exact, Path* path,
                        uint32_t* rankOut) {
  uint32_t rank = 0;
  for (iavl_node* n = tree->root; n;) {
    // Both children are fetched while the item is compared: the next level and the left count
    // that a step to the right adds to the rank.
    __builtin_prefetch(n->left);
    __builtin_prefetch(n->right);
    int c = tree->compare(key, n->iavl_data, tree->context);
    if (c == 0) {
      if (!exact || key == n->iavl_data) {
        if (path) path->Push(n, 0);
        *rankOut = rank + CountOf(n->left);
        return n;
      }
      c = AddressOrder(key, n->iavl_data);
    }
    if (c < 0) {
      if (path) path->Push(n, -1);
      n = n->left;
    } else {
      if (path) path->Push(n, +1);
      rank += CountOf(n->left) + 1;
      n = n->right;
    }
  }
  return nullptr;
}

// Exact search in a tree whose equal items are not ordered by address: walks the run of
// equal items from its start.
int32_t ScanEqualRun(const iavl* tree, const void* key) {
  iavl_iterator it;
  it.tree = const_cast<iavl*>(tree);  // only read
  it.snapshot = tree->modifications;
  int32_t rank = -1;
  if (!FirstEqual(tree, key, &rank)) return -1;
  IterToRank(&it, rank);
  while (it.current && tree->compare(key, it.current->iavl_data, tree->context) == 0) {
    if (it.current->iavl_data == key) return it.rank;
    IterNext(&it);
  }
  return -1;
}

// The position (rank) of the item equal to key, -1 if absent.
int32_t LocateRank(const iavl* tree, const void* key, int exact, iavl_node** nodeOut) {
  if (exact && tree->duplicateMode == kIavlDuplicatesAfter) {
    const int32_t rank = ScanEqualRun(tree, key);
    if (nodeOut && rank >= 0) {
      Path path;
      *nodeOut = DescendToRank(tree, static_cast<uint32_t>(rank), &path);
    }
    return rank;
  }
  uint32_t rank = 0;
  iavl_node* n = DescendToKey(tree, key, exact, nullptr, &rank);
  if (nodeOut) *nodeOut = n;
  return n ? static_cast<int32_t>(rank) : -1;
}

// Whether item may take the place of the iterator's current item: it must sort after the
// previous item and before the next one, with the tree's tie rule for equal items.
bool FitsBetweenNeighbours(const iavl_iterator* it, const void* item) {
  const iavl* tree = it->tree;
  auto inOrder = [tree](const void* before, const void* after) {
    const int c = tree->compare(after, before, tree->context);
    if (c != 0) return c > 0;
    if (tree->duplicateMode == kIavlDuplicatesByAddress) return AddressOrder(after, before) > 0;
    return tree->duplicateMode == kIavlDuplicatesAfter;
  };
  iavl_iterator neighbour = *it;
  IterPrev(&neighbour);
  if (neighbour.current && !inOrder(neighbour.current->iavl_data, item)) return false;
  neighbour = *it;
  IterNext(&neighbour);
  return !neighbour.current || inOrder(item, neighbour.current->iavl_data);
}

// Replacement at a synchronised iterator with a current item.
void* ReplaceCurrent(iavl_iterator* it, void* item) {
  iavl* tree = it->tree;
  iavl_node* node = it->current;
  void* old = node->iavl_data;
  if (item == old) return nullptr;
  iavl_node* itemNode = Embedded(tree) ? NodeOfItem(tree, item) : nullptr;
  if (itemNode && itemNode->iavl_data) {
    tree->errors |= kIavlErrorNodeInUse;
    return item;
  }

  if (FitsBetweenNeighbours(it, item)) {
    if (!itemNode) {
      node->iavl_data = item;
      return old;
    }
    *itemNode = *node;
    itemNode->iavl_data = item;
    if (it->depth == 0) {
      tree->root = itemNode;
    } else {
      iavl_node* parent = it->ancestors[it->depth - 1];
      (parent->left == node ? parent->left : parent->right) = itemNode;
    }
    ClearEmbeddedNode(node);
    it->current = itemNode;
    it->snapshot = ++tree->modifications;
    return old;
  }

  Path path;
  PathOfIterator(it, &path);
  UnlinkNode(tree, &path);
  if (itemNode) ClearEmbeddedNode(node);
  int32_t rank = -1;
  iavl_node* placed = nullptr;
  void* refused =
      InsertItem(tree, item, tree->duplicateMode, itemNode ? nullptr : node, &rank, &placed);
  if (refused) {
    InsertItem(tree, old, tree->duplicateMode, itemNode ? nullptr : node, &rank, &placed);
  }
  it->snapshot = tree->modifications;
  IterToRank(it, rank);
  return refused ? item : old;
}

void* CurrentItem(const iavl_iterator* it) {
  return it->current ? it->current->iavl_data : nullptr;
}

}  // namespace

iavl* iavl_create(iavl* header, iavl_compare compare, void* context, int duplicateMode,
                  const iavl_allocator* allocator, int32_t nodeOffset) {
  if (duplicateMode < kIavlUnique || duplicateMode > kIavlDuplicatesAfter ||
      nodeOffset < kIavlSeparateNodes) {
    return nullptr;
  }
  iavl_allocator use{HeapAllocate, HeapRelease};
  if (allocator) use = *allocator;
  uint8_t owns = 0;
  if (!header) {
    header = static_cast<iavl*>(use.allocate(sizeof(iavl)));
    if (!header) return nullptr;
    owns = 1;
  }
  header->root = nullptr;
  header->compare = compare ? compare : CompareAddresses;
  header->context = context;
  header->allocator = use;
  header->count = 0;
  header->modifications = 0;
  header->nodeOffset = nodeOffset;
  header->ownsHeader = owns;
  header->errors = 0;
  header->duplicateMode = static_cast<uint8_t>(duplicateMode);
  return header;
}

void iavl_destroy(iavl* tree, iavl_item_callback callback) {
  const bool embedded = Embedded(tree);
  if (!embedded || callback) {
    iavl_node* n = tree->root;
    while (n) {
      if (iavl_node* left = n->left) {  // rotate right until the smallest node is on top
        n->left = left->right;
        left->right = n;
        n = left;
        continue;
      }
      iavl_node* next = n->right;
      void* item = n->iavl_data;
      if (embedded) {
        ClearEmbeddedNode(n);  // before the callback, which may free the item
      } else {
        tree->allocator.release(n);
      }
      if (item && callback) callback(item, tree->context);
      n = next;
    }
  }
  if (tree->ownsHeader) {
    tree->allocator.release(tree);
    return;
  }
  tree->root = nullptr;
  tree->count = 0;
  tree->modifications += 2;
}

void* iavl_find(const iavl* tree, const void* key, int exact, int32_t* rank, iavl_node** node) {
  iavl_node* found = nullptr;
  const int32_t r = LocateRank(tree, key, exact, &found);
  if (rank) *rank = r;
  if (node) *node = found;
  return found ? found->iavl_data : nullptr;
}

int32_t iavl_rank_of(const iavl* tree, const void* key, int exact) {
  return LocateRank(tree, key, exact, nullptr);
}

void* iavl_select(const iavl* tree, int32_t rank) {
  uint32_t r = static_cast<uint32_t>(rank);
  if (r >= tree->count) return nullptr;
  iavl_node* n = tree->root;
  for (;;) {
    // The walk needs the left child's count before it knows its way; fetching the right child
    // meanwhile halves the cache misses of a walk through a large tree.
    __builtin_prefetch(n->right);
    const uint32_t left = CountOf(n->left);
    if (r == left) return n->iavl_data;
    if (r < left) {
      n = n->left;
    } else {
      r -= left + 1;
      n = n->right;
    }
  }
}

void* iavl_insert(iavl* tree, void* item, int mode, int32_t* rank, iavl_node** node) {
  int32_t rankDummy;
  iavl_node* nodeDummy;
  if (!rank) rank = &rankDummy;
  if (!node) node = &nodeDummy;
  *rank = -1;
  *node = nullptr;
  if (!item || mode < kIavlUnique || mode > kIavlInsertReplace) return item;
  if (mode == kIavlInsertReplace && tree->duplicateMode != kIavlUnique) {
    iavl_iterator it;
    iavl_iter_init(&it, tree);
    int32_t first = -1;
    if (!FirstEqual(tree, item, &first)) {
      return InsertItem(tree, item, tree->duplicateMode, nullptr, rank, node);
    }
    IterToRank(&it, first);
    void* result = ReplaceCurrent(&it, item);
    if (result != item) {
      *rank = it.rank;
      *node = it.current;
    }
    return result;
  }
  return InsertItem(tree, item, mode, nullptr, rank, node);
}

void* iavl_remove(iavl* tree, const void* key, int exact) {
  if (exact && tree->duplicateMode == kIavlDuplicatesAfter) {
    return iavl_remove_at(tree, ScanEqualRun(tree, key));
  }
  Path path;
  uint32_t rank = 0;
  if (!DescendToKey(tree, key, exact, &path, &rank)) return nullptr;
  return ReleaseUnlinked(tree, UnlinkNode(tree, &path));
}

void* iavl_remove_at(iavl* tree, int32_t rank) {
  if (static_cast<uint32_t>(rank) >= tree->count) return nullptr;
  Path path;
  path.Push(DescendToRank(tree, static_cast<uint32_t>(rank), &path), 0);
  return ReleaseUnlinked(tree, UnlinkNode(tree, &path));
}

void iavl_iter_init(iavl_iterator* it, iavl* tree) {
  it->tree = tree;
  it->snapshot = tree->modifications;
  IterClear(it);
}

void* iavl_iter_first(iavl_iterator* it) {
  IterResync(it);
  IterClear(it);
  IterNext(it);
  return CurrentItem(it);
}

void* iavl_iter_last(iavl_iterator* it) {
  IterResync(it);
  IterClear(it);
  IterPrev(it);
  return CurrentItem(it);
}

void* iavl_iter_next(iavl_iterator* it) {
  IterResync(it);
  IterNext(it);
  return CurrentItem(it);
}

void* iavl_iter_prev(iavl_iterator* it) {
  IterResync(it);
  IterPrev(it);
  return CurrentItem(it);
}

void* iavl_iter_seek(iavl_iterator* it, const void* key, int exact) {
  IterResync(it);
  IterToRank(it, LocateRank(it->tree, key, exact, nullptr));
  return CurrentItem(it);
}

void* iavl_iter_seek_rank(iavl_iterator* it, int32_t rank) {
  IterResync(it);
  IterToRank(it, rank);
  return CurrentItem(it);
}

void* iavl_iter_current(iavl_iterator* it) {
  IterResync(it);
  return CurrentItem(it);
}

int32_t iavl_iter_rank(iavl_iterator* it) {
  IterResync(it);
  return it->rank;
}

void* iavl_iter_insert(iavl_iterator* it, void* item, int mode) {
  IterResync(it);
  int32_t rank = -1;
  void* result = iavl_insert(it->tree, item, mode, &rank);
  it->snapshot = it->tree->modifications;
  IterToRank(it, rank);
  return result;
}

void* iavl_iter_remove(iavl_iterator* it) {
  IterResync(it);
  if (!it->current) return nullptr;
  const int32_t rank = it->rank;
  Path path;
  PathOfIterator(it, &path);
  void* item = ReleaseUnlinked(it->tree, UnlinkNode(it->tree, &path));
  it->snapshot = it->tree->modifications;
  IterToRank(it, rank);
  return item;
}

void* iavl_iter_replace(iavl_iterator* it, void* item) {
  IterResync(it);
  if (!it->current || !item) return nullptr;
  return ReplaceCurrent(it, item);
}

}  // namespace gq

// iavl: the indexed AVL tree under the picture database. An ordered container of untyped
// item pointers, ordered by a compare function of its user, whose nodes also count their
// subtrees, so an item can be found by key and told its rank (0-based position), or fetched by
// rank, in O(log n). Nodes are either separate blocks from the tree's allocator or embedded in
// the items at a fixed offset (then the library never allocates a node).
// Owned by whoever creates the tree. No locking inside: a tree and its iterators are used by one
// thread at a time; iterators survive changes made behind their back by re-synchronising.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gq {

// Path stores (insertion, removal, iterator) hold this many levels: enough for every AVL tree
// of kIavlMaxCount items (its height is at most 42).
inline constexpr int kIavlMaxDepth = 48;
// The subtree count lives in bits 3-31 of the node's count-and-balance word.
inline constexpr uint32_t kIavlMaxCount = 536870911;

// Duplicate modes of a tree (iavl::duplicateMode).
inline constexpr uint8_t kIavlUnique = 0;               // equal keys are not allowed
inline constexpr uint8_t kIavlDuplicatesByAddress = 1;  // equal items ordered by address
inline constexpr uint8_t kIavlDuplicatesAfter = 2;      // a new equal item goes after the others

// Insertion modes: 0-2 as the duplicate modes, 3 = insert or replace an equal item.
inline constexpr int kIavlInsertReplace = 3;

// Node placement (iavl::nodeOffset) of a tree whose nodes come from the allocator.
inline constexpr int32_t kIavlSeparateNodes = -1;

// Error flags (iavl::errors); set by a refused insertion, never cleared by the library.
inline constexpr uint8_t kIavlErrorAllocation = 1;  // the allocator returned none
inline constexpr uint8_t kIavlErrorNodeInUse = 2;   // the item's embedded node is linked already
inline constexpr uint8_t kIavlErrorFull = 4;        // the tree holds kIavlMaxCount items

// One node: four pointer-sized words. Embedded in an item, iavl_data doubles as membership mark:
// it is none whenever the item is not in the tree.
struct iavl_node {
  iavl_node* left;
  iavl_node* right;
  void* iavl_data;
  // Bits 3 and up: nodes in the subtree rooted here (this one included). Bits 0-2: balance code,
  // 4 = both subtrees equally high, 3 = left one level higher, 5 = right one level higher.
  uintptr_t countBalance;
};

// Negative if key sorts before item, 0 if equal, positive if after. For insertions and exact
// searches the key is itself an item of the tree.
using iavl_compare = int (*)(const void* key, const void* item, void* context);
using iavl_item_callback = void (*)(void* item, void* context);

struct iavl_allocator {
  void* (*allocate)(size_t size);  // returns none on failure
  void (*release)(void* memory);
};

// The tree header; may be a member of a larger object or allocated by iavl_create.
struct iavl {
  iavl_node* root;
  iavl_compare compare;
  void* context;  // third argument of every compare and item callback call
  iavl_allocator allocator;
  uint32_t count;
  // +1 on every insertion and removal (and replacement of an item in an embedded-node tree),
  // +2 when the tree is cleared; iterators compare it with their snapshot.
  uint32_t modifications;
  int32_t nodeOffset;  // kIavlSeparateNodes, or the byte offset of the node inside each item
  uint8_t ownsHeader;
  uint8_t errors;
  uint8_t duplicateMode;
};

// Initialises header (or allocates one when header is none) as an empty tree. compare none =
// compare the pointers as addresses; allocator none = the process heap. Returns none when the
// header cannot be allocated, the duplicate mode is not 0-2 or the node offset below -1.
iavl* iavl_create(iavl* header, iavl_compare compare, void* context, int duplicateMode,
                  const iavl_allocator* allocator, int32_t nodeOffset);

// Empties the tree without stack or recursion: calls callback (item, context) for every item
// and releases separate nodes (embedded nodes are cleared before the callback sees the item). A
// header allocated by iavl_create is released; any other header stays usable, empty, with the
// modification counter advanced by 2. In an embedded-node tree without a callback the items are not
// touched, so their membership marks stay as they were: clear them before linking those items into
// a tree again.
void iavl_destroy(iavl* tree, iavl_item_callback callback);

// Finds an item equal to key; with exact != 0 only the very item key matches (equal items are
// passed by address, or in a duplicate mode 2 tree walked from the first equal one). rank and
// node (each may be none) receive the rank and node of the found item, or -1 and none. Among
// several equal items a non-exact search may return any.
void* iavl_find(const iavl* tree, const void* key, int exact, int32_t* rank = nullptr,
                iavl_node** node = nullptr);
int32_t iavl_rank_of(const iavl* tree, const void* key, int exact);
// The item at rank, or none when rank is outside 0 ... count-1.
void* iavl_select(const iavl* tree, int32_t rank);

// Inserts item with mode 0-3. Returns none when the item went in (or already holds the place it
// was to replace); otherwise the item that was not inserted, or with mode 3 the item that was
// displaced. rank and node (each may be none) receive the rank and node of the item now in the
// tree at that place: the existing equal item when mode 0 or 1 refused, -1 and none when the
// insertion failed otherwise (a null item, an error flag set, or mode 3 refused). An item is
// refused without change when the allocator fails (kIavlErrorAllocation), when its embedded node is
// marked as linked (kIavlErrorNodeInUse) or when the tree is full (kIavlErrorFull).
void* iavl_insert(iavl* tree, void* item, int mode, int32_t* rank = nullptr,
                  iavl_node** node = nullptr);

// Removes an item equal to key (exact as in iavl_find) and returns it, or none when absent.
void* iavl_remove(iavl* tree, const void* key, int exact);
// Removes the item at rank and returns it; none when rank is outside 0 ... count-1.
void* iavl_remove_at(iavl* tree, int32_t rank);

// A position in a tree, kept by the caller; it does not lock the tree. Every operation first
// re-synchronises when the tree changed since the iterator last looked: it stays on its item
// when that is found within the ranks the changes can have moved it to; otherwise, after a
// single change it takes the item now at its old rank, after more it has no current item.
struct iavl_iterator {
  iavl* tree;
  iavl_node* current;                   // none = no current item (before the first / past the last)
  iavl_node* ancestors[kIavlMaxDepth];  // the path from the root down to current's parent
  int32_t depth;
  uint32_t snapshot;  // the tree's modification counter when the iterator last looked
  int32_t rank;       // rank of current, -1 without one
};

void iavl_iter_init(iavl_iterator* it, iavl* tree);
void* iavl_iter_first(iavl_iterator* it);
void* iavl_iter_last(iavl_iterator* it);
// Without a current item next starts at the first item and prev at the last one; stepping off
// either end leaves no current item.
void* iavl_iter_next(iavl_iterator* it);
void* iavl_iter_prev(iavl_iterator* it);
// Positions at the found item; a miss leaves no current item.
void* iavl_iter_seek(iavl_iterator* it, const void* key, int exact);
void* iavl_iter_seek_rank(iavl_iterator* it, int32_t rank);
void* iavl_iter_current(iavl_iterator* it);
int32_t iavl_iter_rank(iavl_iterator* it);
// iavl_insert, then positioned at the item now in the tree at that place (none after a failure).
void* iavl_iter_insert(iavl_iterator* it, void* item, int mode);
// Removes the current item and returns it (none without one). The iterator moves to the
// following item, which now has the removed item's rank, or ends with no current item.
void* iavl_iter_remove(iavl_iterator* it);
// Puts item in the place of the current one. When it still sorts between the neighbours it
// takes over the node's place in the tree; otherwise the current item is removed and item
// inserted with the tree's duplicate mode. Returns the item that is no longer in the tree: the
// old one, or item itself when it was refused (the old item is then back in its place); none
// when item is none or the current item, or there is no current item. The iterator ends on the item
// that holds the place.
void* iavl_iter_replace(iavl_iterator* it, void* item);

}  // namespace gq

// Structural check of an iavl tree for the tests: search order with the duplicate mode's tie
// rule, every subtree count, every balance code against the real heights, the AVL height bound,
// the item count and, for embedded nodes, that each node sits in its own item. Test thread only.
#pragma once

#include <gtest/gtest.h>

#include "db/iavl.h"

namespace gq {

::testing::AssertionResult IavlInvariantsHold(const iavl* tree);

}  // namespace gq

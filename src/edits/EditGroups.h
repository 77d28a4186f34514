// Turns confirmed edited-copy pairs into groups: the pictures joined by pairs, directly
// or through others, form one group. Each group lists its first member (the first in the
// caller's order, the lowest index) and then the others, each with the edit under which it
// matched the member it joined through. Pure function, safe on any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "edits/EditMatcher.h"

namespace gq {

struct EditMember {
  int32_t index = 0;
  // How this member shows the member it joined through: an orientation name
  // ("mirror", "rot90", ...), "crop" when it shows a part of it, "uncrop" when it shows
  // more than it, joined by "+" ("rot90+crop"); "identity" for a copy with no geometric
  // change. Empty for the group's first member.
  std::string edit;
};

// The groups of the pictures 0..count-1 joined by the matches, in the order of their
// first members; members in the order of their indices.
std::vector<std::vector<EditMember>> GroupEdits(int32_t count,
                                                const std::vector<EditMatch>& matches);

}  // namespace gq

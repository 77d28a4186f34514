#include "edits/EditGroups.h"

#include <algorithm>

#include "edits/Orientation.h"

namespace gq {
namespace {

// The edit that turns the other picture of the match into picture `reached`.
std::string EditName(const EditMatch& match, int32_t reached) {
  const bool forward = match.to == reached;
  const int orientation = forward ? match.orientation : InverseOrientation(match.orientation);
  std::string name = orientation == 0 && match.crop ? "" : OrientationName(orientation);
  if (match.crop) name += std::string(name.empty() ? "" : "+") + (forward ? "crop" : "uncrop");
  return name;
}

}  // namespace

std::vector<std::vector<EditMember>> GroupEdits(int32_t count,
                                                const std::vector<EditMatch>& matches) {
  std::vector<std::vector<size_t>> touching(static_cast<size_t>(count));
  for (size_t m = 0; m < matches.size(); ++m) {
    touching[static_cast<size_t>(matches[m].from)].push_back(m);
    touching[static_cast<size_t>(matches[m].to)].push_back(m);
  }
  std::vector<std::vector<EditMember>> groups;
  std::vector<std::string> edits(static_cast<size_t>(count));
  std::vector<bool> reached(static_cast<size_t>(count), false);
  for (int32_t first = 0; first < count; ++first) {
    if (touching[static_cast<size_t>(first)].empty() || reached[static_cast<size_t>(first)]) {
      continue;
    }
    // Walks the pairs outwards from the first member, so each member is named by the
    // member it was reached from.
    std::vector<int32_t> members{first};
    reached[static_cast<size_t>(first)] = true;
    for (size_t i = 0; i < members.size(); ++i) {
      for (size_t m : touching[static_cast<size_t>(members[i])]) {
        const int32_t other = matches[m].from == members[i] ? matches[m].to : matches[m].from;
        if (reached[static_cast<size_t>(other)]) continue;
        reached[static_cast<size_t>(other)] = true;
        edits[static_cast<size_t>(other)] = EditName(matches[m], other);
        members.push_back(other);
      }
    }
    std::sort(members.begin() + 1, members.end());
    std::vector<EditMember>& group = groups.emplace_back();
    for (int32_t member : members) group.push_back({member, edits[static_cast<size_t>(member)]});
  }
  return groups;
}

}  // namespace gq

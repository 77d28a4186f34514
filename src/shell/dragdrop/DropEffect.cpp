#include "shell/dragdrop/DropEffect.h"

namespace gq {

DropEffect PreferredDropEffect(bool shift, bool control) {
  if (!shift) return DropEffect::Copy;
  return control ? DropEffect::Link : DropEffect::Move;
}

bool LinksOffered(int fileCount, bool limitOn) { return !limitOn || fileCount < kLinkFileLimit; }

}  // namespace gq

#include "setup/SetupMutex.h"

#include "platform/MessageBox.h"
#include "setup/SetupSteps.h"

namespace gq {

bool TakeSetupMutex(NamedMutex* mutex) {
  if (mutex->Create("GlimmerQuorumSetupMutex") != NamedMutex::Result::AlreadyExisted) {
    return true;
  }
  MessageBox("GlimmerQuorum Setup is already in progress.", kSetupCaption, MB_ICONERROR);
  return false;
}

}  // namespace gq

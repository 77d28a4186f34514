// One setup at a time: the named mutex "GlimmerQuorumSetupMutex". Main thread, at start.
#pragma once

#include "platform/NamedMutex.h"

namespace gq {

// Takes the mutex for the life of *mutex. When another setup holds it, shows "GlimmerQuorum
// Setup is already in progress." and returns false; setup then ends with exit code -1.
bool TakeSetupMutex(NamedMutex* mutex);

}  // namespace gq

// The registration the setup launcher uses.
#pragma once

#include "services/core/service.h"

namespace sfx {

// Fills only the slots the setup launcher reaches (memory, threads, sync, file system, memory
// streams, strings, CRC-32, inflater) with the same objects the full
// registration puts there, so a program that calls nothing else links nothing
// else. The other slots stay as they are.
Result RegisterLauncherServices();

}  // namespace sfx

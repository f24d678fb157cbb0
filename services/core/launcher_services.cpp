// Kept apart from the full registration, which names every service: a program
// linked with unreferenced sections dropped keeps only the services below and
// what they call.
#include "services/core/launcher_services.h"

#include "services/core/registry_p.h"

namespace sfx {

Result RegisterLauncherServices() {
  detail::SetSlot(Slot::kMemory, detail::TheMemoryService());
  // The extraction worker and the progress queue's lock.
  detail::SetSlot(Slot::kThread, detail::TheThreadService());
  detail::SetSlot(Slot::kSync, detail::TheSyncService());
  detail::SetSlot(Slot::kFileSystem, detail::TheFileSystemService());
  detail::SetSlot(Slot::kMemoryStream, detail::TheMemoryStreamService());
  detail::SetSlot(Slot::kString, detail::TheStringService());
  detail::SetSlot(Slot::kCrc, detail::TheCrcService());
  detail::SetSlot(Slot::kInflater, detail::TheInflaterService());
  return kOk;
}

}  // namespace sfx

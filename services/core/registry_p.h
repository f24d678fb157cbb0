// Private to the registry: where each service's static object lives. Each
// service's own source file defines its accessor.
#pragma once

#include "services/core/service.h"

namespace sfx::detail {

ServiceObject* TheMemoryService();
ServiceObject* TheThreadService();
ServiceObject* TheSyncService();
ServiceObject* TheFileSystemService();
ServiceObject* TheMemoryStreamService();
ServiceObject* TheStringService();
ServiceObject* TheUrlService();
ServiceObject* TheCrcService();
ServiceObject* TheStreamTreeService();
ServiceObject* TheBlockStoreService();
ServiceObject* TheStringHeapService();
ServiceObject* TheKeyedIndexService();
ServiceObject* TheCrossReferenceService();
ServiceObject* TheInflaterService();
ServiceObject* TheDeflaterService();

}  // namespace sfx::detail

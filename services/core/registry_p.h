// Private to the registry: where each service's static object lives. Each
// service's own source file defines its accessor.
#pragma once

#include "services/core/service.h"

namespace sfx::detail {

ServiceObject* TheMemoryService();
ServiceObject* TheThreadService();
ServiceObject* TheSyncService();
ServiceObject* TheDateTimeService();
ServiceObject* TheFileSystemService();
ServiceObject* TheMemoryStreamService();
ServiceObject* TheStringService();
ServiceObject* TheUrlService();
ServiceObject* TheCrcService();
ServiceObject* TheNameTreeService();
ServiceObject* TheScheduleService();
ServiceObject* TheTextScrambleService();
ServiceObject* TheMimeTypeService();
ServiceObject* TheSortService();
ServiceObject* ThePatternService();
ServiceObject* TheStreamTreeService();
ServiceObject* TheBlockStoreService();
ServiceObject* TheStringHeapService();
ServiceObject* TheKeyedIndexService();
ServiceObject* TheCrossReferenceService();
ServiceObject* TheInflaterService();
ServiceObject* TheDeflaterService();
ServiceObject* TheZipArchiveService();
ServiceObject* TheMd5Service();
ServiceObject* TheBase64Service();
ServiceObject* TheHuffmanEncoderService();
ServiceObject* TheHuffmanDecoderService();

}  // namespace sfx::detail

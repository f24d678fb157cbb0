#include "services/core/service.h"

#include "services/core/registry_p.h"

namespace sfx {
namespace {

ServiceObject* g_slots[kSlotCount + 1];  // index 0 unused; slots are numbered from 1

}  // namespace

ServiceObject* ServiceAt(Slot slot) { return g_slots[static_cast<int>(slot)]; }

void detail::SetSlot(Slot slot, ServiceObject* service) { g_slots[static_cast<int>(slot)] = service; }

Result RegisterCoreServices() {
  // The order is the slot order; a slot whose service this build lacks stays null.
  detail::SetSlot(Slot::kMemory, detail::TheMemoryService());
  detail::SetSlot(Slot::kThread, detail::TheThreadService());
  detail::SetSlot(Slot::kSync, detail::TheSyncService());
  detail::SetSlot(Slot::kDateTime, detail::TheDateTimeService());
  detail::SetSlot(Slot::kFileSystem, detail::TheFileSystemService());
  detail::SetSlot(Slot::kMemoryStream, detail::TheMemoryStreamService());
  detail::SetSlot(Slot::kString, detail::TheStringService());
  detail::SetSlot(Slot::kUrl, detail::TheUrlService());
  detail::SetSlot(Slot::kBlockStore, detail::TheBlockStoreService());
  detail::SetSlot(Slot::kStreamTree, detail::TheStreamTreeService());
  detail::SetSlot(Slot::kBase64, detail::TheBase64Service());
  detail::SetSlot(Slot::kCrc, detail::TheCrcService());
  detail::SetSlot(Slot::kMd5, detail::TheMd5Service());
  detail::SetSlot(Slot::kTextScramble, detail::TheTextScrambleService());
  detail::SetSlot(Slot::kStringHeap, detail::TheStringHeapService());
  detail::SetSlot(Slot::kKeyedIndex, detail::TheKeyedIndexService());
  detail::SetSlot(Slot::kCrossReference, detail::TheCrossReferenceService());
  detail::SetSlot(Slot::kMimeType, detail::TheMimeTypeService());
  detail::SetSlot(Slot::kSort, detail::TheSortService());
  detail::SetSlot(Slot::kPattern, detail::ThePatternService());
  detail::SetSlot(Slot::kSchedule, detail::TheScheduleService());
  detail::SetSlot(Slot::kNameTree, detail::TheNameTreeService());
  return kOk;
}

Result RegisterCodecServices() {
  detail::SetSlot(Slot::kDeflater, detail::TheDeflaterService());
  detail::SetSlot(Slot::kInflater, detail::TheInflaterService());
  detail::SetSlot(Slot::kZipArchive, detail::TheZipArchiveService());
  detail::SetSlot(Slot::kHuffmanEncoder, detail::TheHuffmanEncoderService());
  detail::SetSlot(Slot::kHuffmanDecoder, detail::TheHuffmanDecoderService());
  return kOk;
}

Result ReleaseServices() { return kOk; }

ScopedServiceOverride::ScopedServiceOverride(Slot slot, ServiceObject* substitute)
    : slot_(slot), previous_(ServiceAt(slot)) {
  detail::SetSlot(slot, substitute);
}

ScopedServiceOverride::~ScopedServiceOverride() { detail::SetSlot(slot_, previous_); }

}  // namespace sfx

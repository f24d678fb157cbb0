// Opens a block store over arbitrary backing bytes and works every inner
// stream it can find: open, read all, overwrite, grow, shrink, close, delete;
// then creates new streams in it and closes the store. Nothing may crash,
// hang or read outside the data, whatever the table holds.
//
// Input: byte 0 chooses the block size (512 or 1024) for an empty backing stream; the rest
// is the backing stream.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "services/core/memory_stream.h"
#include "services/core/service.h"
#include "services/data/block_store.h"
#include "services/data/block_stream.h"

namespace {

using namespace sfx;

void Work(BlockStream* b, std::uint32_t seed) {
  std::uint32_t size = 0;
  (void)b->GetSize(&size);
  std::vector<unsigned char> all(size < 300000 ? size : 300000);
  std::uint32_t done = 0;
  if (!all.empty()) (void)b->ReadAt(0, all.data(), static_cast<std::uint32_t>(all.size()), &done);
  const unsigned char bytes[700] = {1, 2, 3};
  (void)b->SetParameter(seed % 5 == 0 ? 0xFFFFFFFFu : seed % 3000);
  (void)b->WriteAt(size / 2, bytes, seed % 700, nullptr);
  (void)b->SetSize(size / 3 + seed % 1000);
  (void)b->Reserve(seed % 5000);
  (void)b->Seek(static_cast<std::int32_t>(seed), seed % 4, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = ((void)sfx::RegisterCoreServices(), true);
  (void)registered;
  if (size < 1 || size > 600000) return 0;
  Stream* backing = nullptr;
  if (Failed(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &backing))) return 0;
  if (size > 1) (void)backing->Write(data + 1, static_cast<std::uint32_t>(size - 1), nullptr);
  BlockStore* store = nullptr;
  if (Failed(BlockStores()->OpenBlockStore(backing, 512u << (data[0] % 2), &store))) {
    (void)backing->Close();
    return 0;
  }
  if (data[0] & 0x80) (void)store->EnableLocking();
  // Candidate identifiers: every block, bounded.
  const std::uint32_t blocks = store->blockCount() < 64 ? store->blockCount() : 64;
  for (std::uint32_t id = 0; id < blocks; ++id) {
    BlockStream* b = nullptr;
    if (Failed(store->OpenBlockStream(id, &b))) continue;
    Work(b, id * 2654435761u);
    (void)b->Close();
    if (id % 3 == 0) (void)store->DeleteBlockStream(id);
  }
  std::uint32_t id = 0;
  BlockStream* created = nullptr;
  if (Succeeded(store->CreateBlockStream(&id, &created))) {
    Work(created, static_cast<std::uint32_t>(size));
    (void)created->Close();
  }
  if (Succeeded(store->CreateBlockStream(nullptr, &created))) {
    Work(created, data[0]);
    (void)created->Close();
  }
  (void)store->Close();  // every inner stream is closed: the store goes whatever the result
  return 0;
}

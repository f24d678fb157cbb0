#include "tools/sfxkit/pe_writer.h"

#include <algorithm>
#include <cstring>

#include "tools/sfxkit/pe_format.h"

namespace sfx::pe {
namespace {

// ---- resource section layout ----

// The tree's shape: types, their names, the languages of each name (leaves).
struct NameNode {
  const ResourceKey* key;
  std::vector<const Resource*> leaves;
};
struct TypeNode {
  const ResourceKey* key;
  std::vector<NameNode> names;
};

bool LeafLess(const Resource* a, const Resource* b) {
  if (!(a->type == b->type)) return a->type < b->type;
  if (!(a->name == b->name)) return a->name < b->name;
  return a->language < b->language;
}

std::uint64_t StringBytes(const ResourceKey& key) { return key.isString ? 2 + 2ull * key.text.size() : 0; }

void WriteDirectoryHeader(std::uint8_t* d, std::uint32_t named, std::uint32_t ids) {
  std::memset(d, 0, kRdHeaderSize);
  StoreU16(d + kRdNumberOfNamedEntries, static_cast<std::uint16_t>(named));
  StoreU16(d + kRdNumberOfIdEntries, static_cast<std::uint16_t>(ids));
}

// Where each part of the tree goes: root, type directories, name directories,
// data entries, strings, then the data itself.
struct TreeOffsets {
  std::vector<std::uint64_t> typeDir, nameDir;
  std::uint64_t dataEntries = 0;
  std::uint64_t strings = 0;
  std::uint64_t data = 0;
  std::uint64_t total = 0;
};

// Sorts the leaves into the tree's shape; fails on a leaf given twice.
Status ShapeTree(const std::vector<Resource>& resources, std::vector<const Resource*>* sorted,
                 std::vector<TypeNode>* types) {
  sorted->reserve(resources.size());
  for (const Resource& r : resources) sorted->push_back(&r);
  std::sort(sorted->begin(), sorted->end(), LeafLess);
  for (std::size_t i = 1; i < sorted->size(); ++i) {
    const Resource* r = (*sorted)[i];
    if (!LeafLess((*sorted)[i - 1], r))
      return Status::Error("resource " + r->type.Describe() + "/" + r->name.Describe() + " language " +
                           std::to_string(r->language) + " is given twice");
  }
  for (const Resource* r : *sorted) {
    if (types->empty() || !(*types->back().key == r->type)) types->push_back(TypeNode{&r->type, {}});
    auto& names = types->back().names;
    if (names.empty() || !(*names.back().key == r->name)) names.push_back(NameNode{&r->name, {}});
    names.back().leaves.push_back(r);
  }
  if (types->size() > 0xFFFF) return Status::Error("too many resource types");
  return Status();
}

Status PlanTree(const std::vector<const Resource*>& sorted, const std::vector<TypeNode>& types, std::uint32_t baseRva,
                TreeOffsets* at) {
  std::uint64_t offset = kRdHeaderSize + kRdEntrySize * types.size();
  for (const TypeNode& t : types) {
    if (t.names.size() > 0xFFFF) return Status::Error("too many resources of type " + t.key->Describe());
    at->typeDir.push_back(offset);
    offset += kRdHeaderSize + kRdEntrySize * t.names.size();
  }
  for (const TypeNode& t : types) {
    for (const NameNode& n : t.names) {
      if (n.leaves.size() > 0xFFFF) return Status::Error("too many languages of one resource");
      at->nameDir.push_back(offset);
      offset += kRdHeaderSize + kRdEntrySize * n.leaves.size();
    }
  }
  at->dataEntries = offset;
  offset += kRdDataEntrySize * sorted.size();
  at->strings = offset;
  for (const TypeNode& t : types) {
    offset += StringBytes(*t.key);
    for (const NameNode& n : t.names) offset += StringBytes(*n.key);
  }
  // Offsets inside the tree carry a flag in their top bit.
  if (offset >= kRdHighBit) return Status::Error("the resource tree is too large");
  at->data = AlignUp(offset, 8);
  std::uint64_t dataBytes = 0;
  for (const Resource* r : sorted) dataBytes = AlignUp(dataBytes, 8) + r->data.size();
  at->total = at->data + dataBytes;
  if (std::uint64_t{baseRva} + at->total > 0xFFFF0000u) return Status::Error("the resources would pass 4 GiB");
  return Status();
}

template <typename Iterator, typename KeyOf>
std::uint32_t CountNamed(Iterator begin, Iterator end, KeyOf keyOf) {
  std::uint32_t named = 0;
  for (auto it = begin; it != end; ++it) named += keyOf(*it)->isString ? 1 : 0;
  return named;
}

// Writes directory entries, strings and data entries, all in one pass.
class TreeWriter {
 public:
  TreeWriter(std::uint8_t* bytes, const TreeOffsets& at, std::uint32_t baseRva)
      : b_(bytes), at_(at), baseRva_(baseRva), stringAt_(at.strings), dataAt_(at.data), entryAt_(at.dataEntries) {}

  void Write(const std::vector<TypeNode>& types) {
    const std::uint32_t namedTypes = CountNamed(types.begin(), types.end(), [](const TypeNode& t) { return t.key; });
    WriteDirectoryHeader(b_, namedTypes, static_cast<std::uint32_t>(types.size()) - namedTypes);
    std::size_t nameIndex = 0;
    for (std::size_t t = 0; t < types.size(); ++t) {
      std::uint8_t* e = b_ + kRdHeaderSize + kRdEntrySize * t;
      WriteKey(e, *types[t].key);
      StoreU32(e + 4, static_cast<std::uint32_t>(at_.typeDir[t]) | kRdHighBit);
      const auto& names = types[t].names;
      std::uint8_t* td = b_ + at_.typeDir[t];
      const std::uint32_t named = CountNamed(names.begin(), names.end(), [](const NameNode& n) { return n.key; });
      WriteDirectoryHeader(td, named, static_cast<std::uint32_t>(names.size()) - named);
      for (std::size_t n = 0; n < names.size(); ++n, ++nameIndex) {
        std::uint8_t* ne = td + kRdHeaderSize + kRdEntrySize * n;
        WriteKey(ne, *names[n].key);
        StoreU32(ne + 4, static_cast<std::uint32_t>(at_.nameDir[nameIndex]) | kRdHighBit);
        WriteLeaves(b_ + at_.nameDir[nameIndex], names[n].leaves);
      }
    }
  }

 private:
  void WriteKey(std::uint8_t* e, const ResourceKey& key) {
    if (!key.isString) {
      StoreU32(e, key.id);
      return;
    }
    StoreU32(e, static_cast<std::uint32_t>(stringAt_) | kRdHighBit);
    StoreU16(b_ + stringAt_, static_cast<std::uint16_t>(key.text.size()));
    for (std::size_t i = 0; i < key.text.size(); ++i) StoreU16(b_ + stringAt_ + 2 + 2 * i, key.text[i]);
    stringAt_ += StringBytes(key);
  }

  void WriteLeaves(std::uint8_t* nd, const std::vector<const Resource*>& leaves) {
    WriteDirectoryHeader(nd, 0, static_cast<std::uint32_t>(leaves.size()));
    for (std::size_t l = 0; l < leaves.size(); ++l) {
      std::uint8_t* le = nd + kRdHeaderSize + kRdEntrySize * l;
      StoreU32(le, leaves[l]->language);
      StoreU32(le + 4, static_cast<std::uint32_t>(entryAt_));
      dataAt_ = AlignUp(dataAt_, 8);
      std::uint8_t* de = b_ + entryAt_;
      StoreU32(de, static_cast<std::uint32_t>(baseRva_ + dataAt_));
      StoreU32(de + 4, static_cast<std::uint32_t>(leaves[l]->data.size()));
      StoreU32(de + 8, leaves[l]->codePage);
      if (!leaves[l]->data.empty()) std::memcpy(b_ + dataAt_, leaves[l]->data.data(), leaves[l]->data.size());
      dataAt_ += leaves[l]->data.size();
      entryAt_ += kRdDataEntrySize;
    }
  }

  std::uint8_t* b_;
  const TreeOffsets& at_;
  std::uint32_t baseRva_;
  std::uint64_t stringAt_;
  std::uint64_t dataAt_;
  std::uint64_t entryAt_;
};

}  // namespace

Status BuildResourceSection(const std::vector<Resource>& resources, std::uint32_t baseRva,
                            std::vector<std::uint8_t>* out) {
  std::vector<const Resource*> sorted;
  std::vector<TypeNode> types;
  SFXKIT_TRY(ShapeTree(resources, &sorted, &types));
  TreeOffsets at;
  SFXKIT_TRY(PlanTree(sorted, types, baseRva, &at));
  out->assign(static_cast<std::size_t>(at.total), 0);
  TreeWriter(out->data(), at, baseRva).Write(types);
  return Status();
}

// ---- the rebuilt image ----

namespace {

// What the stub's sections occupy.
struct StubExtent {
  std::uint64_t rawEnd = 0;      // where the sections' raw data ends in the file
  std::uint64_t virtualEnd = 0;  // where the image ends in memory
  int lastByAddress = -1;        // the section that ends it
};

// Where the new resource section goes and what moves to make room.
struct Placement {
  bool inPlace = false;  // the old resource section is replaced
  int rsrc = -1;         // the old resource section, or -1
  std::uint64_t firstRaw = 0;
  std::uint64_t sectionRva = 0, sectionRaw = 0, sectionHeader = 0;
  std::uint64_t headersSize = 0;
  std::uint64_t grow = 0;  // bytes inserted into the file behind the headers
};

// Refuses a stub that cannot carry the resources, and gathers the old ones
// with the added ones.
Status CheckStub(const PeImage& stub, const std::vector<Resource>& added, std::vector<Resource>* all,
                 StubExtent* extent) {
  const auto& sections = stub.sections();
  if (stub.Directory(kDirSecurity).rva != 0)
    return Status::Error("the stub is signed; sign the launcher after packing instead");
  if (stub.directoryCount() <= kDirResource) return Status::Error("the stub's header has no resource directory slot");

  SFXKIT_TRY(stub.ReadResources(all));
  for (const Resource& r : added) {
    for (const Resource& old : *all) {
      if (old.type == r.type && old.name == r.name)
        return Status::Error("the stub already has resource " + r.type.Describe() + "/" + r.name.Describe());
    }
  }
  all->insert(all->end(), added.begin(), added.end());

  // Where the raw data of the sections ends; what follows (a symbol table,
  // for instance) is carried over behind the new section.
  extent->rawEnd = stub.sizeOfHeaders();
  // The headers are mapped at RVA 0, so no section may start below them.
  extent->virtualEnd = stub.sizeOfHeaders();
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const Section& s = sections[i];
    if (s.rawSize) extent->rawEnd = std::max<std::uint64_t>(extent->rawEnd, std::uint64_t{s.rawOffset} + s.rawSize);
    const std::uint64_t end = std::uint64_t{s.virtualAddress} + s.MappedSize();
    if (end > extent->virtualEnd) {
      extent->virtualEnd = end;
      extent->lastByAddress = static_cast<int>(i);
    }
  }
  if (extent->rawEnd > stub.file().size())
    return Status::Error("the stub is truncated: its sections run past the end of the file");
  // The writer copies the headers and the sections as they lie; a stub whose
  // sections overlap the headers would have them overwritten.
  const std::uint64_t tableEnd =
      stub.sectionTableOffset() + kSectionHeaderSize * static_cast<std::uint64_t>(sections.size());
  if (tableEnd > stub.sizeOfHeaders()) return Status::Error("the stub's section table runs past its headers");
  // Sections lie in ascending order without overlapping, as the loader
  // requires; only then is every address inside exactly one of them.
  std::uint64_t previousEnd = stub.sizeOfHeaders();
  for (const Section& s : sections) {
    if (s.rawSize != 0 && s.rawOffset < stub.sizeOfHeaders())
      return Status::Error(std::string("the stub's section ") + s.name + " overlaps its headers");
    if (s.virtualAddress < previousEnd)
      return Status::Error(std::string("the stub's section ") + s.name + " overlaps the one before it");
    previousEnd = std::uint64_t{s.virtualAddress} + s.MappedSize();
  }
  return Status();
}

Status PlanPlacement(const PeImage& stub, const StubExtent& extent, Placement* p) {
  const auto& sections = stub.sections();
  // In place when the resource section is last in memory and in the file and
  // begins with the tree, so that nothing else can live in it.
  p->rsrc = stub.ResourceSectionIndex();
  if (p->rsrc >= 0 && p->rsrc == extent.lastByAddress) {
    const Section& s = sections[static_cast<std::size_t>(p->rsrc)];
    p->inPlace = s.rawSize != 0 && std::uint64_t{s.rawOffset} + s.rawSize == extent.rawEnd &&
                 stub.Directory(kDirResource).rva == s.virtualAddress;
    for (std::uint32_t d = 0; p->inPlace && d < stub.directoryCount(); ++d) {
      const DataDirectory dir = stub.Directory(d);
      if (d == kDirResource || d == kDirSecurity || dir.rva == 0) continue;
      if (dir.rva >= s.virtualAddress) p->inPlace = false;
    }
  }

  const std::uint32_t fileAlign = stub.fileAlignment();
  p->firstRaw = stub.sizeOfHeaders();
  std::uint64_t firstRva = extent.virtualEnd;
  for (const Section& s : sections) {
    if (s.rawSize) p->firstRaw = std::min<std::uint64_t>(p->firstRaw, s.rawOffset);
    firstRva = std::min<std::uint64_t>(firstRva, s.virtualAddress);
  }
  p->headersSize = stub.sizeOfHeaders();
  if (p->inPlace) {
    const Section& s = sections[static_cast<std::size_t>(p->rsrc)];
    p->sectionRva = s.virtualAddress;
    p->sectionRaw = s.rawOffset;
    p->sectionHeader = stub.sectionTableOffset() + kSectionHeaderSize * static_cast<std::uint64_t>(p->rsrc);
  } else {
    if (sections.size() >= 0xFFFF) return Status::Error("the stub has too many sections");
    p->sectionHeader = stub.sectionTableOffset() + kSectionHeaderSize * static_cast<std::uint64_t>(sections.size());
    // Without room for one more section header the headers grow by whole
    // file-alignment units and the sections move down the file; their
    // addresses in memory stay, as long as the headers still end before the
    // first section.
    const std::uint64_t needed = p->sectionHeader + kSectionHeaderSize;
    if (needed > p->firstRaw || needed > p->headersSize) {
      p->headersSize = std::max(p->headersSize, AlignUp(needed, fileAlign));
      if (p->headersSize > p->firstRaw) p->grow = AlignUp(p->headersSize - p->firstRaw, fileAlign);
      if (p->headersSize > firstRva) return Status::Error("the stub's headers have no room for another section");
    }
    p->sectionRva = AlignUp(extent.virtualEnd, stub.sectionAlignment());
    p->sectionRaw = AlignUp(extent.rawEnd + p->grow, fileAlign);
  }
  if (p->sectionRva > 0xFFFF0000u) return Status::Error("the image would pass 4 GiB");
  return Status();
}

// The headers, the kept sections (moved down by `grow`), the new resource
// section and the tail, into `o`.
void CopySections(const PeImage& stub, const StubExtent& extent, const Placement& p,
                  const std::vector<std::uint8_t>& rsrcBytes, std::uint64_t rawSize, std::uint8_t* o) {
  const std::span<const std::uint8_t> file = stub.file();
  const std::uint64_t keptEnd = p.inPlace ? p.sectionRaw : extent.rawEnd;  // in the stub's file
  if (p.grow == 0) {
    std::memcpy(o, file.data(), static_cast<std::size_t>(keptEnd));
  } else {
    std::memcpy(o, file.data(), static_cast<std::size_t>(p.firstRaw));
    std::memcpy(o + p.firstRaw + p.grow, file.data() + p.firstRaw, static_cast<std::size_t>(keptEnd - p.firstRaw));
  }
  std::memcpy(o + p.sectionRaw, rsrcBytes.data(), rsrcBytes.size());
  const std::uint64_t tailSize = file.size() - extent.rawEnd;
  if (tailSize)
    std::memcpy(o + p.sectionRaw + rawSize, file.data() + extent.rawEnd, static_cast<std::size_t>(tailSize));
}

// Points the headers at the new section and at everything that moved, then
// stamps the checksum.
void PatchHeaders(const PeImage& stub, const StubExtent& extent, const Placement& p, std::uint64_t rsrcSize,
                  std::uint64_t rawSize, std::uint64_t imageEnd, std::vector<std::uint8_t>* out) {
  const auto& sections = stub.sections();
  std::uint8_t* o = out->data();
  // Section header: patch the old one or write a new one.
  std::uint8_t* sh = o + p.sectionHeader;
  const Section* old = p.inPlace ? &sections[static_cast<std::size_t>(p.rsrc)] : nullptr;
  if (!p.inPlace) {
    std::memset(sh, 0, kSectionHeaderSize);
    std::memcpy(sh + kShName, ".rsrc", 5);
    StoreU32(sh + kShVirtualAddress, static_cast<std::uint32_t>(p.sectionRva));
    StoreU32(sh + kShPointerToRawData, static_cast<std::uint32_t>(p.sectionRaw));
    StoreU32(sh + kShCharacteristics, kScnInitializedData | kScnMemRead);
    std::uint8_t* fh = o + stub.fileHeaderOffset();
    StoreU16(fh + kFhNumberOfSections, static_cast<std::uint16_t>(sections.size() + 1));
  }
  StoreU32(sh + kShVirtualSize, static_cast<std::uint32_t>(rsrcSize));
  StoreU32(sh + kShSizeOfRawData, static_cast<std::uint32_t>(rawSize));

  std::uint8_t* oh = o + stub.optionalHeaderOffset();
  std::uint8_t* dir = oh + stub.dataDirectoriesOffset() + kDataDirectorySize * kDirResource;
  StoreU32(dir, static_cast<std::uint32_t>(p.sectionRva));
  StoreU32(dir + 4, static_cast<std::uint32_t>(rsrcSize));
  StoreU32(oh + kOhSizeOfImage, static_cast<std::uint32_t>(imageEnd));
  const std::uint64_t initialised = LoadU32(oh + kOhSizeOfInitializedData) + rawSize - (old ? old->rawSize : 0);
  StoreU32(oh + kOhSizeOfInitializedData, static_cast<std::uint32_t>(initialised));
  // The symbol table, if any, moved with the tail.
  const std::uint32_t symbols = stub.symbolTableOffset();
  if (symbols != 0 && symbols >= extent.rawEnd) {
    StoreU32(o + stub.fileHeaderOffset() + kFhPointerToSymbolTable,
             static_cast<std::uint32_t>(symbols - extent.rawEnd + p.sectionRaw + rawSize));
  } else if (symbols != 0 && symbols >= p.firstRaw) {
    StoreU32(o + stub.fileHeaderOffset() + kFhPointerToSymbolTable, static_cast<std::uint32_t>(symbols + p.grow));
  }
  StoreU32(oh + kOhSizeOfHeaders, static_cast<std::uint32_t>(p.headersSize));
  if (p.grow != 0) {
    for (std::size_t i = 0; i < sections.size(); ++i) {
      std::uint8_t* h = o + stub.sectionTableOffset() + kSectionHeaderSize * i;
      if (sections[i].rawSize != 0)
        StoreU32(h + kShPointerToRawData, static_cast<std::uint32_t>(sections[i].rawOffset + p.grow));
    }
    // Debug directory entries point at their data by file offset.
    const DataDirectory debug = stub.Directory(kDirDebug);
    const std::uint8_t* entries = nullptr;
    if (debug.rva != 0 && stub.MapRva(debug.rva, debug.size, &entries)) {
      const std::size_t at = static_cast<std::size_t>(entries - stub.file().data()) + static_cast<std::size_t>(p.grow);
      for (std::uint32_t e = 0; e + kDebugEntrySize <= debug.size; e += kDebugEntrySize) {
        std::uint8_t* pointer = o + at + e + kDebugPointerToRawData;
        const std::uint32_t offset = LoadU32(pointer);
        if (offset >= p.firstRaw) StoreU32(pointer, static_cast<std::uint32_t>(offset + p.grow));
      }
    }
  }
  const std::uint32_t checkSumOffset = stub.optionalHeaderOffset() + kOhCheckSum;
  StoreU32(oh + kOhCheckSum, 0);
  StoreU32(oh + kOhCheckSum, ComputeCheckSum(*out, checkSumOffset));
}

}  // namespace

Status WriteWithResources(const PeImage& stub, const std::vector<Resource>& added, std::vector<std::uint8_t>* out) {
  std::vector<Resource> all;
  StubExtent extent;
  SFXKIT_TRY(CheckStub(stub, added, &all, &extent));
  Placement placement;
  SFXKIT_TRY(PlanPlacement(stub, extent, &placement));

  std::vector<std::uint8_t> rsrcBytes;
  SFXKIT_TRY(BuildResourceSection(all, static_cast<std::uint32_t>(placement.sectionRva), &rsrcBytes));
  const std::uint32_t fileAlign = stub.fileAlignment();
  const std::uint64_t rawSize = AlignUp(rsrcBytes.size(), fileAlign);
  const std::uint64_t imageEnd = AlignUp(placement.sectionRva + rsrcBytes.size(), stub.sectionAlignment());
  const std::uint64_t outSize = placement.sectionRaw + rawSize + (stub.file().size() - extent.rawEnd);
  if (imageEnd > 0xFFFFFFFFu || outSize > 0xFFFFFFFFu) return Status::Error("the launcher would pass 4 GiB");

  out->assign(static_cast<std::size_t>(outSize), 0);
  CopySections(stub, extent, placement, rsrcBytes, rawSize, out->data());
  PatchHeaders(stub, extent, placement, rsrcBytes.size(), rawSize, imageEnd, out);
  return Status();
}

}  // namespace sfx::pe

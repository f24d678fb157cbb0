#include "tools/sfxkit/pe_writer.h"

#include <algorithm>
#include <cstring>

#include "tools/sfxkit/pe_format.h"

namespace sfx::pe {
namespace {

bool Fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

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

}  // namespace

bool BuildResourceSection(const std::vector<Resource>& resources, std::uint32_t baseRva, std::vector<std::uint8_t>* out,
                          std::string* error) {
  std::vector<const Resource*> sorted;
  sorted.reserve(resources.size());
  for (const Resource& r : resources) sorted.push_back(&r);
  std::sort(sorted.begin(), sorted.end(), LeafLess);
  for (std::size_t i = 1; i < sorted.size(); ++i) {
    if (!LeafLess(sorted[i - 1], sorted[i]))
      return Fail(error, "resource " + sorted[i]->type.Describe() + "/" + sorted[i]->name.Describe() + " language " +
                             std::to_string(sorted[i]->language) + " is given twice");
  }

  std::vector<TypeNode> types;
  for (const Resource* r : sorted) {
    if (types.empty() || !(*types.back().key == r->type)) types.push_back(TypeNode{&r->type, {}});
    auto& names = types.back().names;
    if (names.empty() || !(*names.back().key == r->name)) names.push_back(NameNode{&r->name, {}});
    names.back().leaves.push_back(r);
  }
  if (types.size() > 0xFFFF) return Fail(error, "too many resource types");

  // Offsets: root, type directories, name directories, data entries, strings,
  // then the data itself.
  std::uint64_t offset = kRdHeaderSize + kRdEntrySize * types.size();
  std::vector<std::uint64_t> typeDir, nameDir;
  for (const TypeNode& t : types) {
    if (t.names.size() > 0xFFFF) return Fail(error, "too many resources of type " + t.key->Describe());
    typeDir.push_back(offset);
    offset += kRdHeaderSize + kRdEntrySize * t.names.size();
  }
  for (const TypeNode& t : types) {
    for (const NameNode& n : t.names) {
      if (n.leaves.size() > 0xFFFF) return Fail(error, "too many languages of one resource");
      nameDir.push_back(offset);
      offset += kRdHeaderSize + kRdEntrySize * n.leaves.size();
    }
  }
  const std::uint64_t dataEntries = offset;
  offset += kRdDataEntrySize * sorted.size();
  const std::uint64_t strings = offset;
  for (const TypeNode& t : types) {
    offset += StringBytes(*t.key);
    for (const NameNode& n : t.names) offset += StringBytes(*n.key);
  }
  // Offsets inside the tree carry a flag in their top bit.
  if (offset >= kRdHighBit) return Fail(error, "the resource tree is too large");
  offset = AlignUp(offset, 8);
  std::uint64_t dataBytes = 0;
  for (const Resource* r : sorted) dataBytes = AlignUp(dataBytes, 8) + r->data.size();
  const std::uint64_t total = offset + dataBytes;
  if (std::uint64_t{baseRva} + total > 0xFFFF0000u) return Fail(error, "the resources would pass 4 GiB");
  out->assign(static_cast<std::size_t>(total), 0);
  std::uint8_t* b = out->data();

  // Directory entries, strings and data entries, all in one pass.
  std::uint64_t stringAt = strings;
  std::uint64_t dataAt = offset;
  std::uint64_t entryAt = dataEntries;
  auto writeKey = [&](std::uint8_t* e, const ResourceKey& key) {
    if (!key.isString) {
      StoreU32(e, key.id);
      return;
    }
    StoreU32(e, static_cast<std::uint32_t>(stringAt) | kRdHighBit);
    StoreU16(b + stringAt, static_cast<std::uint16_t>(key.text.size()));
    for (std::size_t i = 0; i < key.text.size(); ++i) StoreU16(b + stringAt + 2 + 2 * i, key.text[i]);
    stringAt += StringBytes(key);
  };
  auto countNamed = [](auto begin, auto end, auto keyOf) {
    std::uint32_t named = 0;
    for (auto it = begin; it != end; ++it) named += keyOf(*it)->isString ? 1 : 0;
    return named;
  };

  const std::uint32_t namedTypes = countNamed(types.begin(), types.end(), [](const TypeNode& t) { return t.key; });
  WriteDirectoryHeader(b, namedTypes, static_cast<std::uint32_t>(types.size()) - namedTypes);
  std::size_t nameIndex = 0;
  for (std::size_t t = 0; t < types.size(); ++t) {
    std::uint8_t* e = b + kRdHeaderSize + kRdEntrySize * t;
    writeKey(e, *types[t].key);
    StoreU32(e + 4, static_cast<std::uint32_t>(typeDir[t]) | kRdHighBit);

    const auto& names = types[t].names;
    std::uint8_t* td = b + typeDir[t];
    const std::uint32_t named = countNamed(names.begin(), names.end(), [](const NameNode& n) { return n.key; });
    WriteDirectoryHeader(td, named, static_cast<std::uint32_t>(names.size()) - named);
    for (std::size_t n = 0; n < names.size(); ++n, ++nameIndex) {
      std::uint8_t* ne = td + kRdHeaderSize + kRdEntrySize * n;
      writeKey(ne, *names[n].key);
      StoreU32(ne + 4, static_cast<std::uint32_t>(nameDir[nameIndex]) | kRdHighBit);

      const auto& leaves = names[n].leaves;
      std::uint8_t* nd = b + nameDir[nameIndex];
      WriteDirectoryHeader(nd, 0, static_cast<std::uint32_t>(leaves.size()));
      for (std::size_t l = 0; l < leaves.size(); ++l) {
        std::uint8_t* le = nd + kRdHeaderSize + kRdEntrySize * l;
        StoreU32(le, leaves[l]->language);
        StoreU32(le + 4, static_cast<std::uint32_t>(entryAt));
        dataAt = AlignUp(dataAt, 8);
        std::uint8_t* de = b + entryAt;
        StoreU32(de, static_cast<std::uint32_t>(baseRva + dataAt));
        StoreU32(de + 4, static_cast<std::uint32_t>(leaves[l]->data.size()));
        StoreU32(de + 8, leaves[l]->codePage);
        if (!leaves[l]->data.empty()) std::memcpy(b + dataAt, leaves[l]->data.data(), leaves[l]->data.size());
        dataAt += leaves[l]->data.size();
        entryAt += kRdDataEntrySize;
      }
    }
  }
  return true;
}

// ---- the rebuilt image ----

bool WriteWithResources(const PeImage& stub, const std::vector<Resource>& added, std::vector<std::uint8_t>* out,
                        std::string* error) {
  const std::span<const std::uint8_t> file = stub.file();
  const auto& sections = stub.sections();
  if (stub.Directory(kDirSecurity).rva != 0)
    return Fail(error, "the stub is signed; sign the launcher after packing instead");
  if (stub.directoryCount() <= kDirResource) return Fail(error, "the stub's header has no resource directory slot");

  std::vector<Resource> all;
  if (!stub.ReadResources(&all, error)) return false;
  for (const Resource& r : added) {
    for (const Resource& old : all) {
      if (old.type == r.type && old.name == r.name)
        return Fail(error, "the stub already has resource " + r.type.Describe() + "/" + r.name.Describe());
    }
  }
  all.insert(all.end(), added.begin(), added.end());

  // Where the raw data of the sections ends; what follows (a symbol table,
  // for instance) is carried over behind the new section.
  std::uint64_t rawEnd = stub.sizeOfHeaders();
  // The headers are mapped at RVA 0, so no section may start below them.
  std::uint64_t virtualEnd = stub.sizeOfHeaders();
  int lastByAddress = -1;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const Section& s = sections[i];
    if (s.rawSize) rawEnd = std::max<std::uint64_t>(rawEnd, std::uint64_t{s.rawOffset} + s.rawSize);
    const std::uint64_t end = std::uint64_t{s.virtualAddress} + s.MappedSize();
    if (end > virtualEnd) {
      virtualEnd = end;
      lastByAddress = static_cast<int>(i);
    }
  }
  if (rawEnd > file.size()) return Fail(error, "the stub is truncated: its sections run past the end of the file");
  // The writer copies the headers and the sections as they lie; a stub whose
  // sections overlap the headers would have them overwritten.
  const std::uint64_t tableEnd =
      stub.sectionTableOffset() + kSectionHeaderSize * static_cast<std::uint64_t>(sections.size());
  if (tableEnd > stub.sizeOfHeaders()) return Fail(error, "the stub's section table runs past its headers");
  // Sections lie in ascending order without overlapping, as the loader
  // requires; only then is every address inside exactly one of them.
  std::uint64_t previousEnd = stub.sizeOfHeaders();
  for (const Section& s : sections) {
    if (s.rawSize != 0 && s.rawOffset < stub.sizeOfHeaders())
      return Fail(error, std::string("the stub's section ") + s.name + " overlaps its headers");
    if (s.virtualAddress < previousEnd)
      return Fail(error, std::string("the stub's section ") + s.name + " overlaps the one before it");
    previousEnd = std::uint64_t{s.virtualAddress} + s.MappedSize();
  }

  // In place when the resource section is last in memory and in the file and
  // begins with the tree, so that nothing else can live in it.
  const int rsrc = stub.ResourceSectionIndex();
  bool inPlace = false;
  if (rsrc >= 0 && rsrc == lastByAddress) {
    const Section& s = sections[static_cast<std::size_t>(rsrc)];
    inPlace = s.rawSize != 0 && std::uint64_t{s.rawOffset} + s.rawSize == rawEnd &&
              stub.Directory(kDirResource).rva == s.virtualAddress;
    for (std::uint32_t d = 0; inPlace && d < stub.directoryCount(); ++d) {
      const DataDirectory dir = stub.Directory(d);
      if (d == kDirResource || d == kDirSecurity || dir.rva == 0) continue;
      if (dir.rva >= s.virtualAddress) inPlace = false;
    }
  }

  const std::uint32_t fileAlign = stub.fileAlignment();
  const std::uint32_t sectionAlign = stub.sectionAlignment();
  std::uint64_t firstRaw = stub.sizeOfHeaders();
  std::uint64_t firstRva = virtualEnd;
  for (const Section& s : sections) {
    if (s.rawSize) firstRaw = std::min<std::uint64_t>(firstRaw, s.rawOffset);
    firstRva = std::min<std::uint64_t>(firstRva, s.virtualAddress);
  }
  std::uint64_t sectionRva, sectionRaw, sectionHeader;
  std::uint64_t headersSize = stub.sizeOfHeaders();
  std::uint64_t grow = 0;  // bytes inserted into the file behind the headers
  if (inPlace) {
    const Section& s = sections[static_cast<std::size_t>(rsrc)];
    sectionRva = s.virtualAddress;
    sectionRaw = s.rawOffset;
    sectionHeader = stub.sectionTableOffset() + kSectionHeaderSize * static_cast<std::uint64_t>(rsrc);
  } else {
    if (sections.size() >= 0xFFFF) return Fail(error, "the stub has too many sections");
    sectionHeader = stub.sectionTableOffset() + kSectionHeaderSize * static_cast<std::uint64_t>(sections.size());
    // Without room for one more section header the headers grow by whole
    // file-alignment units and the sections move down the file; their
    // addresses in memory stay, as long as the headers still end before the
    // first section.
    const std::uint64_t needed = sectionHeader + kSectionHeaderSize;
    if (needed > firstRaw || needed > headersSize) {
      headersSize = std::max(headersSize, AlignUp(needed, fileAlign));
      if (headersSize > firstRaw) grow = AlignUp(headersSize - firstRaw, fileAlign);
      if (headersSize > firstRva) return Fail(error, "the stub's headers have no room for another section");
    }
    sectionRva = AlignUp(virtualEnd, sectionAlign);
    sectionRaw = AlignUp(rawEnd + grow, fileAlign);
  }
  if (sectionRva > 0xFFFF0000u) return Fail(error, "the image would pass 4 GiB");

  std::vector<std::uint8_t> rsrcBytes;
  if (!BuildResourceSection(all, static_cast<std::uint32_t>(sectionRva), &rsrcBytes, error)) return false;
  const std::uint64_t rawSize = AlignUp(rsrcBytes.size(), fileAlign);
  const std::uint64_t imageEnd = AlignUp(sectionRva + rsrcBytes.size(), sectionAlign);
  const std::uint64_t tailSize = file.size() - rawEnd;
  const std::uint64_t outSize = sectionRaw + rawSize + tailSize;
  if (imageEnd > 0xFFFFFFFFu || outSize > 0xFFFFFFFFu) return Fail(error, "the launcher would pass 4 GiB");

  out->assign(static_cast<std::size_t>(outSize), 0);
  std::uint8_t* o = out->data();
  const std::uint64_t keptEnd = inPlace ? sectionRaw : rawEnd;  // in the stub's file
  if (grow == 0) {
    std::memcpy(o, file.data(), static_cast<std::size_t>(keptEnd));
  } else {
    std::memcpy(o, file.data(), static_cast<std::size_t>(firstRaw));
    std::memcpy(o + firstRaw + grow, file.data() + firstRaw, static_cast<std::size_t>(keptEnd - firstRaw));
  }
  std::memcpy(o + sectionRaw, rsrcBytes.data(), rsrcBytes.size());
  if (tailSize) std::memcpy(o + sectionRaw + rawSize, file.data() + rawEnd, static_cast<std::size_t>(tailSize));

  // Section header: patch the old one or write a new one.
  std::uint8_t* sh = o + sectionHeader;
  const Section* old = inPlace ? &sections[static_cast<std::size_t>(rsrc)] : nullptr;
  if (!inPlace) {
    std::memset(sh, 0, kSectionHeaderSize);
    std::memcpy(sh + kShName, ".rsrc", 5);
    StoreU32(sh + kShVirtualAddress, static_cast<std::uint32_t>(sectionRva));
    StoreU32(sh + kShPointerToRawData, static_cast<std::uint32_t>(sectionRaw));
    StoreU32(sh + kShCharacteristics, kScnInitializedData | kScnMemRead);
    std::uint8_t* fh = o + stub.fileHeaderOffset();
    StoreU16(fh + kFhNumberOfSections, static_cast<std::uint16_t>(sections.size() + 1));
  }
  StoreU32(sh + kShVirtualSize, static_cast<std::uint32_t>(rsrcBytes.size()));
  StoreU32(sh + kShSizeOfRawData, static_cast<std::uint32_t>(rawSize));

  std::uint8_t* oh = o + stub.optionalHeaderOffset();
  std::uint8_t* dir = oh + kOhDataDirectories + kDataDirectorySize * kDirResource;
  StoreU32(dir, static_cast<std::uint32_t>(sectionRva));
  StoreU32(dir + 4, static_cast<std::uint32_t>(rsrcBytes.size()));
  StoreU32(oh + kOhSizeOfImage, static_cast<std::uint32_t>(imageEnd));
  const std::uint64_t initialised = LoadU32(oh + kOhSizeOfInitializedData) + rawSize - (old ? old->rawSize : 0);
  StoreU32(oh + kOhSizeOfInitializedData, static_cast<std::uint32_t>(initialised));
  // The symbol table, if any, moved with the tail.
  const std::uint32_t symbols = stub.symbolTableOffset();
  if (symbols != 0 && symbols >= rawEnd) {
    StoreU32(o + stub.fileHeaderOffset() + kFhPointerToSymbolTable,
             static_cast<std::uint32_t>(symbols - rawEnd + sectionRaw + rawSize));
  } else if (symbols != 0 && symbols >= firstRaw) {
    StoreU32(o + stub.fileHeaderOffset() + kFhPointerToSymbolTable, static_cast<std::uint32_t>(symbols + grow));
  }
  StoreU32(oh + kOhSizeOfHeaders, static_cast<std::uint32_t>(headersSize));
  if (grow != 0) {
    for (std::size_t i = 0; i < sections.size(); ++i) {
      std::uint8_t* h = o + stub.sectionTableOffset() + kSectionHeaderSize * i;
      if (sections[i].rawSize != 0)
        StoreU32(h + kShPointerToRawData, static_cast<std::uint32_t>(sections[i].rawOffset + grow));
    }
    // Debug directory entries point at their data by file offset.
    const DataDirectory debug = stub.Directory(kDirDebug);
    const std::uint8_t* entries = nullptr;
    if (debug.rva != 0 && stub.MapRva(debug.rva, debug.size, &entries)) {
      const std::size_t at = static_cast<std::size_t>(entries - file.data()) + static_cast<std::size_t>(grow);
      for (std::uint32_t e = 0; e + kDebugEntrySize <= debug.size; e += kDebugEntrySize) {
        std::uint8_t* pointer = o + at + e + kDebugPointerToRawData;
        const std::uint32_t offset = LoadU32(pointer);
        if (offset >= firstRaw) StoreU32(pointer, static_cast<std::uint32_t>(offset + grow));
      }
    }
  }
  const std::uint32_t checkSumOffset = stub.optionalHeaderOffset() + kOhCheckSum;
  StoreU32(oh + kOhCheckSum, 0);
  StoreU32(oh + kOhCheckSum, ComputeCheckSum(*out, checkSumOffset));
  return true;
}

}  // namespace sfx::pe

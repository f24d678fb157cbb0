#include "tools/sfxkit/pe_image.h"

#include <algorithm>
#include <cstring>

#include "tools/sfxkit/pe_format.h"

namespace sfx::pe {

// ---- resource keys ----

ResourceKey ResourceKey::Name(const char* ascii) {
  ResourceKey key;
  key.isString = true;
  for (const char* p = ascii; *p; ++p) key.text.push_back(static_cast<unsigned char>(*p));
  return key;
}

bool operator<(const ResourceKey& a, const ResourceKey& b) {
  if (a.isString != b.isString) return a.isString;
  if (!a.isString) return a.id < b.id;
  return a.text < b.text;
}

std::string ResourceKey::Describe() const {
  if (!isString) return std::to_string(id);
  std::string s;
  for (char16_t c : text) s.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  return "\"" + s + "\"";
}

// ---- headers ----

namespace {

bool IsPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

}  // namespace

Status PeImage::Parse(std::span<const std::uint8_t> file) {
  *this = PeImage();
  const std::uint64_t size = file.size();
  const std::uint8_t* p = file.data();
  if (size < kDosHeaderSize || LoadU16(p + kDosMagicOffset) != kDosMagic)
    return Status::Error("not a Windows executable (no MZ header)");
  const std::uint64_t peOffset = LoadU32(p + kDosLfanewOffset);
  if (peOffset + kSignatureSize + kFileHeaderSize > size || LoadU32(p + peOffset) != kPeSignature)
    return Status::Error("not a Windows executable (no PE header)");
  const std::uint8_t* fh = p + peOffset + kSignatureSize;
  const std::uint16_t machine = LoadU16(fh + kFhMachine);
  if (machine != kMachineI386 && machine != kMachineAmd64)
    return Status::Error("not an x86 Windows executable (32-bit or 64-bit)");
  const bool plus = machine == kMachineAmd64;
  const std::uint32_t directoriesAt = plus ? kOhPlusDataDirectories : kOhDataDirectories;
  const std::uint32_t sectionCount = LoadU16(fh + kFhNumberOfSections);
  const std::uint32_t optionalSize = LoadU16(fh + kFhSizeOfOptionalHeader);
  const std::uint64_t ohOffset = peOffset + kSignatureSize + kFileHeaderSize;
  if (optionalSize < directoriesAt || ohOffset + optionalSize > size)
    return Status::Error("the optional header is truncated");
  const std::uint8_t* oh = p + ohOffset;
  if (LoadU16(oh + kOhMagic) != (plus ? kPe32PlusMagic : kPe32Magic))
    return Status::Error(plus ? "not a PE32+ (64-bit) image" : "not a PE32 (32-bit) image");

  sectionAlignment_ = LoadU32(oh + kOhSectionAlignment);
  fileAlignment_ = LoadU32(oh + kOhFileAlignment);
  sizeOfImage_ = LoadU32(oh + kOhSizeOfImage);
  sizeOfHeaders_ = LoadU32(oh + kOhSizeOfHeaders);
  checkSum_ = LoadU32(oh + kOhCheckSum);
  symbolTableOffset_ = LoadU32(fh + kFhPointerToSymbolTable);
  if (!IsPowerOfTwo(fileAlignment_) || !IsPowerOfTwo(sectionAlignment_) || fileAlignment_ > sectionAlignment_)
    return Status::Error("the section or file alignment is not valid");

  // Only the directories that the optional header really has room for count.
  const std::uint32_t declared = LoadU32(oh + (plus ? kOhPlusNumberOfRvaAndSizes : kOhNumberOfRvaAndSizes));
  const std::uint32_t room = (optionalSize - directoriesAt) / kDataDirectorySize;
  const std::uint32_t dirCount = std::min(declared, room);
  for (std::uint32_t i = 0; i < dirCount; ++i) {
    const std::uint8_t* d = oh + directoriesAt + i * kDataDirectorySize;
    directories_.push_back(DataDirectory{LoadU32(d), LoadU32(d + 4)});
  }

  const std::uint64_t tableOffset = ohOffset + optionalSize;
  if (tableOffset + std::uint64_t{sectionCount} * kSectionHeaderSize > size)
    return Status::Error("the section table is truncated");
  for (std::uint32_t i = 0; i < sectionCount; ++i) {
    const std::uint8_t* s = p + tableOffset + i * kSectionHeaderSize;
    Section section;
    std::memcpy(section.name, s + kShName, 8);
    section.virtualSize = LoadU32(s + kShVirtualSize);
    section.virtualAddress = LoadU32(s + kShVirtualAddress);
    section.rawSize = LoadU32(s + kShSizeOfRawData);
    section.rawOffset = LoadU32(s + kShPointerToRawData);
    section.characteristics = LoadU32(s + kShCharacteristics);
    if (std::uint64_t{section.virtualAddress} + section.MappedSize() > 0xFFFFFFFFu)
      return Status::Error(std::string("section ") + section.name + " extends past 4 GiB");
    sections_.push_back(section);
  }
  fileHeaderOffset_ = static_cast<std::uint32_t>(peOffset + kSignatureSize);
  optionalHeaderOffset_ = static_cast<std::uint32_t>(ohOffset);
  dataDirectoriesOffset_ = directoriesAt;
  sectionTableOffset_ = static_cast<std::uint32_t>(tableOffset);
  file_ = file;
  return Status();
}

bool PeImage::MapRva(std::uint32_t rva, std::uint32_t size, const std::uint8_t** out) const {
  for (const Section& s : sections_) {
    if (rva < s.virtualAddress) continue;
    const std::uint64_t offset = std::uint64_t{rva} - s.virtualAddress;
    // An empty range may sit right at the end of a section.
    if (offset > s.MappedSize() || (offset == s.MappedSize() && size != 0)) continue;
    // Bytes past the raw data are zero-filled by the loader but absent from
    // the file; a resource there cannot be read here.
    const std::uint64_t end = offset + size;
    if (end > s.rawSize || end > s.MappedSize() || std::uint64_t{s.rawOffset} + end > file_.size()) return false;
    *out = file_.data() + s.rawOffset + offset;
    return true;
  }
  return false;
}

int PeImage::ResourceSectionIndex() const {
  const DataDirectory dir = Directory(kDirResource);
  if (dir.rva == 0) return -1;
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    if (dir.rva >= s.virtualAddress && std::uint64_t{dir.rva} < std::uint64_t{s.virtualAddress} + s.MappedSize())
      return static_cast<int>(i);
  }
  return -1;
}

// ---- resource tree ----

namespace {

// Walks the tree below the resource directory's start. `base` and `limit`
// bound every offset: the raw bytes of the resource section from the
// directory on. The visit budget stops trees whose directories share entries
// from multiplying into billions of leaves: a tree built without sharing
// never has more entries than fit in its bytes.
class TreeReader {
 public:
  TreeReader(const PeImage& image, const std::uint8_t* base, std::uint64_t limit, std::vector<Resource>* out)
      : image_(image), base_(base), limit_(limit), budget_(limit / kRdEntrySize + 1), out_(out) {}

  Status Walk(std::uint64_t offset, std::uint32_t level, Resource* path) {
    if (offset + kRdHeaderSize > limit_) return Damaged("a directory lies outside the section");
    const std::uint8_t* d = base_ + offset;
    const std::uint32_t named = LoadU16(d + kRdNumberOfNamedEntries);
    const std::uint32_t ids = LoadU16(d + kRdNumberOfIdEntries);
    const std::uint64_t count = std::uint64_t{named} + ids;
    if (offset + kRdHeaderSize + count * kRdEntrySize > limit_)
      return Damaged("a directory's entries run past the section");
    if (count > budget_) return Damaged("the tree has more entries than its size allows");
    budget_ -= count;
    ResourceKey previous;
    for (std::uint64_t i = 0; i < count; ++i) {
      const std::uint8_t* e = d + kRdHeaderSize + i * kRdEntrySize;
      const std::uint32_t nameField = LoadU32(e);
      const std::uint32_t offsetField = LoadU32(e + 4);
      ResourceKey key;
      const bool isString = (nameField & kRdHighBit) != 0;
      if (isString != (i < named)) return Damaged("named and numbered entries are mixed up");
      if (isString) {
        if (level == kRdLevels - 1) return Damaged("a language is given by name");
        SFXKIT_TRY(ReadString(nameField & ~kRdHighBit, &key));
      } else {
        if (nameField > 0xFFFF) return Damaged("an id does not fit in 16 bits");
        key = ResourceKey::Id(static_cast<std::uint16_t>(nameField));
      }
      if (i > 0 && !(previous < key)) return Damaged("entries are out of order or repeated");
      const bool isDirectory = (offsetField & kRdHighBit) != 0;
      const std::uint32_t target = offsetField & ~kRdHighBit;
      if (level + 1 < kRdLevels) {
        if (!isDirectory) return Damaged("data found where a directory belongs");
        if (level == 0)
          path->type = key;
        else
          path->name = key;
        SFXKIT_TRY(Walk(target, level + 1, path));
      } else {
        if (isDirectory) return Damaged("the tree is deeper than three levels");
        path->language = key.id;
        SFXKIT_TRY(ReadData(target, path));
      }
      previous = std::move(key);
    }
    return Status();
  }

 private:
  static Status Damaged(const char* what) {
    return Status::Error(std::string("the resource table is damaged: ") + what);
  }

  Status ReadString(std::uint64_t offset, ResourceKey* key) const {
    if (offset + 2 > limit_) return Damaged("a name lies outside the section");
    const std::uint32_t length = LoadU16(base_ + offset);
    if (offset + 2 + 2ull * length > limit_) return Damaged("a name runs past the section");
    key->isString = true;
    key->text.resize(length);
    for (std::uint32_t i = 0; i < length; ++i) key->text[i] = LoadU16(base_ + offset + 2 + 2 * i);
    return Status();
  }

  Status ReadData(std::uint64_t offset, Resource* path) const {
    if (offset + kRdDataEntrySize > limit_) return Damaged("a data entry lies outside the section");
    const std::uint8_t* e = base_ + offset;
    const std::uint32_t rva = LoadU32(e);
    const std::uint32_t size = LoadU32(e + 4);
    const std::uint8_t* data = nullptr;
    if (!image_.MapRva(rva, size, &data))
      return Status::Error("the resource table is damaged: the data of " + path->type.Describe() + "/" +
                           path->name.Describe() + " lies outside the file");
    path->codePage = LoadU32(e + 8);
    path->data = std::span<const std::uint8_t>(data, size);
    out_->push_back(*path);
    return Status();
  }

  const PeImage& image_;
  const std::uint8_t* base_;
  std::uint64_t limit_;
  std::uint64_t budget_;
  std::vector<Resource>* out_;
};

}  // namespace

Status PeImage::ReadResources(std::vector<Resource>* out) const {
  out->clear();
  const DataDirectory dir = Directory(kDirResource);
  if (dir.rva == 0 && dir.size == 0) return Status();
  const int index = ResourceSectionIndex();
  if (index < 0) return Status::Error("the resource table is damaged: its directory lies in no section");
  const Section& s = sections_[static_cast<std::size_t>(index)];
  const std::uint64_t offset = std::uint64_t{dir.rva} - s.virtualAddress;
  std::uint64_t limit = std::min<std::uint64_t>(s.rawSize, s.MappedSize());
  limit = std::min<std::uint64_t>(limit, file_.size() > s.rawOffset ? file_.size() - s.rawOffset : 0);
  if (offset >= limit) return Status::Error("the resource table is damaged: it lies outside the file");
  TreeReader reader(*this, file_.data() + s.rawOffset + offset, limit - offset, out);
  Resource path;
  return reader.Walk(0, 0, &path);
}

std::uint32_t ComputeCheckSum(std::span<const std::uint8_t> file, std::uint32_t checkSumOffset) {
  std::uint64_t sum = 0;
  const std::size_t size = file.size();
  for (std::size_t i = 0; i < size; i += 2) {
    if (i >= checkSumOffset && i < std::size_t{checkSumOffset} + 4) continue;
    std::uint32_t word = file[i];
    if (i + 1 < size) word |= static_cast<std::uint32_t>(file[i + 1]) << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint32_t>(sum + size);
}

}  // namespace sfx::pe

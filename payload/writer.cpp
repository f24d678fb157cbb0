#include "payload/writer.h"

#include <cstring>

#include "payload/byte_order.h"
#include "payload/image.h"
#include "payload/names.h"
#include "services/codec/crc.h"
#include "services/core/memory_service.h"
#include "services/core/memory_stream.h"

namespace sfx::payload {
namespace {

constexpr std::uint32_t kMaxText = 255;

// Win32 resource file: an empty entry first, then per resource a header
// (DataSize, HeaderSize, type, name, DataVersion, MemoryFlags, LanguageId,
// Version, Characteristics) and the data, each padded to 4 bytes.
constexpr std::uint8_t kResourceFileStart[32] = {0, 0, 0, 0, 0x20, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0};
constexpr std::uint16_t kRawDataType = 10;
constexpr std::uint16_t kMoveablePure = 0x0030;
constexpr std::uint16_t kLanguageNeutral = 0;

// The length, or kMaxText + 1 for anything longer.
std::uint32_t TextLength(const char* text) {
  std::uint32_t length = 0;
  while (text != nullptr && length <= kMaxText && text[length] != '\0') ++length;
  return length;
}

std::uint32_t CrcOf(const void* bytes, std::uint32_t size, std::uint32_t crc = 0xFFFFFFFFu) {
  if (size != 0) (void)Crc()->UpdateCrc32(bytes, size, &crc);  // cannot fail with data
  return crc;
}

}  // namespace

PayloadWriter::~PayloadWriter() {
  if (directory_ != nullptr) (void)directory_->Close();
  if (checks_ != nullptr) (void)checks_->Close();
  if (customSetup_ != nullptr) (void)Memory()->Free(customSetup_);
}

Result PayloadWriter::Start(Stream* output, PayloadFormat format) {
  if (output == nullptr || output_ != nullptr) return kFail;
  SFX_TRY(output->Seek(0, kSeekCurrent, &start_));
  SFX_TRY(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &directory_));
  SFX_TRY(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &checks_));
  output_ = output;
  format_ = format;
  written_ = 0;
  std::memset(setup_, 0, sizeof setup_);
  setupSize_ = kSetupHeaderSize;
  if (format_ == PayloadFormat::kResourceFile) SFX_TRY(Emit(kResourceFileStart, sizeof kResourceFileStart));
  return kOk;
}

Result PayloadWriter::Emit(const void* bytes, std::uint32_t size) {
  SFX_TRY(EmitAt(written_, bytes, size));
  written_ += size;
  return kOk;
}

Result PayloadWriter::EmitAt(std::uint64_t offset, const void* bytes, std::uint32_t size) {
  if (size == 0) return kOk;
  // Every record and the directory must lie where 32-bit offsets reach.
  if (offset + size > limit_ || start_ + offset + size > 0xFFFFFFFFu) return kPayloadTooLarge;
  return output_->WriteAt(static_cast<std::uint32_t>(start_ + offset), bytes, size, nullptr);
}

std::uint32_t PayloadWriter::ResourceHeader(const char* name, std::uint32_t size, std::uint8_t* header) {
  std::memset(header, 0, 64);
  const std::uint32_t nameLength = static_cast<std::uint32_t>(std::strlen(name));
  std::uint32_t at = 8;
  StoreU16(header + at, 0xFFFF);
  StoreU16(header + at + 2, kRawDataType);
  at += 4;
  for (std::uint32_t i = 0; i <= nameLength; ++i, at += 2) StoreU16(header + at, static_cast<std::uint8_t>(name[i]));
  at = (at + 3) & ~3u;
  at += 4;  // DataVersion
  StoreU16(header + at, kMoveablePure);
  StoreU16(header + at + 2, kLanguageNeutral);
  at += 12;  // flags, language, Version, Characteristics
  StoreU32(header, size);
  StoreU32(header + 4, at);
  return at;
}

Result PayloadWriter::Remember(std::uint64_t offset, std::uint32_t size, std::uint32_t headSize, std::uint32_t headCrc,
                               std::uint32_t dataCrc) {
  std::uint8_t place[8];
  StoreU32(place, static_cast<std::uint32_t>(offset));
  StoreU32(place + 4, size);
  SFX_TRY(directory_->Write(place, sizeof place, nullptr));
  std::uint8_t check[12];
  StoreU32(check, headSize);
  StoreU32(check + 4, ~headCrc);
  StoreU32(check + 8, ~dataCrc);
  return checks_->Write(check, sizeof check, nullptr);
}

Result PayloadWriter::CheckOf(std::uint32_t n, RecordCheck* check) const {
  if (directory_ == nullptr || check == nullptr || n == 0) return kFail;
  std::uint8_t place[8], sums[12];
  SFX_TRY(directory_->ReadAt((n - 1) * 8, place, sizeof place, nullptr));
  SFX_TRY(checks_->ReadAt((n - 1) * 12, sums, sizeof sums, nullptr));
  *check = RecordCheck{LoadU32(place), LoadU32(place + 4), LoadU32(sums), LoadU32(sums + 4), LoadU32(sums + 8)};
  return kOk;
}

Result PayloadWriter::WriteRecord(const char* name, const void* first, std::uint32_t firstSize, const void* second,
                                  std::uint32_t secondSize, const void* third, std::uint32_t thirdSize) {
  const std::uint64_t total = static_cast<std::uint64_t>(firstSize) + secondSize + thirdSize;
  if (total > 0xFFFFFFFFu) return kPayloadTooLarge;
  const auto size = static_cast<std::uint32_t>(total);
  if (file_.open) return kFail;
  if (format_ == PayloadFormat::kResourceFile) {
    std::uint8_t header[64];
    SFX_TRY(Emit(header, ResourceHeader(name, size, header)));
  }
  const std::uint64_t offset = written_;
  SFX_TRY(Emit(first, firstSize));
  SFX_TRY(Emit(second, secondSize));
  SFX_TRY(Emit(third, thirdSize));
  if (format_ == PayloadFormat::kResourceFile) {
    static constexpr std::uint8_t kZeros[3] = {};
    SFX_TRY(Emit(kZeros, static_cast<std::uint32_t>((4 - size % 4) % 4)));
  }
  const std::uint32_t headCrc = CrcOf(second, secondSize, CrcOf(first, firstSize));
  return Remember(offset, size, firstSize + secondSize, headCrc, CrcOf(third, thirdSize));
}

Result PayloadWriter::SetSetup(const char* title, const char* program, const char* arguments) {
  if (output_ == nullptr) return kPayloadNotStarted;
  const std::uint32_t lengths[3] = {TextLength(title), TextLength(program), TextLength(arguments)};
  const char* texts[3] = {title, program, arguments};
  std::uint32_t at = kSetupHeaderSize;
  for (int i = 0; i < 3; ++i) {
    if (lengths[i] > kMaxText) return kPayloadTextTooLong;
    if (lengths[i] != 0) std::memcpy(setup_ + at, texts[i], lengths[i]);
    setup_[kSetupTitleLength + i] = static_cast<std::uint8_t>(lengths[i]);
    at += lengths[i];
  }
  setupSize_ = at;
  return kOk;
}

Result PayloadWriter::AddFileRecord(const FileHeader& header, const char* name, const void* stored) {
  if (output_ == nullptr) return kPayloadNotStarted;
  if (fileCount_ == 0xFFFFFFFFu) return kPayloadTooManyRecords;
  std::uint8_t bytes[kFileHeaderSize];
  EncodeFileHeader(header, bytes);
  char recordName[kRecordNameBytes];
  FormatRecordName(fileCount_ + 1, recordName);
  SFX_TRY(WriteRecord(recordName, bytes, sizeof bytes, name, header.nameLength, stored, header.storedSize));
  ++fileCount_;
  if (header.nameLength > maxNameLength_) maxNameLength_ = header.nameLength;
  if (header.storedSize > maxStoredSize_) maxStoredSize_ = header.storedSize;
  return kOk;
}

namespace {

// A record header carrying the time stamp; the caller fills in the rest.
FileHeader HeaderStamped(const DateTimeRecord& time) {
  FileHeader header{};
  header.year = time.year;
  header.month = time.month;
  header.day = time.day;
  header.hour = time.hour;
  header.minute = time.minute;
  header.second = time.second;
  header.hundredths = time.hundredths;
  return header;
}

}  // namespace

Result PayloadWriter::AddFolder(const char* name, const DateTimeRecord& time) {
  char folder[kMaxText + 2];
  const std::uint32_t length = TextLength(name);
  if (length == 0 || length > kMaxText) return kPayloadBadName;
  std::memcpy(folder, name, length);
  std::uint32_t total = length;
  if (!IsFolderEntryName(folder, length)) {
    if (length == kMaxText) return kPayloadBadName;
    folder[total++] = '/';
  }
  FileHeader header = HeaderStamped(time);
  header.method = kMethodStored;
  header.nameLength = static_cast<std::uint8_t>(total);
  return AddFileRecord(header, folder, nullptr);
}

Result PayloadWriter::AddFile(const char* name, const DateTimeRecord& time, std::uint8_t method, std::uint32_t size,
                              std::uint32_t crc, const void* stored, std::uint32_t storedSize, bool executable) {
  const std::uint32_t length = TextLength(name);
  if (length == 0 || length > kMaxText) return kPayloadBadName;
  FileHeader header = HeaderStamped(time);
  header.size = size;
  header.crc = crc;
  header.storedSize = storedSize;
  header.method = method;
  header.nameLength = static_cast<std::uint8_t>(length);
  if (executable) MarkExecutable(&header);
  return AddFileRecord(header, name, stored);
}

Result PayloadWriter::BeginFile(const char* name, const DateTimeRecord& time, bool executable) {
  if (output_ == nullptr) return kPayloadNotStarted;
  if (file_.open) return kFail;
  if (fileCount_ == 0xFFFFFFFFu) return kPayloadTooManyRecords;
  const std::uint32_t length = TextLength(name);
  if (length == 0 || length > kMaxText) return kPayloadBadName;
  file_ = OpenFile{};
  file_.header = HeaderStamped(time);
  file_.header.nameLength = static_cast<std::uint8_t>(length);
  if (executable) MarkExecutable(&file_.header);
  std::memcpy(file_.name, name, length);
  file_.resourceHeader = written_;
  if (format_ == PayloadFormat::kResourceFile) {
    char recordName[kRecordNameBytes];
    FormatRecordName(fileCount_ + 1, recordName);
    std::uint8_t header[64];
    SFX_TRY(Emit(header, ResourceHeader(recordName, 0, header)));  // its size comes with EndFile
  }
  file_.offset = written_;
  std::uint8_t header[kFileHeaderSize];
  EncodeFileHeader(file_.header, header);  // sizes, CRC and method come with EndFile
  SFX_TRY(Emit(header, sizeof header));
  SFX_TRY(Emit(name, length));
  file_.dataStart = written_;
  file_.dataCrc = 0xFFFFFFFFu;
  file_.open = true;
  return kOk;
}

Result PayloadWriter::AppendFileData(const void* bytes, std::uint32_t size) {
  if (!file_.open) return kFail;
  if (written_ + size - file_.dataStart > 0xFFFFFFFFu) return kPayloadTooLarge;
  SFX_TRY(Emit(bytes, size));
  file_.dataCrc = CrcOf(bytes, size, file_.dataCrc);
  return kOk;
}

Result PayloadWriter::RestartFileData() {
  if (!file_.open) return kFail;
  written_ = file_.dataStart;
  file_.dataCrc = 0xFFFFFFFFu;
  return kOk;
}

Result PayloadWriter::EndFile(std::uint8_t method, std::uint32_t size, std::uint32_t crc) {
  if (!file_.open) return kFail;
  file_.open = false;
  FileHeader& header = file_.header;
  header.size = size;
  header.crc = crc;
  header.method = method;
  header.storedSize = static_cast<std::uint32_t>(written_ - file_.dataStart);
  const std::uint32_t recordSize = kFileHeaderSize + header.nameLength + header.storedSize;
  if (recordSize < header.storedSize) return kPayloadTooLarge;
  if (format_ == PayloadFormat::kResourceFile) {
    std::uint8_t size4[4];
    StoreU32(size4, recordSize);
    SFX_TRY(EmitAt(file_.resourceHeader, size4, sizeof size4));
    static constexpr std::uint8_t kZeros[3] = {};
    SFX_TRY(Emit(kZeros, (4 - recordSize % 4) % 4));
  }
  std::uint8_t bytes[kFileHeaderSize];
  EncodeFileHeader(header, bytes);
  SFX_TRY(EmitAt(file_.offset, bytes, sizeof bytes));
  ++fileCount_;
  if (header.nameLength > maxNameLength_) maxNameLength_ = header.nameLength;
  if (header.storedSize > maxStoredSize_) maxStoredSize_ = header.storedSize;
  const std::uint32_t headCrc = CrcOf(file_.name, header.nameLength, CrcOf(bytes, sizeof bytes));
  return Remember(file_.offset, recordSize, kFileHeaderSize + header.nameLength, headCrc, file_.dataCrc);
}

Result PayloadWriter::AddRecord(const void* bytes, std::uint32_t size) {
  if (output_ == nullptr) return kPayloadNotStarted;
  if (fileCount_ == 0xFFFFFFFFu) return kPayloadTooManyRecords;
  char recordName[kRecordNameBytes];
  FormatRecordName(fileCount_ + 1, recordName);
  SFX_TRY(WriteRecord(recordName, bytes, size, nullptr, 0, nullptr, 0));
  ++fileCount_;
  return kOk;
}

Result PayloadWriter::SetSetupRecord(const void* bytes, std::uint32_t size) {
  if (output_ == nullptr) return kPayloadNotStarted;
  void* copy = nullptr;
  SFX_TRY(Memory()->Allocate(size, &copy));
  if (size != 0) std::memcpy(copy, bytes, size);
  if (customSetup_ != nullptr) (void)Memory()->Free(customSetup_);
  customSetup_ = copy;
  customSetupSize_ = size;
  return kOk;
}

Result PayloadWriter::Finish() {
  if (output_ == nullptr) return kPayloadNotStarted;
  if (file_.open) return kFail;
  if (customSetup_ != nullptr) {
    SFX_TRY(WriteRecord(kSetupRecordName, customSetup_, customSetupSize_, nullptr, 0, nullptr, 0));
  } else {
    SetupHeader header = DecodeSetupHeader(setup_);
    header.fileCount = fileCount_;
    header.maxNameLength = maxNameLength_;
    header.maxStoredSize = maxStoredSize_;
    EncodeSetupHeader(header, setup_);
    SFX_TRY(WriteRecord(kSetupRecordName, setup_, setupSize_, nullptr, 0, nullptr, 0));
  }
  if (format_ == PayloadFormat::kResourceFile) return kOk;

  // The directory: the setup record first (its name orders first), then
  // records 1, 2, ... whose fixed-width hexadecimal names order by number.
  void* block = nullptr;
  std::uint32_t placesSize = 0;
  SFX_TRY(MemoryStreams()->GetMemoryBlock(directory_, &block, &placesSize, nullptr));
  const auto* places = static_cast<const std::uint8_t*>(block);
  const std::uint32_t count = placesSize / 8;  // fileCount_ + 1
  constexpr std::uint32_t kNameLength = kRecordNameBytes - 1;
  const std::uint64_t directorySize = static_cast<std::uint64_t>(count) * (kPayloadEntrySize + kNameLength);
  if (written_ + directorySize + kPayloadTrailerSize > limit_) return kPayloadTooLarge;
  const auto directoryOffset = static_cast<std::uint32_t>(written_);
  const std::uint32_t namesStart = count * kPayloadEntrySize;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t record = i == 0 ? count - 1 : i - 1;  // where its place was remembered
    std::uint8_t entry[kPayloadEntrySize];
    std::memcpy(entry, places + record * 8, 8);
    StoreU32(entry + 8, namesStart + i * kNameLength);
    StoreU32(entry + 12, kNameLength);
    SFX_TRY(Emit(entry, sizeof entry));
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    char name[kRecordNameBytes];
    FormatRecordName(i, name);
    SFX_TRY(Emit(name, kNameLength));
  }
  std::uint8_t trailer[kPayloadTrailerSize] = {};
  std::memcpy(trailer + kTrailerMagic, kPayloadMagic, sizeof kPayloadMagic);
  StoreU32(trailer + kTrailerVersion, kPayloadVersion);
  StoreU32(trailer + kTrailerEntryCount, count);
  StoreU32(trailer + kTrailerDirectoryOffset, directoryOffset);
  StoreU32(trailer + kTrailerDirectorySize, static_cast<std::uint32_t>(directorySize));
  const std::uint64_t imageSize = written_ + kPayloadTrailerSize;
  StoreU64(trailer + kTrailerImageSize, imageSize);
  return Emit(trailer, sizeof trailer);
}

}  // namespace sfx::payload

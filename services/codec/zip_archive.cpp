#include "services/codec/zip_archive.h"

#include <algorithm>

#include "services/codec/deflater.h"
#include "services/codec/zip_format_p.h"
#include "services/core/memory_service.h"
#include "services/core/registry_p.h"

namespace sfx {
namespace {

using namespace zip;

// Stream positions are 32-bit; sums of untrusted fields are formed in 64 bits
// and checked against the range before they are used.
using Wide = std::uint64_t;

inline constexpr std::uint32_t kSearchChunkBytes = 512;

ZipArchiveService g_zipArchiveService;

bool SameSignature(const std::uint8_t* bytes, const std::uint8_t (&signature)[kSignatureBytes]) {
  return std::equal(signature, signature + kSignatureBytes, bytes);
}

// Reads exactly count bytes: a stream kind that reports a short read as
// success must not leave stale bytes behind as record fields.
Result ReadFully(Stream* stream, std::uint32_t position, void* buffer, std::uint32_t count) {
  std::uint32_t done = 0;
  SFX_TRY(stream->ReadAt(position, buffer, count, &done));
  return done == count ? kOk : kStreamShortRead;
}

Result WriteFully(Stream* stream, std::uint32_t position, const void* buffer, std::uint32_t count) {
  std::uint32_t done = 0;
  SFX_TRY(stream->WriteAt(position, buffer, count, &done));
  return done == count ? kOk : kStreamShortWrite;
}

// A component out of range contributes 0, so a bad time never spills into
// its neighbours' bits.
void EncodeDosTime(const DateTimeRecord& t, std::uint16_t* time, std::uint16_t* date) {
  const std::uint32_t second = t.second <= 58 ? t.second / 2u : 0;
  const std::uint32_t minute = t.minute <= 59 ? t.minute : 0;
  const std::uint32_t hour = t.hour <= 23 ? t.hour : 0;
  const std::uint32_t day = t.day >= 1 && t.day <= 31 ? t.day : 0;
  const std::uint32_t month = t.month >= 1 && t.month <= 12 ? t.month : 0;
  const std::uint32_t year = t.year >= kDosYearBase && t.year <= kDosYearLast ? t.year - kDosYearBase : 0;
  *time = static_cast<std::uint16_t>(second | minute << 5 | hour << 11);
  *date = static_cast<std::uint16_t>(day | month << 5 | year << 9);
}

DateTimeRecord DecodeDosTime(std::uint16_t time, std::uint16_t date) {
  DateTimeRecord t{};
  t.year = static_cast<std::uint16_t>(date / 512 + kDosYearBase);
  t.month = static_cast<std::uint8_t>((date >> 5) & 0x0F);
  t.day = static_cast<std::uint8_t>(date & 0x1F);
  t.hour = static_cast<std::uint8_t>(time >> 11);
  t.minute = static_cast<std::uint8_t>((time >> 5) & 0x3F);
  t.second = static_cast<std::uint8_t>((time & 0x1F) * 2);
  t.hundredths = 0;
  return t;
}

class ZipArchiveInstance final : public ZipArchive {
 public:
  explicit ZipArchiveInstance(std::uint32_t blockSize) : blockSize_(blockSize) {}

  Result DestroyZipArchive() override;
  Result OpenArchive(Stream* stream, std::uint32_t start, std::uint32_t length) override;
  Result NewArchive(Stream* stream, std::uint32_t position) override;
  Result GetArchiveInfo(std::uint16_t* diskNumber, std::uint16_t* directoryDisk, std::uint16_t* recordsOnDisk,
                        std::uint16_t* totalRecords, std::uint16_t* commentLength,
                        std::uint32_t* commentPosition) override;
  Result FirstEntry() override;
  Result NextEntry() override;
  Result GetEntryInfo(DateTimeRecord* dateTime, std::uint32_t* crc, std::uint32_t* compressedSize,
                      std::uint32_t* uncompressedSize, std::uint16_t* nameLength, std::uint32_t* namePosition) override;
  Result GetEntryExtra(std::uint16_t* flags, std::uint16_t* method, std::uint16_t* commentLength,
                       std::uint32_t* commentPosition, std::uint32_t* externalAttributes) override;
  Result ExtractEntry(Stream* output, std::uint32_t* size, std::uint32_t* crc, ProgressSink* progress) override;
  Result AddEntry(Stream* input, std::uint32_t position, std::uint32_t length, const void* name,
                  std::uint32_t nameLength, const DateTimeRecord* dateTime, ProgressSink* progress) override;

  Result CreateCoders();

 private:
  Wide RangeEnd() const { return Wide{start_} + length_; }
  std::uint16_t End16(std::uint32_t field) const { return Get16(endRecord_, field); }
  std::uint32_t End32(std::uint32_t field) const { return Get32(endRecord_, field); }
  std::uint16_t Entry16(std::uint32_t field) const { return Get16(entryRecord_, field); }
  std::uint32_t Entry32(std::uint32_t field) const { return Get32(entryRecord_, field); }
  Result FindEndRecord(std::uint32_t* position);
  Result ReadEntryAt(Wide position);
  Result CheckAppendable();

  std::uint32_t blockSize_;
  Deflater* deflater_ = nullptr;
  Inflater* inflater_ = nullptr;
  Stream* stream_ = nullptr;
  std::uint32_t start_ = 0;
  std::uint32_t length_ = 0;
  std::uint32_t endRecordPosition_ = 0;
  std::uint8_t endRecord_[kEndRecordBytes] = {};
  std::uint32_t entryIndex_ = 0;
  std::uint32_t entryPosition_ = 0;  // 0: no current record (a record follows at least its signature)
  std::uint8_t entryRecord_[kEntryRecordBytes] = {};
};

// ---- life cycle ----

Result ZipArchiveInstance::CreateCoders() {
  SFX_TRY(Deflaters()->CreateDeflater(blockSize_, &deflater_));
  return Inflaters()->CreateInflater(blockSize_, &inflater_);
}

Result ZipArchiveInstance::DestroyZipArchive() {
  Result last = kOk;
  if (inflater_ != nullptr) {
    const Result r = inflater_->DestroyInflater();
    if (Failed(r)) last = r;
  }
  if (deflater_ != nullptr) {
    const Result r = deflater_->DestroyDeflater();
    if (Failed(r)) last = r;
  }
  const Result r = DeleteInstance(this);
  return Failed(r) ? r : last;
}

// ---- opening ----

// Scans the range backwards for the last end signature that leaves room for
// the whole 22-byte record inside the range. A signature in the last 21 bytes
// cannot start a record there, so the scan starts 18 bytes before the end.
// The signature does not overlap itself, so a matcher that restarts on a
// mismatch finds every occurrence.
Result ZipArchiveInstance::FindEndRecord(std::uint32_t* position) {
  if (length_ < kEndRecordTotalBytes) return kZipNoEndRecord;
  std::uint32_t scanEnd = start_ + length_ - kEndRecordBytes;  // one past the last signature byte allowed
  std::uint8_t chunk[kSearchChunkBytes];
  int expect = kSignatureBytes - 1;  // index of the signature byte expected next, scanning backwards
  while (scanEnd > start_) {
    const std::uint32_t count = std::min(kSearchChunkBytes, scanEnd - start_);
    const std::uint32_t chunkStart = scanEnd - count;
    SFX_TRY(ReadFully(stream_, chunkStart, chunk, count));
    for (std::uint32_t i = count; i-- > 0;) {
      const std::uint8_t b = chunk[i];
      if (b == kEndSignature[expect]) {
        if (expect == 0) {
          *position = chunkStart + i;
          return kOk;
        }
        --expect;
      } else {
        expect = b == kEndSignature[kSignatureBytes - 1] ? kSignatureBytes - 2 : kSignatureBytes - 1;
      }
    }
    scanEnd = chunkStart;
  }
  return kZipNoEndRecord;
}

Result ZipArchiveInstance::OpenArchive(Stream* stream, std::uint32_t start, std::uint32_t length) {
  if (stream == nullptr) return kNullOutput;
  std::uint32_t size = 0;
  SFX_TRY(stream->GetSize(&size));
  length = std::min(length, size > start ? size - start : 0u);
  stream_ = stream;
  start_ = start;
  length_ = length;
  entryIndex_ = 0;
  entryPosition_ = 0;
  std::uint32_t found = 0;
  Result r = FindEndRecord(&found);
  if (Succeeded(r)) r = ReadFully(stream_, found + kSignatureBytes, endRecord_, kEndRecordBytes);
  if (Failed(r)) {
    stream_ = nullptr;  // no archive is open: the operations on it fail until one is
    return r;
  }
  endRecordPosition_ = found;
  return kOk;
}

Result ZipArchiveInstance::NewArchive(Stream* stream, std::uint32_t position) {
  if (stream == nullptr) return kNullOutput;
  if (Wide{position} + kEndRecordTotalBytes > 0xFFFFFFFFu) return kFail;
  stream_ = stream;
  start_ = position;
  length_ = kEndRecordTotalBytes;
  endRecordPosition_ = position;
  std::fill(std::begin(endRecord_), std::end(endRecord_), std::uint8_t{0});
  entryIndex_ = 0;
  entryPosition_ = 0;
  SFX_TRY(stream->SetSize(position + kEndRecordTotalBytes));
  SFX_TRY(WriteFully(stream, position, kEndSignature, kSignatureBytes));
  return WriteFully(stream, position + kSignatureBytes, endRecord_, kEndRecordBytes);
}

Result ZipArchiveInstance::GetArchiveInfo(std::uint16_t* diskNumber, std::uint16_t* directoryDisk,
                                          std::uint16_t* recordsOnDisk, std::uint16_t* totalRecords,
                                          std::uint16_t* commentLength, std::uint32_t* commentPosition) {
  if (stream_ == nullptr) return kFail;
  if (diskNumber != nullptr) *diskNumber = End16(kEndDiskNumber);
  if (directoryDisk != nullptr) *directoryDisk = End16(kEndDirectoryDisk);
  if (recordsOnDisk != nullptr) *recordsOnDisk = End16(kEndRecordsOnDisk);
  if (totalRecords != nullptr) *totalRecords = End16(kEndTotalRecords);
  if (commentLength != nullptr) *commentLength = End16(kEndCommentLength);
  if (commentPosition != nullptr) *commentPosition = endRecordPosition_ + kEndRecordTotalBytes;
  return kOk;
}

// ---- the central directory walk ----

// The offsets and lengths come from the archive and are untrusted: a record
// that would reach past the range is as bad as a wrong signature.
Result ZipArchiveInstance::ReadEntryAt(Wide position) {
  if (position + kEntryRecordTotalBytes > RangeEnd()) return kZipBadRecord;
  std::uint8_t record[kEntryRecordTotalBytes];
  SFX_TRY(ReadFully(stream_, static_cast<std::uint32_t>(position), record, kEntryRecordTotalBytes));
  if (!SameSignature(record, kDirectorySignature)) return kZipBadRecord;
  std::copy(record + kSignatureBytes, record + kEntryRecordTotalBytes, entryRecord_);
  entryPosition_ = static_cast<std::uint32_t>(position) + kSignatureBytes;
  return kOk;
}

Result ZipArchiveInstance::FirstEntry() {
  if (stream_ == nullptr) return kFail;
  if (End16(kEndRecordsOnDisk) == 0) return kZipNoMoreEntries;
  entryPosition_ = 0;
  SFX_TRY(ReadEntryAt(Wide{start_} + End32(kEndDirectoryOffset)));
  entryIndex_ = 0;
  return kOk;
}

Result ZipArchiveInstance::NextEntry() {
  if (stream_ == nullptr || entryPosition_ == 0) return kFail;
  if (entryIndex_ + 1 >= End16(kEndRecordsOnDisk)) return kZipNoMoreEntries;
  const Wide next = Wide{entryPosition_} + kEntryRecordBytes + Entry16(kEntryNameLength) + Entry16(kEntryExtraLength) +
                    Entry16(kEntryCommentLength);
  const std::uint32_t current = entryPosition_;
  const Result r = ReadEntryAt(next);
  if (Failed(r)) {
    entryPosition_ = current;  // the current record stays what it was
    return r;
  }
  ++entryIndex_;
  return kOk;
}

Result ZipArchiveInstance::GetEntryInfo(DateTimeRecord* dateTime, std::uint32_t* crc, std::uint32_t* compressedSize,
                                        std::uint32_t* uncompressedSize, std::uint16_t* nameLength,
                                        std::uint32_t* namePosition) {
  if (entryPosition_ == 0) return kFail;
  if (dateTime != nullptr) *dateTime = DecodeDosTime(Entry16(kEntryDosTime), Entry16(kEntryDosDate));
  if (crc != nullptr) *crc = Entry32(kEntryCrc);
  if (compressedSize != nullptr) *compressedSize = Entry32(kEntryCompressedSize);
  if (uncompressedSize != nullptr) *uncompressedSize = Entry32(kEntryUncompressedSize);
  if (nameLength != nullptr) *nameLength = Entry16(kEntryNameLength);
  if (namePosition != nullptr) *namePosition = entryPosition_ + kEntryRecordBytes;
  return kOk;
}

Result ZipArchiveInstance::GetEntryExtra(std::uint16_t* flags, std::uint16_t* method, std::uint16_t* commentLength,
                                         std::uint32_t* commentPosition, std::uint32_t* externalAttributes) {
  if (entryPosition_ == 0) return kFail;
  if (flags != nullptr) *flags = Entry16(kEntryFlags);
  if (method != nullptr) *method = Entry16(kEntryMethod);
  if (commentLength != nullptr) *commentLength = Entry16(kEntryCommentLength);
  if (commentPosition != nullptr) {
    *commentPosition = entryPosition_ + kEntryRecordBytes + Entry16(kEntryNameLength) + Entry16(kEntryExtraLength);
  }
  if (externalAttributes != nullptr) *externalAttributes = Entry32(kEntryExternalAttributes);
  return kOk;
}

// ---- extraction ----

Result ZipArchiveInstance::ExtractEntry(Stream* output, std::uint32_t* size, std::uint32_t* crc,
                                        ProgressSink* progress) {
  if (entryPosition_ == 0) return kFail;
  if (output == nullptr) return kNullOutput;
  const Wide headerPosition = Wide{start_} + Entry32(kEntryLocalHeaderOffset);
  if (headerPosition + kLocalHeaderTotalBytes > RangeEnd()) return kZipBadRecord;
  std::uint8_t header[kLocalHeaderTotalBytes];
  SFX_TRY(ReadFully(stream_, static_cast<std::uint32_t>(headerPosition), header, kLocalHeaderTotalBytes));
  if (!SameSignature(header, kLocalHeaderSignature)) return kZipBadRecord;
  const std::uint8_t* local = header + kSignatureBytes;
  const std::uint16_t flags = Get16(local, kLocalFlags);
  if (flags & kFlagEncrypted) return kZipEncrypted;
  if (Get16(local, kLocalMethod) != kMethodDeflate) return kZipUnsupportedMethod;

  const Wide dataPosition =
      headerPosition + kLocalHeaderTotalBytes + Get16(local, kLocalNameLength) + Get16(local, kLocalExtraLength);
  if (dataPosition > RangeEnd()) return kZipBadRecord;
  // A member written with its sizes after the data has zeros in the local
  // header; the directory record holds the real size.
  const std::uint32_t compressed =
      (flags & kFlagDataDescriptor) ? Entry32(kEntryCompressedSize) : Get32(local, kLocalCompressedSize);
  // The decoder never reads past the archive: data that claims more than the
  // range holds ends where the range ends.
  const std::uint32_t available = static_cast<std::uint32_t>(std::min<Wide>(compressed, RangeEnd() - dataPosition));
  SFX_TRY(inflater_->InitInputStream(stream_, static_cast<std::uint32_t>(dataPosition), available));
  if (crc != nullptr) *crc = 0xFFFFFFFFu;
  return inflater_->Extract(output, size, crc, nullptr, progress);
}

// ---- appending ----

// Appending moves the central directory and rewrites the end record from the
// end record's own fields; trusting a damaged one would overwrite members or
// data that follows the archive. Everything is checked before the first write.
Result ZipArchiveInstance::CheckAppendable() {
  if (End16(kEndDiskNumber) != 0 || End16(kEndDirectoryDisk) != 0) return kZipBadRecord;
  if (End16(kEndRecordsOnDisk) != End16(kEndTotalRecords)) return kZipBadRecord;
  const Wide directorySize = End32(kEndDirectorySize);
  if (Wide{start_} + End32(kEndDirectoryOffset) + directorySize != endRecordPosition_) return kZipBadRecord;
  if (directorySize < Wide{End16(kEndRecordsOnDisk)} * kEntryRecordTotalBytes) return kZipBadRecord;
  const Wide archiveEnd = Wide{endRecordPosition_} + kEndRecordTotalBytes + End16(kEndCommentLength);
  if (archiveEnd > RangeEnd()) return kZipBadRecord;
  // Whatever follows the range in the stream would be overwritten and cut off.
  std::uint32_t size = 0;
  SFX_TRY(stream_->GetSize(&size));
  if (RangeEnd() != size) return kZipBadRecord;
  // The record counts are 16 bits wide.
  if (End16(kEndRecordsOnDisk) == 0xFFFF) return kFail;
  return kOk;
}

Result ZipArchiveInstance::AddEntry(Stream* input, std::uint32_t position, std::uint32_t length, const void* name,
                                    std::uint32_t nameLength, const DateTimeRecord* dateTime,
                                    ProgressSink* /*progress: accepted, not called*/) {
  if (stream_ == nullptr) return kFail;
  if (input == nullptr || dateTime == nullptr || (name == nullptr && nameLength != 0)) return kNullOutput;
  SFX_TRY(CheckAppendable());
  std::uint32_t inputSize = 0;
  SFX_TRY(input->GetSize(&inputSize));
  length = std::min(length, inputSize > position ? inputSize - position : 0u);
  nameLength = std::min(nameLength, kMaxNameLength);

  const std::uint32_t entryStart = endRecordPosition_ + kEndRecordTotalBytes + End16(kEndCommentLength);
  if (Wide{entryStart} + kLocalHeaderTotalBytes + nameLength > 0xFFFFFFFFu) return kFail;  // 32-bit positions
  const std::uint32_t dataStart = entryStart + kLocalHeaderTotalBytes + nameLength;
  std::uint16_t dosTime = 0;
  std::uint16_t dosDate = 0;
  EncodeDosTime(*dateTime, &dosTime, &dosDate);

  std::uint8_t header[kLocalHeaderTotalBytes] = {};
  std::copy(kLocalHeaderSignature, kLocalHeaderSignature + kSignatureBytes, header);
  std::uint8_t* local = header + kSignatureBytes;
  Put16(local, kLocalVersionNeeded, kVersionNeededDeflate);
  Put16(local, kLocalMethod, kMethodDeflate);
  Put16(local, kLocalDosTime, dosTime);
  Put16(local, kLocalDosDate, dosDate);
  Put32(local, kLocalUncompressedSize, length);
  Put16(local, kLocalNameLength, nameLength);
  SFX_TRY(WriteFully(stream_, entryStart, header, kLocalHeaderTotalBytes));
  SFX_TRY(WriteFully(stream_, entryStart + kLocalHeaderTotalBytes, name, nameLength));

  std::uint32_t crc = 0xFFFFFFFFu;
  std::uint32_t compressed = 0;
  SFX_TRY(deflater_->InitOutputStream(stream_, dataStart));
  SFX_TRY(deflater_->Compress(input, position, length, &crc, nullptr));
  SFX_TRY(deflater_->FinishOutput(&compressed));
  crc = ~crc;
  Put32(local, kLocalCrc, crc);
  Put32(local, kLocalCompressedSize, compressed);
  SFX_TRY(WriteFully(stream_, entryStart + kSignatureBytes, local, kLocalHeaderBytes));

  // The member moves to where the directory began and the directory after it.
  const std::uint32_t directorySize = End32(kEndDirectorySize);
  const std::uint32_t directoryStart = start_ + End32(kEndDirectoryOffset);
  const Wide entrySize = Wide{kLocalHeaderTotalBytes} + nameLength + compressed;
  const Wide newEnd = Wide{directoryStart} + entrySize + directorySize + kEntryRecordTotalBytes + nameLength;
  // The copy of the member still lies after the old archive end while it moves.
  if (Wide{entryStart} + entrySize + directorySize > 0xFFFFFFFFu || newEnd + kEndRecordTotalBytes > 0xFFFFFFFFu) {
    return kFail;
  }
  const auto size32 = static_cast<std::uint32_t>(entrySize);
  SFX_TRY(stream_->CopyRange(directoryStart, directorySize, stream_, entryStart + size32));
  SFX_TRY(stream_->CopyRange(entryStart, size32 + directorySize, stream_, directoryStart));

  const std::uint32_t recordPosition = directoryStart + size32 + directorySize;
  std::uint8_t record[kEntryRecordTotalBytes] = {};
  std::copy(kDirectorySignature, kDirectorySignature + kSignatureBytes, record);
  std::uint8_t* entry = record + kSignatureBytes;
  Put16(entry, kEntryVersionNeeded, kVersionNeededDeflate);
  Put16(entry, kEntryMethod, kMethodDeflate);
  Put16(entry, kEntryDosTime, dosTime);
  Put16(entry, kEntryDosDate, dosDate);
  Put32(entry, kEntryCrc, crc);
  Put32(entry, kEntryCompressedSize, compressed);
  Put32(entry, kEntryUncompressedSize, length);
  Put16(entry, kEntryNameLength, nameLength);
  Put32(entry, kEntryLocalHeaderOffset, directoryStart - start_);
  SFX_TRY(WriteFully(stream_, recordPosition, record, kEntryRecordTotalBytes));
  SFX_TRY(WriteFully(stream_, recordPosition + kEntryRecordTotalBytes, name, nameLength));
  std::copy(entry, entry + kEntryRecordBytes, entryRecord_);
  entryIndex_ = End16(kEndRecordsOnDisk);
  entryPosition_ = recordPosition + kSignatureBytes;

  const std::uint32_t records = End16(kEndRecordsOnDisk) + 1u;
  Put16(endRecord_, kEndCommentLength, 0);
  Put32(endRecord_, kEndDirectorySize, directorySize + kEntryRecordTotalBytes + nameLength);
  Put16(endRecord_, kEndRecordsOnDisk, records);
  Put16(endRecord_, kEndTotalRecords, records);
  Put32(endRecord_, kEndDirectoryOffset, End32(kEndDirectoryOffset) + size32);
  endRecordPosition_ = static_cast<std::uint32_t>(newEnd);
  SFX_TRY(WriteFully(stream_, endRecordPosition_, kEndSignature, kSignatureBytes));
  SFX_TRY(WriteFully(stream_, endRecordPosition_ + kSignatureBytes, endRecord_, kEndRecordBytes));
  length_ = endRecordPosition_ + kEndRecordTotalBytes - start_;
  return stream_->SetSize(endRecordPosition_ + kEndRecordTotalBytes);
}

}  // namespace

ServiceObject* detail::TheZipArchiveService() { return &g_zipArchiveService; }

Result ZipArchiveOperations::CreateZipArchive(std::uint32_t blockSize, ZipArchive** out) {
  // The service and its instances share this slot.
  return ZipArchives()->CreateZipArchive(blockSize, out);
}

Result ZipArchiveService::CreateZipArchive(std::uint32_t blockSize, ZipArchive** out) {
  if (out == nullptr) return kNullOutput;
  ZipArchiveInstance* archive = nullptr;
  if (Failed(NewInstance(&archive, blockSize))) return kOutOfMemory;
  const Result r = archive->CreateCoders();
  if (Failed(r)) {
    (void)archive->DestroyZipArchive();  // the creation's failure is the one reported
    return r;
  }
  *out = archive;
  return kOk;
}

}  // namespace sfx

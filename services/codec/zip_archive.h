// ZIP archives (single disk, no ZIP64) held in a range of a Stream. A
// ZipArchive finds the end record, walks the central directory one record at
// a time, reports each member's fields, extracts the current member through
// its Inflater and appends new members compressed by its Deflater, moving the
// central directory behind them. Only method 8 (DEFLATE) is supported.
//
// The service and its instances share one table: slot 1 is called on the
// service object, slots 2 to 11 on a ZipArchive (kFail on the service).
#pragma once

#include <cstdint>

#include "services/codec/inflater.h"
#include "services/core/file_system.h"
#include "services/core/service.h"
#include "services/core/stream.h"

namespace sfx {

// Codes of the ZIP facility.
inline constexpr Result kZipNoEndRecord = FailureCode(facility::kZipArchive, 0x0001);     // 0x82030001
inline constexpr Result kZipBadRecord = FailureCode(facility::kZipArchive, 0x0002);       // 0x82030002
inline constexpr Result kZipEncrypted = FailureCode(facility::kZipArchive, 0x0003);       // 0x82030003
inline constexpr Result kZipUnsupportedMethod = FailureCode(facility::kGeneral, 0x0004);  // 0x80000004
// FirstEntry and NextEntry: there is no record to read (a success).
inline constexpr Result kZipNoMoreEntries = 5;

class ZipArchive;

class ZipArchiveOperations : public ServiceObject {
 public:
  // 1. Allocates the instance, its Deflater (blockSize 1..32768) and its
  //    Inflater (window blockSize); 32768 suits both. On a failure the
  //    half-built archive is destroyed and the failure returned.
  virtual Result CreateZipArchive(std::uint32_t blockSize, ZipArchive** out);
  // 2. Destroys the Inflater and Deflater and frees the instance; the stream
  //    stays open. Returns the last failure or 0.
  virtual Result DestroyZipArchive() { return kFail; }
  // 3. The archive is the range [start, start + length) of stream, clamped to
  //    the stream's size. Finds the last end record whose 22 bytes lie inside
  //    the range (kZipNoEndRecord when there is none).
  virtual Result OpenArchive(Stream* stream, std::uint32_t start, std::uint32_t length) {
    (void)stream, (void)start, (void)length;
    return kFail;
  }
  // 4. Writes an empty archive (its end record) at position and cuts the
  //    stream off after it.
  virtual Result NewArchive(Stream* stream, std::uint32_t position) {
    (void)stream, (void)position;
    return kFail;
  }
  // 5. The end record's fields; the comment starts at commentPosition. Each output is optional.
  virtual Result GetArchiveInfo(std::uint16_t* diskNumber, std::uint16_t* directoryDisk, std::uint16_t* recordsOnDisk,
                                std::uint16_t* totalRecords, std::uint16_t* commentLength,
                                std::uint32_t* commentPosition) {
    (void)diskNumber, (void)directoryDisk, (void)recordsOnDisk, (void)totalRecords, (void)commentLength,
        (void)commentPosition;
    return kFail;
  }
  // 6./7. Make the first or next central directory record current;
  //    kZipNoMoreEntries when there is none, kZipBadRecord when the record
  //    does not start with its signature or does not fit in the range.
  virtual Result FirstEntry() { return kFail; }
  virtual Result NextEntry() { return kFail; }
  // 8. The current record's time (even seconds, hundredths 0), CRC-32, sizes,
  //    and where its name lies in the stream. Each output is optional.
  virtual Result GetEntryInfo(DateTimeRecord* dateTime, std::uint32_t* crc, std::uint32_t* compressedSize,
                              std::uint32_t* uncompressedSize, std::uint16_t* nameLength, std::uint32_t* namePosition) {
    (void)dateTime, (void)crc, (void)compressedSize, (void)uncompressedSize, (void)nameLength, (void)namePosition;
    return kFail;
  }
  // 9. More of the current record. Each output is optional.
  virtual Result GetEntryExtra(std::uint16_t* flags, std::uint16_t* method, std::uint16_t* commentLength,
                               std::uint32_t* commentPosition, std::uint32_t* externalAttributes) {
    (void)flags, (void)method, (void)commentLength, (void)commentPosition, (void)externalAttributes;
    return kFail;
  }
  // 10. Decodes the current member into output. size, crc and progress are
  //     optional; crc is started at 0xFFFFFFFF and returned uncomplemented.
  //     Neither size nor CRC is compared here.
  virtual Result ExtractEntry(Stream* output, std::uint32_t* size, std::uint32_t* crc, ProgressSink* progress) {
    (void)output, (void)size, (void)crc, (void)progress;
    return kFail;
  }
  // 11. Appends length bytes of input from position (clamped to its size)
  //     as a new DEFLATE member named by the first min(nameLength, 65535)
  //     bytes of name. The archive comment is dropped and the stream ends
  //     after the new end record. An archive whose end record does not agree
  //     with its directory, or which does not end its stream, is refused with
  //     kZipBadRecord before anything is written. progress is not called.
  virtual Result AddEntry(Stream* input, std::uint32_t position, std::uint32_t length, const void* name,
                          std::uint32_t nameLength, const DateTimeRecord* dateTime, ProgressSink* progress) {
    (void)input, (void)position, (void)length, (void)name, (void)nameLength, (void)dateTime, (void)progress;
    return kFail;
  }
  virtual Result ReservedLast() { return kFail; }

 protected:
  ZipArchiveOperations() = default;
  ~ZipArchiveOperations() = default;
};

class ZipArchiveService final : public ZipArchiveOperations {
 public:
  Result CreateZipArchive(std::uint32_t blockSize, ZipArchive** out) override;
  ZipArchiveService() = default;
};

// An instance; its concrete kind is private to the service.
class ZipArchive : public ZipArchiveOperations {
 protected:
  ZipArchive() = default;
  ~ZipArchive() = default;
};

inline ZipArchiveService* ZipArchives() { return Service<ZipArchiveService>(Slot::kZipArchive); }

}  // namespace sfx

// Writing a launcher payload: the setup record and the numbered file records
// in exactly the layouts the launcher reads, as either
//  - an appended payload image (POSIX launchers: the stub executable followed
//    by the image; payload/image.h, docs/payload-format.md), or
//  - a Win32 resource file (.res) of RT_RCDATA resources, language-neutral,
//    which the resource compiler turns into an object to link with the
//    Windows launcher.
//
// Records go to the output stream as they are added; only the directory and
// a check of each record (a few bytes per record) are kept until Finish. The
// caller compresses: a file record takes its stored bytes as they are (raw
// DEFLATE for method 0, the content for method 1) with the content's size and
// CRC-32, either at once (AddFile) or in pieces (BeginFile ... EndFile), so
// that a file never has to be held whole. Bytes go to the stream by explicit
// positions, so a record's header can be completed after its data.
#pragma once

#include <cstdint>

#include "payload/records.h"
#include "services/core/file_system.h"
#include "services/core/service.h"
#include "services/core/stream.h"

namespace sfx::payload {

// Codes of the payload writer, in a facility no service uses.
inline constexpr std::uint32_t kPayloadFacility = 0x0100;
inline constexpr Result kPayloadTextTooLong = FailureCode(kPayloadFacility, 0x0001);  // more than 255 bytes
inline constexpr Result kPayloadBadName = FailureCode(kPayloadFacility, 0x0002);      // empty or over 255 bytes
inline constexpr Result kPayloadTooLarge = FailureCode(kPayloadFacility, 0x0003);     // past 4 GiB
inline constexpr Result kPayloadTooManyRecords = FailureCode(kPayloadFacility, 0x0004);
inline constexpr Result kPayloadNotStarted = FailureCode(kPayloadFacility, 0x0005);

enum class PayloadFormat { kAppendedImage, kResourceFile };

class PayloadWriter {
 public:
  PayloadWriter() = default;
  ~PayloadWriter();
  PayloadWriter(const PayloadWriter&) = delete;
  PayloadWriter& operator=(const PayloadWriter&) = delete;

  // Writes from the stream's current position, which becomes the image start.
  [[nodiscard]] Result Start(Stream* output, PayloadFormat format);

  // The texts of the setup record, each at most 255 bytes (the title shows
  // its first 31). Without this call all three are empty.
  [[nodiscard]] Result SetSetup(const char* title, const char* program, const char* arguments);

  // A folder entry; a '/' is added when the name has no trailing separator.
  [[nodiscard]] Result AddFolder(const char* name, const DateTimeRecord& time);
  // A file entry with its stored bytes.
  [[nodiscard]] Result AddFile(const char* name, const DateTimeRecord& time, std::uint8_t method, std::uint32_t size,
                               std::uint32_t crc, const void* stored, std::uint32_t storedSize,
                               bool executable = false);
  // A file entry whose stored bytes follow in pieces: BeginFile writes the
  // record's header (completed by EndFile) and its name, AppendFileData the
  // stored bytes in order. RestartFileData drops what was appended so far:
  // the next piece goes to the start of the data again, over the old bytes
  // (the caller falls back to storing a file whose compressed form grew
  // past it, so the new bytes cover the old ones). No other record may be
  // added between BeginFile and EndFile.
  [[nodiscard]] Result BeginFile(const char* name, const DateTimeRecord& time, bool executable = false);
  [[nodiscard]] Result AppendFileData(const void* bytes, std::uint32_t size);
  [[nodiscard]] Result RestartFileData();
  [[nodiscard]] Result EndFile(std::uint8_t method, std::uint32_t size, std::uint32_t crc);

  // Any bytes as the next file record (tests build malformed records).
  [[nodiscard]] Result AddRecord(const void* bytes, std::uint32_t size);
  // Any bytes as the setup record, instead of the one built from SetSetup.
  [[nodiscard]] Result SetSetupRecord(const void* bytes, std::uint32_t size);

  // Writes the setup record (with the file count and the largest name length
  // and stored size) and, for an image, its directory and trailer.
  [[nodiscard]] Result Finish();

  std::uint32_t fileCount() const { return fileCount_; }
  // Bytes written since Start.
  std::uint64_t written() const { return written_; }

  // The image may not pass `bytes` (below the format's 4 GiB; tests use
  // small ones): past it the writer fails with kPayloadTooLarge.
  void LimitSize(std::uint64_t bytes) { limit_ = bytes < kFormatLimit ? bytes : kFormatLimit; }

  // What a reader of the finished output checks record n against (the setup
  // record is n = fileCount + 1, as it is written last): where the record
  // lies from the image start, its size, and the CRC-32 (complemented) of
  // its first headSize bytes (header and name) and of the rest.
  struct RecordCheck {
    std::uint32_t offset, size, headSize, headCrc, dataCrc;
  };
  [[nodiscard]] Result CheckOf(std::uint32_t n, RecordCheck* check) const;
  static constexpr std::uint64_t kFormatLimit = 0xFFFFFFFFu;

 private:
  // Writes one record from up to three pieces and remembers where it went.
  Result WriteRecord(const char* name, const void* first, std::uint32_t firstSize, const void* second,
                     std::uint32_t secondSize, const void* third, std::uint32_t thirdSize);
  Result Emit(const void* bytes, std::uint32_t size);
  Result EmitAt(std::uint64_t offset, const void* bytes, std::uint32_t size);
  Result AddFileRecord(const FileHeader& header, const char* name, const void* stored);
  // The record header of a resource file, for a record of `size` bytes.
  static std::uint32_t ResourceHeader(const char* name, std::uint32_t size, std::uint8_t* header);
  Result Remember(std::uint64_t offset, std::uint32_t size, std::uint32_t headSize, std::uint32_t headCrc,
                  std::uint32_t dataCrc);

  Stream* output_ = nullptr;
  PayloadFormat format_ = PayloadFormat::kAppendedImage;
  std::uint32_t start_ = 0;    // the stream position of the image start
  std::uint64_t written_ = 0;  // bytes since Start
  std::uint64_t limit_ = kFormatLimit;
  std::uint32_t fileCount_ = 0;
  std::uint32_t maxNameLength_ = 0;
  std::uint32_t maxStoredSize_ = 0;
  std::uint8_t setup_[kSetupHeaderSize + 3 * 255] = {};
  std::uint32_t setupSize_ = kSetupHeaderSize;
  void* customSetup_ = nullptr;  // MemoryService block
  std::uint32_t customSetupSize_ = 0;
  // Memory stream of (offset, size) pairs of records 1, 2, ... then the setup
  // record; the names follow from the order.
  Stream* directory_ = nullptr;
  // Per record (same order): head size, head CRC, data CRC.
  Stream* checks_ = nullptr;

  // The file record between BeginFile and EndFile.
  struct OpenFile {
    bool open = false;
    std::uint64_t resourceHeader = 0;  // where its resource file header went
    std::uint64_t offset = 0;          // where the record starts
    std::uint64_t dataStart = 0;
    FileHeader header{};
    char name[256] = {};
    std::uint32_t dataCrc = 0;  // running, over the data
  } file_;
};

}  // namespace sfx::payload

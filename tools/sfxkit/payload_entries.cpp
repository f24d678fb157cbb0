#include "tools/sfxkit/payload_entries.h"

#include <cstdio>

#include "launcher/entry_names.h"
#include "services/codec/crc.h"
#include "services/codec/inflater.h"

namespace sfx::cli {

using namespace launcher;

namespace {

bool Fail(std::string* error, std::string message) {
  *error = std::move(message);
  return false;
}

std::string Text(std::span<const std::uint8_t> bytes) { return std::string(bytes.begin(), bytes.end()); }

}  // namespace

bool ReadSetup(const LauncherPayload& payload, SetupInfo* setup, std::string* error) {
  std::span<const std::uint8_t> record;
  if (!payload.Find(kSetupRecordName, &record)) return Fail(error, "the setup record F00000000 is missing");
  if (record.size() < kSetupHeaderSize)
    return Fail(error, "the setup record is " + std::to_string(record.size()) + " bytes, shorter than its header");
  const SetupHeader h = DecodeSetupHeader(record.data());
  const std::size_t expected = std::size_t{kSetupHeaderSize} + h.titleLength + h.programLength + h.argumentsLength;
  if (record.size() != expected) {
    return Fail(error, "the setup record is " + std::to_string(record.size()) + " bytes, its header says " +
                           std::to_string(expected));
  }
  setup->header = h;
  auto texts = record.subspan(kSetupHeaderSize);
  setup->title = Text(texts.first(h.titleLength));
  setup->program = Text(texts.subspan(h.titleLength, h.programLength));
  setup->arguments = Text(texts.subspan(std::size_t{h.titleLength} + h.programLength, h.argumentsLength));
  if (!IsSafeEntryName(setup->program.data(), static_cast<std::uint32_t>(setup->program.size())) ||
      IsFolderEntryName(setup->program.data(), static_cast<std::uint32_t>(setup->program.size()))) {
    return Fail(error, "the setup program's name '" + setup->program + "' is not a plain relative file name");
  }
  return true;
}

bool ReadEntry(const LauncherPayload& payload, std::uint32_t number, Entry* entry, std::string* error) {
  char recordName[kRecordNameBytes];
  FormatRecordName(number, recordName);
  entry->number = number;
  entry->recordName = recordName;
  const std::string where = std::string("record ") + recordName;
  std::span<const std::uint8_t> record;
  if (!payload.Find(recordName, &record)) return Fail(error, where + " is missing");
  if (record.size() <= kFileHeaderSize)
    return Fail(error, where + " is " + std::to_string(record.size()) + " bytes, too short for a header and a name");
  const FileHeader h = DecodeFileHeader(record.data());
  const std::uint64_t expected = std::uint64_t{kFileHeaderSize} + h.nameLength + h.storedSize;
  if (record.size() != expected) {
    return Fail(error,
                where + " is " + std::to_string(record.size()) + " bytes, its header says " + std::to_string(expected));
  }
  if (h.nameLength == 0) return Fail(error, where + " has an empty name");
  entry->header = h;
  entry->name = Text(record.subspan(kFileHeaderSize, h.nameLength));
  entry->data = record.subspan(kFileHeaderSize + h.nameLength);
  entry->isFolder = IsFolderEntryName(entry->name.data(), h.nameLength);
  const std::string named = where + " ('" + entry->name + "')";
  if (!IsSafeEntryName(entry->name.data(), h.nameLength))
    return Fail(error, named + ": the name could reach outside the folder or is not allowed");
  if (!IsValidTimeStamp(h)) return Fail(error, named + ": the time stamp is not a valid date and time");
  if (entry->isFolder) {
    if (h.size != 0 || h.crc != 0 || h.storedSize != 0)
      return Fail(error, named + ": a folder entry with a size, CRC or data");
  } else if (h.method != kMethodDeflate && h.method != kMethodStored) {
    return Fail(error, named + ": unknown method " + std::to_string(h.method));
  }
  return true;
}

bool IsValidTimeStamp(const FileHeader& h) {
  if (h.year < 1601 || h.year > 30827 || h.month < 1 || h.month > 12 || h.day < 1) return false;
  static const std::uint8_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (h.year % 4 == 0 && h.year % 100 != 0) || h.year % 400 == 0;
  const unsigned days = kDays[h.month - 1] + (h.month == 2 && leap ? 1 : 0);
  return h.day <= days && h.hour <= 23 && h.minute <= 59 && h.second <= 59 && h.hundredths <= 99;
}

std::string FormatTimeStamp(const FileHeader& h) {
  char text[40];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%02u", h.year, h.month, h.day, h.hour, h.minute,
                h.second, h.hundredths);
  return text;
}

Result DecodeEntry(const Entry& entry, Stream* output, std::uint32_t* size, std::uint32_t* crc) {
  std::uint32_t running = 0xFFFFFFFFu;
  const auto storedSize = static_cast<std::uint32_t>(entry.data.size());
  if (entry.header.method == kMethodDeflate) {
    Inflater* inflater = nullptr;
    SFX_TRY(Inflaters()->CreateInflater(kInflateFullWindow, &inflater));
    Result r = inflater->InitInput(entry.data.data(), storedSize);
    if (Succeeded(r)) r = inflater->Extract(output, size, &running, nullptr, nullptr);
    const Result destroyed = inflater->DestroyInflater();
    SFX_TRY(r);
    SFX_TRY(destroyed);
  } else {
    (void)Crc()->UpdateCrc32(entry.data.data(), storedSize, &running);
    SFX_TRY(output->Write(entry.data.data(), storedSize, nullptr));
    *size = storedSize;
  }
  *crc = ~running;
  return kOk;
}

bool CheckDecoded(const Entry& entry, std::uint32_t size, std::uint32_t crc, std::string* error) {
  char text[120];
  if (size != entry.header.size) {
    std::snprintf(text, sizeof text, ": decodes to %u bytes, the record says %u", size, entry.header.size);
    return Fail(error, "record " + entry.recordName + " ('" + entry.name + "')" + text);
  }
  if (crc != entry.header.crc) {
    std::snprintf(text, sizeof text, ": CRC-32 is %08X, the record says %08X", crc, entry.header.crc);
    return Fail(error, "record " + entry.recordName + " ('" + entry.name + "')" + text);
  }
  return true;
}

}  // namespace sfx::cli

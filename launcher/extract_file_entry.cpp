#include "launcher/extract_record.h"

#include "launcher/form_path.h"
#include "launcher/messages.h"
#include "launcher/payload_records.h"
#include "launcher/report_step_p.h"
#include "platform/file.h"
#include "platform/launcher_steps.h"
#include "platform/time.h"
#include "platform/ui.h"
#include "services/codec/crc.h"
#include "services/codec/inflater.h"
#include "services/core/file_system.h"
#include "services/core/stream.h"

namespace sfx::launcher {
namespace {

constexpr std::uint32_t kOpenCreateMode = 2;  // a new or emptied file, read and write

// Decodes or copies the data into `stream` and checks it; false after its
// one message.
bool WriteContent(Stream* stream, const char* name, const std::uint8_t* data, std::uint32_t size, std::uint32_t crc,
                  std::uint32_t storedSize, std::uint8_t method) {
  std::uint32_t running = 0xFFFFFFFFu;
  std::uint32_t decoded = 0;
  if (method == kMethodDeflate) {
    Inflater* inflater = nullptr;
    if (Failed(Inflaters()->CreateInflater(kInflateFullWindow, &inflater))) {
      ReportStep(name, kStepCreateInflater);
      return false;
    }
    if (Failed(inflater->InitInput(data, storedSize))) {
      ReportStep(name, kStepInitInput);
      (void)inflater->DestroyInflater();
      return false;
    }
    if (Failed(inflater->Extract(stream, &decoded, &running, nullptr, nullptr))) {
      ReportStep(name, kStepExtract);
      (void)inflater->DestroyInflater();
      return false;
    }
    if (Failed(inflater->DestroyInflater())) {
      ReportStep(name, kStepDestroyInflater);
      return false;
    }
  } else {
    (void)Crc()->UpdateCrc32(data, storedSize, &running);
    if (Failed(stream->Write(data, storedSize, nullptr))) {
      ReportStep(name, kStepWrite);
      return false;
    }
    decoded = storedSize;
  }
  if (size != decoded) {
    ReportStep(name, kStepSizeMismatch);
    return false;
  }
  if (crc != ~running) {
    ReportStep(name, kStepFileCorrupt);
    return false;
  }
  return true;
}

}  // namespace

bool ExtractFileEntry(const char* folder, const char* name, const std::uint8_t* data, std::uint32_t size,
                      std::uint32_t crc, std::uint32_t storedSize, std::uint8_t method, std::uint64_t localTime) {
  char path[kPathBytes];
  if (!FormPath(path, sizeof path, folder, name)) {
    ReportStep(name, kStepFormFilePath);
    return false;
  }
  Stream* stream = nullptr;
  if (Failed(FileSystem()->Open(path, 0, kOpenCreateMode, &stream))) return false;
  const bool ok = WriteContent(stream, name, data, size, crc, storedSize, method);
  if (Failed(stream->Close())) {
    ReportStep(name, kStepClose);
    return false;
  }
  // A failed file stays in the temporary folder and goes with it.
  if (!ok) return false;

  // The time stamp is a courtesy: a file that cannot be reopened, or a time
  // with no universal equivalent, keeps the current time. Only a refusal to
  // set it is reported.
  std::uint64_t universal = 0;
  if (!platform::LocalFileTimeToUtc(localTime, &universal)) return true;
  const platform::FileHandle file =
      platform::OpenFileHandle(path, platform::FileAccess::kWrite, platform::FileCreation::kOpenExisting, false);
  if (file == platform::kInvalidFile) return true;
  const bool set = platform::SetLauncherFileTimes(file, &universal, &universal, &universal);
  (void)platform::CloseFile(file);
  if (!set) {
    ReportStep(name, kStepSetFileTime);
    return false;
  }
  return true;
}

}  // namespace sfx::launcher

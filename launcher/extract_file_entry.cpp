#include "launcher/extract_record.h"

#include "launcher/form_path.h"
#include "launcher/launch_state.h"
#include "launcher/messages.h"
#include "launcher/report_step_p.h"
#include "payload/content.h"
#include "platform/file.h"
#include "services/core/file_system.h"
#include "services/core/stream.h"

namespace sfx::launcher {
namespace {

constexpr std::uint32_t kOpenCreateMode = 2;  // a new or emptied file, read and write

const char* StepCaption(payload::DecodeStep step) {
  switch (step) {
    case payload::DecodeStep::kCreateInflater: return kStepCreateInflater;
    case payload::DecodeStep::kInitInput: return kStepInitInput;
    case payload::DecodeStep::kExtract: return kStepExtract;
    case payload::DecodeStep::kDestroyInflater: return kStepDestroyInflater;
    case payload::DecodeStep::kWrite:
    case payload::DecodeStep::kNone: break;
  }
  return kStepWrite;
}

// Decodes or copies the data into `stream` and checks it; false after its
// one message.
bool WriteContent(Stream* stream, const char* name, const payload::FileRecord& record) {
  const payload::Decoded decoded = payload::DecodeContent(record, stream);
  if (decoded.failedStep != payload::DecodeStep::kNone) {
    ReportStep(name, StepCaption(decoded.failedStep));
    return false;
  }
  switch (payload::CheckContent(record, decoded)) {
    case payload::RecordFault::kNone: return true;
    case payload::RecordFault::kDecodedSizeMismatch: ReportStep(name, kStepSizeMismatch); return false;
    default: ReportStep(name, kStepFileCorrupt); return false;
  }
}

}  // namespace

bool ExtractFileEntry(const char* folder, const char* name, const payload::FileRecord& record) {
  char local[kEntryNameBytes];
  char path[kPathBytes];
  if (!CopyWithPlatformSeparators(name, local) || !FormPath(path, sizeof path, folder, local)) {
    ReportStep(name, kStepFormFilePath);
    return false;
  }
  Stream* stream = nullptr;
  if (Failed(FileSystem()->Open(path, 0, kOpenCreateMode, &stream))) return false;
  const bool ok = WriteContent(stream, name, record);
  if (Failed(stream->Close())) {
    ReportStep(name, kStepClose);
    return false;
  }
  // A failed file stays in the temporary folder and goes with it.
  if (!ok) return false;
  if (payload::IsMarkedExecutable(record.header) && !platform::MakeExecutable(path)) {
    ReportStep(name, kStepWrite);
    return false;
  }

  // The time stamp is a courtesy: a file that cannot be reopened, or a time
  // with no universal equivalent, keeps the current time. Only a refusal to
  // set it is reported.
  const payload::FileHeader& h = record.header;
  const DateTimeRecord time{h.year, h.month, h.day, h.hour, h.minute, h.second, h.hundredths};
  const Result set = FileSystem()->SetFileTimes(path, &time);
  if (set == kCannotOpen || set == kFileTimeUnavailable) return true;
  if (Failed(set)) {
    ReportStep(name, kStepSetFileTime);
    return false;
  }
  return true;
}

}  // namespace sfx::launcher

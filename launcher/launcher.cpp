#include "launcher/launcher.h"

#include <cstdio>
#include <cstring>

#include "launcher/delete_tree.h"
#include "launcher/form_path.h"
#include "launcher/messages.h"
#include "launcher/own_records.h"
#include "launcher/progress_dialog.h"
#include "launcher/setup_record.h"
#include "platform/file.h"
#include "platform/folder_search.h"
#include "platform/interruption.h"
#include "platform/process.h"
#include "platform/start_failure.h"
#include "platform/ui.h"
#include "services/core/launcher_services.h"
#include "services/core/service.h"

namespace sfx::launcher {

namespace {

constexpr std::uint32_t kTempPathBytes = 248;
constexpr char kTempPrefix[] = "spk";
constexpr int kLauncherFailed = 1;

}  // namespace

bool CreateTempFolder(LaunchState* state) {
  char path[kTempPathBytes];
  const std::uint32_t length = platform::GetTempFolder(path, sizeof path);
  if (length == 0 || length >= sizeof path) return false;
  if (path[length - 1] != '\\' && path[length - 1] != '/') {
    if (length + 1 >= sizeof path) return false;
    path[length] = platform::kPathSeparator;
    path[length + 1] = '\0';
  }
  // The unique file reserves the name; the folder takes its place.
  if (!platform::CreateUniqueTempFile(path, kTempPrefix, state->tempFolder, sizeof state->tempFolder)) return false;
  if (!platform::RemoveFile(state->tempFolder)) return false;
  return platform::CreatePrivateFolder(state->tempFolder);
}

bool BuildCommandLine(const char* programPath, const char* programArguments, char* line, std::uint32_t capacity) {
  // Unquoted, a path with a space would split into several arguments for the
  // program's own start-up code, and its real arguments would shift.
  const bool quote = std::strpbrk(programPath, " \t") != nullptr;
  const int n = std::snprintf(line, capacity, quote ? "\"%s\" %s" : "%s %s", programPath, programArguments);
  return n >= 0 && static_cast<std::uint32_t>(n) < capacity;
}

bool RunSetupProgram(const LaunchState& state, int* exitStatus) {
  *exitStatus = platform::kProgramNotStartedStatus;
  char path[kPathBytes];
  if (!FormPath(path, sizeof path, state.tempFolder, state.programName)) return false;
  char line[kPathBytes + kArgumentsBytes + 4];
  if (!BuildCommandLine(path, state.arguments, line, sizeof line)) return false;
  return platform::RunProgramAndWait(path, line, exitStatus);
}

int WinMain(platform::ModuleHandle instance) { return RunLauncher(instance, OwnRecords()); }

int RunLauncher(platform::ModuleHandle instance, const payload::RecordSource& records) {
  static LaunchState state;  // one run per process; large for a stack
  state = LaunchState{};
  state.records = &records;
  if (!CreateTempFolder(&state)) {
    platform::ShowMessageBox(kTextNoTempFolder, nullptr, platform::kMessageOk);
    return kLauncherFailed;
  }
  // From here an interruption deletes the folder (the setup program, once
  // running, decides for itself).
  platform::GuardTempFolder(state.tempFolder);
  payload::SetupHeader header;
  if (!ReadSetupRecord(records, &header, state.title, state.programName, state.arguments)) {
    // The folder is still empty: nothing else may be left behind.
    (void)platform::RemoveFolder(state.tempFolder);
    platform::EndTempFolderGuard();
    platform::ShowMessageBox(kTextNoSetupInfo, nullptr, platform::kMessageOk);
    return kLauncherFailed;
  }
  state.fileCount = header.fileCount;

  // Only the services extraction reaches: the launcher carries no code it
  // never runs (no regular expressions, no compressor, no URLs).
  (void)RegisterLauncherServices();
  // The dialog template names the common-controls progress bar class.
  platform::PrepareCommonControls();
  const std::intptr_t result = platform::RunModalDialog(instance, kDialogTemplate, ProgressDialogProcedure, &state);
  (void)ReleaseServices();

  // 0 is a failed extraction (its message is shown) or a worker that never
  // started: either way the launcher failed. -1 (no dialog at all) counts as
  // non-zero. A start refusal the user can mend is told and fails the
  // launcher; any other start failure gives the platform's not-started status.
  int status = kLauncherFailed;
  if (result != 0 && instance != nullptr && !RunSetupProgram(state, &status) &&
      platform::ReportMendableStartFailure()) {
    status = kLauncherFailed;
  }
  (void)DeleteTree(state.tempFolder);
  platform::EndTempFolderGuard();
  return status;
}

}  // namespace sfx::launcher

#include "launcher/launcher.h"

#include <cstdio>
#include <cstring>

#include "launcher/delete_tree.h"
#include "launcher/form_path.h"
#include "launcher/messages.h"
#include "launcher/progress_dialog.h"
#include "launcher/setup_record.h"
#include "platform/file.h"
#include "platform/launcher_files.h"
#include "platform/process.h"
#include "platform/ui.h"
#include "services/core/launcher_services.h"
#include "services/core/service.h"

namespace sfx::launcher {

char tempFolder[kPathBytes];
std::uint32_t fileCount = 0;
char title[kTitleBytes];
char programName[kProgramNameBytes];
char arguments[kArgumentsBytes];

namespace {

constexpr std::uint32_t kTempPathBytes = 248;
constexpr char kTempPrefix[] = "spk";

}  // namespace

bool CreateTempFolder() {
  char path[kTempPathBytes];
  const std::uint32_t length = platform::GetTempFolder(path, sizeof path);
  if (length == 0 || length >= sizeof path) return false;
  if (path[length - 1] != '\\' && path[length - 1] != '/') {
    if (length + 1 >= sizeof path) return false;
    path[length] = platform::kPathSeparator;
    path[length + 1] = '\0';
  }
  // The unique file reserves the name; the folder takes its place.
  if (!platform::CreateUniqueTempFile(path, kTempPrefix, tempFolder, sizeof tempFolder)) return false;
  if (!platform::RemoveFile(tempFolder)) return false;
  return platform::CreatePrivateFolder(tempFolder);
}

bool BuildCommandLine(const char* programPath, const char* programArguments, char* line, std::uint32_t capacity) {
  // Unquoted, a path with a space would split into several arguments for the
  // program's own start-up code, and its real arguments would shift.
  const bool quote = std::strpbrk(programPath, " \t") != nullptr;
  const int n = std::snprintf(line, capacity, quote ? "\"%s\" %s" : "%s %s", programPath, programArguments);
  return n >= 0 && static_cast<std::uint32_t>(n) < capacity;
}

bool RunSetupProgram() {
  char path[kPathBytes];
  if (!FormPath(path, sizeof path, tempFolder, programName)) return false;
  char line[kPathBytes + kArgumentsBytes + 4];
  if (!BuildCommandLine(path, arguments, line, sizeof line)) return false;
  return platform::RunProgramAndWait(path, line);
}

int WinMain(platform::ModuleHandle instance) {
  if (!CreateTempFolder()) {
    platform::ShowMessageBox(kTextNoTempFolder, nullptr, platform::kMessageOk);
    return 0;
  }
  SetupHeader header;
  if (!ReadSetupRecord(&header, title, programName, arguments)) {
    // The folder is still empty: nothing else may be left behind.
    (void)platform::RemoveFolder(tempFolder);
    platform::ShowMessageBox(kTextNoSetupInfo, nullptr, platform::kMessageOk);
    return 0;
  }
  fileCount = header.fileCount;

  // Only the services extraction reaches: the launcher carries no code it
  // never runs (no regular expressions, no compressor, no URLs).
  (void)RegisterLauncherServices();
  // The dialog template names the common-controls progress bar class.
  platform::PrepareCommonControls();
  const std::intptr_t result = platform::RunModalDialog(instance, kDialogTemplate, ProgressDialogProcedure);
  (void)ReleaseServices();

  // -1 (no dialog at all) counts as non-zero too.
  if (result != 0 && instance != nullptr) (void)RunSetupProgram();
  (void)DeleteTree(tempFolder);
  return 0;
}

}  // namespace sfx::launcher

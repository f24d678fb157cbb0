#include "platform/process.h"

#include <windows.h>

#include <cstring>

namespace sfx::platform {

const int kProgramNotStartedStatus = 0;

bool RunProgramAndWait(const char* application, const char* commandLine, int* exitStatus) {
  *exitStatus = kProgramNotStartedStatus;
  // CreateProcessA may write into the command line, so it gets a copy.
  char line[1024];
  const std::size_t length = std::strlen(commandLine);
  if (length >= sizeof line) return false;
  std::memcpy(line, commandLine, length + 1);

  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  std::memset(&process, 0, sizeof process);
  if (!CreateProcessA(application, line, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  HANDLE both[2] = {process.hThread, process.hProcess};
  (void)WaitForMultipleObjects(2, both, TRUE, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

}  // namespace sfx::platform

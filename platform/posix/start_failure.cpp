#include "platform/start_failure.h"

#include <errno.h>
#include <sys/statvfs.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/start_failure_p.h"
#include "platform/ui.h"

namespace sfx::platform {
namespace {

// Only the launcher's main thread starts programs.
int g_error = 0;
bool g_noExec = false;

}  // namespace

void NoteStartFailure(const char* application, int error) {
  g_error = error;
  struct statvfs fs {};
  // The kernel answers EACCES for any program on such a file system, whatever
  // its permission bits; the mount flag tells the two apart.
  g_noExec = (error == EACCES || error == EPERM) && statvfs(application, &fs) == 0 && (fs.f_flag & ST_NOEXEC) != 0;
}

bool ReportMendableStartFailure() {
  if (!g_noExec) return false;
  const char* folder = std::getenv("TMPDIR");
  if (folder == nullptr || folder[0] == '\0') folder = "/tmp";
  char text[1024];
  (void)std::snprintf(text, sizeof text,
                      "cannot run the setup program from TMPDIR=%s: %s (its file system is mounted noexec); "
                      "set TMPDIR to a folder where programs may run",
                      folder, std::strerror(g_error));
  ShowMessageBox(text, nullptr, kMessageErrorIcon);
  return true;
}

}  // namespace sfx::platform

#include "platform/process.h"

#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>

#include "platform/command_line.h"
#include "platform/posix/interruption_p.h"
#include "platform/posix/start_failure_p.h"

extern char** environ;

namespace sfx::platform {

const int kProgramNotStartedStatus = 127;

bool RunProgramAndWait(const char* application, const char* commandLine, int* exitStatus) {
  *exitStatus = kProgramNotStartedStatus;
  NoteStartFailure(application, 0);  // no failure of an earlier start is told for this one
  struct stat st {};
  if (stat(application, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  (void)chmod(application, (st.st_mode & 07777) | S_IXUSR);

  const std::size_t length = std::strlen(commandLine);
  char* storage = static_cast<char*>(std::malloc(length + 1));
  // A command line of n bytes holds at most n / 2 + 1 arguments.
  const std::size_t capacity = length / 2 + 2;
  char** arguments = static_cast<char**>(std::malloc((capacity + 1) * sizeof(char*)));
  bool started = false;
  if (storage != nullptr && arguments != nullptr) {
    const std::size_t count = SplitCommandLine(commandLine, storage, arguments, capacity);
    arguments[count < capacity ? count : capacity] = nullptr;
    pid_t child = 0;
    // Descriptors opened by this process are close-on-exec, so the program
    // inherits only the standard ones.
    // The program gets the signals the launcher holds back for its folder
    // guard, and decides itself what they do.
    sigset_t mask, guarded;
    (void)pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    GuardedSignals(&guarded);
    (void)sigdelset(&mask, SIGINT);
    (void)sigdelset(&mask, SIGTERM);
    (void)sigdelset(&mask, SIGHUP);
    posix_spawnattr_t attributes;
    (void)posix_spawnattr_init(&attributes);
    (void)posix_spawnattr_setsigmask(&attributes, &mask);
    (void)posix_spawnattr_setsigdefault(&attributes, &guarded);
    (void)posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    LockChildState();
    const int error = posix_spawn(&child, application, nullptr, &attributes, arguments, environ);
    if (error == 0) NoteChild(child);
    UnlockChildState();
    (void)posix_spawnattr_destroy(&attributes);
    if (error == 0) {
      started = true;
      int status = 0;
      while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
      }
      LockChildState();
      NoteChild(-1);
      UnlockChildState();
      if (WIFEXITED(status)) *exitStatus = WEXITSTATUS(status);
      if (WIFSIGNALED(status)) *exitStatus = 128 + WTERMSIG(status);
    } else {
      NoteStartFailure(application, error);
    }
  }
  std::free(arguments);
  std::free(storage);
  return started;
}

}  // namespace sfx::platform

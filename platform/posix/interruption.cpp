#include "platform/interruption.h"

#include <errno.h>
#include <ftw.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "platform/posix/interruption_p.h"

namespace sfx::platform {
namespace {

// The guard thread takes the blocked signals with sigtimedwait, so no work
// happens in a signal handler. It looks at its stop flag between waits.
constexpr long kPollNanoseconds = 100L * 1000L * 1000L;

pthread_mutex_t g_childLock = PTHREAD_MUTEX_INITIALIZER;
pid_t g_child = 0;  // 0 before the program, its id while it runs, -1 after
std::atomic<bool> g_stop{false};
bool g_running = false;
pthread_t g_thread;
sigset_t g_previousMask;
char g_folder[4096];

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  (void)remove(path);  // what cannot go now is retried below
  return 0;
}

void DeleteFolder() {
  // The extraction still runs while this deletes: it may add files after a
  // pass, so a few passes are made until the folder is gone.
  for (int pass = 0; pass < 20 && access(g_folder, F_OK) == 0; ++pass) {
    (void)nftw(g_folder, RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  }
}

void* GuardThread(void*) {
  sigset_t set;
  GuardedSignals(&set);
  while (!g_stop.load()) {
    const timespec poll{0, kPollNanoseconds};
    siginfo_t info{};
    const int signal = sigtimedwait(&set, &info, &poll);
    if (signal <= 0) continue;
    pthread_mutex_lock(&g_childLock);
    const pid_t child = g_child;
    if (child == 0) {
      // Held until the end: no program starts from a folder being deleted.
      DeleteFolder();
      _exit(128 + signal);
    }
    pthread_mutex_unlock(&g_childLock);
    if (child > 0) {
      // A signal from the terminal reached the program's process group
      // already; one sent to the launcher alone is passed on.
      if (info.si_code == SI_USER || info.si_code == SI_QUEUE) (void)kill(child, signal);
      continue;
    }
  }
  return nullptr;
}

}  // namespace

void GuardedSignals(sigset_t* set) {
  sigemptyset(set);
  sigaddset(set, SIGINT);
  sigaddset(set, SIGTERM);
  sigaddset(set, SIGHUP);
}

void LockChildState() { pthread_mutex_lock(&g_childLock); }
void UnlockChildState() { pthread_mutex_unlock(&g_childLock); }
void NoteChild(pid_t child) { g_child = child; }

void GuardTempFolder(const char* folder) {
  if (g_running || std::strlen(folder) >= sizeof g_folder) return;
  std::strcpy(g_folder, folder);
  g_child = 0;
  g_stop = false;
  sigset_t set;
  GuardedSignals(&set);
  if (pthread_sigmask(SIG_BLOCK, &set, &g_previousMask) != 0) return;
  if (pthread_create(&g_thread, nullptr, GuardThread, nullptr) != 0) {
    (void)pthread_sigmask(SIG_SETMASK, &g_previousMask, nullptr);
    return;
  }
  g_running = true;
}

void EndTempFolderGuard() {
  if (!g_running) return;
  g_stop = true;
  (void)pthread_join(g_thread, nullptr);
  g_running = false;
  pthread_mutex_lock(&g_childLock);
  g_child = 0;
  pthread_mutex_unlock(&g_childLock);
  (void)pthread_sigmask(SIG_SETMASK, &g_previousMask, nullptr);
}

}  // namespace sfx::platform

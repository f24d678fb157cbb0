#include "platform/ui.h"

#include <pthread.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace sfx::platform {
namespace {

std::atomic<MessageRecorder*> g_recorder{nullptr};

// Standard error is shared by the display (dialog thread) and message boxes
// (any thread); whole lines are written under this lock.
pthread_mutex_t g_outputLock = PTHREAD_MUTEX_INITIALIZER;

// The only dialog template there is: its items.
constexpr int kTemplate = 102;
constexpr int kButtonId = 1;
constexpr int kTextId = 1000;
constexpr int kBarId = 1001;
constexpr std::uint32_t kMaxTimers = 4;

struct Timer {
  std::uint32_t id = 0;
  std::uint32_t period = 0;
  std::uint64_t due = 0;  // milliseconds on the monotonic clock
  bool active = false;
};

// The terminal stand-in for the dialog. Only the dialog thread touches it,
// except `completionPending`, which PostCompletion sets under `lock`.
struct TerminalDialog {
  pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t wake;
  bool completionPending = false;

  bool running = false;
  bool ended = false;
  std::intptr_t result = 0;
  Timer timers[kMaxTimers];

  bool terminal = false;
  bool statusShown = false;        // a status line without its newline is on screen
  std::atomic<bool> dirty{false};  // message boxes set it from other threads
  char caption[256] = {};
  char text[512] = {};
  std::uint32_t lower = 0, upper = 100, step = 10, position = 0;
};

TerminalDialog g_dialog;
// Items are addresses inside the dialog; their identity is all that matters.
char g_items[3];

TerminalDialog* Dialog(DialogWindow window) { return reinterpret_cast<TerminalDialog*>(window); }

std::uint64_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

int TerminalWidth() {
  winsize ws{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 20) return ws.ws_col;
  return 80;
}

void ClearStatusLocked(TerminalDialog* d) {
  if (d->statusShown) {
    std::fputs("\r\033[K", stderr);
    d->statusShown = false;
  }
}

// Draws "[#####-----]  n/total  text" on one line, cut to the terminal width.
void DrawStatusLocked(TerminalDialog* d) {
  const int width = TerminalWidth();
  const std::uint32_t span = d->upper > d->lower ? d->upper - d->lower : 0;
  const std::uint32_t done = d->position > d->lower ? d->position - d->lower : 0;
  constexpr int kBar = 20;
  const int filled = span == 0 ? kBar : static_cast<int>(static_cast<std::uint64_t>(done) * kBar / span);
  char line[600];
  int n = std::snprintf(line, sizeof line, "[");
  for (int i = 0; i < kBar; ++i) line[n++] = i < filled ? '#' : '-';
  n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "] %u/%u  %s", done, span, d->text);
  if (n >= width) n = width - 1;
  line[n] = '\0';
  std::fprintf(stderr, "\r\033[K%s", line);
  d->statusShown = true;
}

void Render(TerminalDialog* d) {
  if (!d->terminal || !d->dirty.exchange(false)) return;
  pthread_mutex_lock(&g_outputLock);
  DrawStatusLocked(d);
  std::fflush(stderr);
  pthread_mutex_unlock(&g_outputLock);
}

void PrintLine(TerminalDialog* d, const char* line) {
  pthread_mutex_lock(&g_outputLock);
  ClearStatusLocked(d);
  std::fprintf(stderr, "%s\n", line);
  std::fflush(stderr);
  pthread_mutex_unlock(&g_outputLock);
}

void CopyText(char* to, std::size_t capacity, const char* from) {
  std::snprintf(to, capacity, "%s", from == nullptr ? "" : from);
}

}  // namespace

void ShowMessageBox(const char* text, const char* caption, std::uint32_t style) {
  if (MessageRecorder* recorder = g_recorder.load()) {
    recorder->Record(text, caption, style);
    return;
  }
  (void)style;
  pthread_mutex_lock(&g_outputLock);
  if (g_dialog.statusShown) {
    std::fputs("\r\033[K", stderr);
    g_dialog.statusShown = false;
    g_dialog.dirty = true;
  }
  std::fprintf(stderr, "%s: %s\n", caption == nullptr ? "Error" : caption, text == nullptr ? "" : text);
  std::fflush(stderr);
  pthread_mutex_unlock(&g_outputLock);
}

void SetMessageRecorder(MessageRecorder* recorder) { g_recorder.store(recorder); }

void PrepareCommonControls() {}

std::intptr_t RunModalDialog(ModuleHandle, int templateId, DialogProcedure procedure, void* context) {
  TerminalDialog* d = &g_dialog;
  if (templateId != kTemplate || procedure == nullptr || d->running) return -1;
  pthread_condattr_t attributes;
  pthread_condattr_init(&attributes);
  pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
  pthread_cond_init(&d->wake, &attributes);
  pthread_condattr_destroy(&attributes);
  d->running = true;
  d->ended = false;
  d->result = 0;
  d->completionPending = false;
  for (Timer& t : d->timers) t = Timer{};
  d->terminal = isatty(STDERR_FILENO) != 0;
  d->statusShown = false;
  d->dirty = false;
  CopyText(d->caption, sizeof d->caption, "Initializing");
  CopyText(d->text, sizeof d->text, "...");
  d->lower = 0;
  d->upper = 100;
  d->step = 10;
  d->position = 0;

  const auto window = reinterpret_cast<DialogWindow>(d);
  (void)procedure(window, DialogEvent::kInit, 0, context);
  Render(d);

  while (!d->ended) {
    // Posted messages come before timers, as in a Windows message queue.
    pthread_mutex_lock(&d->lock);
    for (;;) {
      if (d->completionPending) break;
      std::uint64_t due = UINT64_MAX;
      for (const Timer& t : d->timers) {
        if (t.active && t.due < due) due = t.due;
      }
      const std::uint64_t now = NowMs();
      if (due <= now) break;
      if (due == UINT64_MAX) {
        pthread_cond_wait(&d->wake, &d->lock);
      } else {
        timespec until{};
        until.tv_sec = static_cast<time_t>(due / 1000u);
        until.tv_nsec = static_cast<long>(due % 1000u) * 1000000L;
        pthread_cond_timedwait(&d->wake, &d->lock, &until);
      }
    }
    const bool completion = d->completionPending;
    d->completionPending = false;
    pthread_mutex_unlock(&d->lock);

    if (completion) {
      (void)procedure(window, DialogEvent::kCompletion, 0, context);
    } else {
      const std::uint64_t now = NowMs();
      for (Timer& t : d->timers) {
        if (!t.active || t.due > now) continue;
        t.due = now + t.period;
        (void)procedure(window, DialogEvent::kTimer, t.id, context);
        break;
      }
    }
    Render(d);
  }

  pthread_mutex_lock(&g_outputLock);
  if (d->statusShown) {
    std::fputc('\n', stderr);
    d->statusShown = false;
  }
  std::fflush(stderr);
  pthread_mutex_unlock(&g_outputLock);
  pthread_cond_destroy(&d->wake);
  d->running = false;
  return d->result;
}

void EndModalDialog(DialogWindow window, std::intptr_t result) {
  TerminalDialog* d = Dialog(window);
  if (d->ended) return;
  d->ended = true;
  d->result = result;
}

void SetDialogCaption(DialogWindow window, const char* text) {
  TerminalDialog* d = Dialog(window);
  CopyText(d->caption, sizeof d->caption, text);
  PrintLine(d, d->caption);
  d->dirty = true;
}

DialogItem GetDialogItem(DialogWindow, int id) {
  switch (id) {
    case kButtonId: return reinterpret_cast<DialogItem>(&g_items[0]);
    case kTextId: return reinterpret_cast<DialogItem>(&g_items[1]);
    case kBarId: return reinterpret_cast<DialogItem>(&g_items[2]);
    default: return nullptr;
  }
}

void SetItemText(DialogItem item, const char* text) {
  if (reinterpret_cast<char*>(item) != &g_items[1]) return;
  TerminalDialog* d = &g_dialog;
  CopyText(d->text, sizeof d->text, text);
  if (d->terminal) {
    d->dirty = true;
  } else {
    PrintLine(d, d->text);
  }
}

void PassItemText(DialogItem item, const char* text) { SetItemText(item, text); }

void SetProgressRange(DialogItem, std::uint32_t lower, std::uint32_t upper) {
  g_dialog.lower = lower;
  g_dialog.upper = upper;
  g_dialog.position = lower;
  g_dialog.dirty = true;
}

void SetProgressStep(DialogItem, std::uint32_t step) { g_dialog.step = step; }

void StepProgress(DialogItem) {
  TerminalDialog* d = &g_dialog;
  // Like the Windows bar: stepping past the end wraps to the start.
  d->position += d->step;
  if (d->position > d->upper) d->position = d->lower + (d->position - d->upper);
  d->dirty = true;
}

void GetItemText(DialogItem item, char* text, std::uint32_t size) {
  if (size == 0) return;
  text[0] = '\0';
  if (reinterpret_cast<char*>(item) == &g_items[1]) CopyText(text, size, g_dialog.text);
}

std::uint32_t GetProgressPosition(DialogItem) { return g_dialog.position; }

void AdvanceProgress(DialogItem, std::uint32_t steps) {
  TerminalDialog* d = &g_dialog;
  d->position = d->upper - d->position < steps ? d->upper : d->position + steps;
  d->dirty = true;
}

bool StartDialogTimer(DialogWindow window, std::uint32_t id, std::uint32_t milliseconds) {
  TerminalDialog* d = Dialog(window);
  Timer* free = nullptr;
  for (Timer& t : d->timers) {
    if (t.active && t.id == id) free = &t;
  }
  if (free == nullptr) {
    for (Timer& t : d->timers) {
      if (!t.active) {
        free = &t;
        break;
      }
    }
  }
  if (free == nullptr) return false;
  free->id = id;
  free->period = milliseconds == 0 ? 1 : milliseconds;
  free->due = NowMs() + free->period;
  free->active = true;
  return true;
}

void StopDialogTimer(DialogWindow window, std::uint32_t id) {
  for (Timer& t : Dialog(window)->timers) {
    if (t.active && t.id == id) t.active = false;
  }
}

bool PostCompletion(DialogWindow window) {
  TerminalDialog* d = Dialog(window);
  pthread_mutex_lock(&d->lock);
  d->completionPending = true;
  pthread_cond_signal(&d->wake);
  pthread_mutex_unlock(&d->lock);
  return true;
}

bool GetWindowRectangle(DialogWindow, WindowRect*) { return false; }
std::int32_t ScreenWidth() { return 0; }
std::int32_t ScreenHeight() { return 0; }
void MoveWindowTo(DialogWindow, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}

}  // namespace sfx::platform

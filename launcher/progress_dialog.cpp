#include "launcher/progress_dialog.h"

#include <cstdio>

#include "launcher/extraction_worker.h"
#include "launcher/launch_state.h"
#include "launcher/messages.h"
#include "launcher/progress_queue.h"
#include "services/core/memory_service.h"

namespace sfx::launcher {
namespace {

// Shows one popped text and advances the bar; false when the queue had none.
bool ShowNextText(platform::DialogWindow window) {
  char* text = PopProgressText();
  if (text == nullptr) return false;
  if (platform::DialogItem item = platform::GetDialogItem(window, kTextItem)) platform::SetItemText(item, text);
  (void)Memory()->Free(text);  // a popped text is ours to free
  if (platform::DialogItem bar = platform::GetDialogItem(window, kProgressItem)) platform::StepProgress(bar);
  return true;
}

void OnInit(platform::DialogWindow window, const LaunchState& state) {
  CenterWindow(window);
  // Without a worker the dialog ends at once and no message is shown; the
  // rest of the initialisation still runs before it closes.
  if (!StartExtraction(window, state)) platform::EndModalDialog(window, 0);
  if (platform::DialogItem bar = platform::GetDialogItem(window, kProgressItem)) {
    platform::SetProgressRange(bar, 0, state.fileCount);
    platform::SetProgressStep(bar, 1);
  }
  char caption[256];
  std::snprintf(caption, sizeof caption, kCaptionFormat, state.title);
  platform::SetDialogCaption(window, caption);
  (void)platform::StartDialogTimer(window, kTimerId, kTimerPeriodMs);
}

void OnCompletion(platform::DialogWindow window) {
  platform::StopDialogTimer(window, kTimerId);
  ShowQueuedTexts(window);
  if (FinishExtraction() != 0) {
    platform::EndModalDialog(window, 1);
    return;
  }
  platform::ShowMessageBox(kTextExtractionFailed, nullptr, platform::kMessageErrorIcon);
  platform::EndModalDialog(window, 0);
}

}  // namespace

// The backlog left when the worker is done: drawing each text and bar step
// kept the user waiting seconds per thousand files for texts nobody could
// read. Only the last text is shown (a progress log still gets every one)
// and the bar moves once. Every text is one record of at most `fileCount`,
// each a step of one: the bar ends where stepping would have left it.
void ShowQueuedTexts(platform::DialogWindow window) {
  const platform::DialogItem item = platform::GetDialogItem(window, kTextItem);
  char* last = nullptr;
  std::uint32_t count = 0;
  while (char* text = PopProgressText()) {
    if (last != nullptr) {
      if (item) platform::PassItemText(item, last);
      (void)Memory()->Free(last);  // a popped text is ours to free
    }
    last = text;
    ++count;
  }
  if (last == nullptr) return;
  if (item) platform::SetItemText(item, last);
  (void)Memory()->Free(last);
  if (platform::DialogItem bar = platform::GetDialogItem(window, kProgressItem)) {
    if (count == 1) {
      platform::StepProgress(bar);
    } else {
      platform::AdvanceProgress(bar, count);
    }
  }
}

void CenterWindow(platform::DialogWindow window) {
  platform::WindowRect rect;
  if (!platform::GetWindowRectangle(window, &rect)) return;
  const std::int32_t width = rect.right - rect.left;
  const std::int32_t height = rect.bottom - rect.top;
  const std::int32_t screenWidth = platform::ScreenWidth();
  const std::int32_t screenHeight = platform::ScreenHeight();
  // Signed division rounds towards zero, also for a window wider than the screen.
  const std::int32_t x = screenWidth == 0 ? 0 : (screenWidth - width) / 2;
  const std::int32_t y = screenHeight == 0 ? 0 : (screenHeight - height) / 2;
  platform::MoveWindowTo(window, x, y, width, height);
}

bool ProgressDialogProcedure(platform::DialogWindow window, platform::DialogEvent event, std::uint32_t parameter,
                             void* context) {
  switch (event) {
    case platform::DialogEvent::kInit: OnInit(window, *static_cast<const LaunchState*>(context)); return true;
    case platform::DialogEvent::kCommand: return parameter == kCancelCommand;
    case platform::DialogEvent::kTimer: (void)ShowNextText(window); return true;
    case platform::DialogEvent::kCompletion: OnCompletion(window); return true;
  }
  return false;
}

}  // namespace sfx::launcher

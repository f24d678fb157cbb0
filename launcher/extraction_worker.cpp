#include "launcher/extraction_worker.h"

#include <atomic>

#include "launcher/extract_record.h"
#include "launcher/progress_dialog.h"
#include "launcher/progress_queue.h"
#include "services/core/thread_service.h"

namespace sfx::launcher {
namespace {

// Written before the worker starts, read by it.
const LaunchState* workerState = nullptr;
// Written by the worker before it posts the completion, read by the dialog
// thread after that message.
std::atomic<std::uint32_t> successFlag{1};
// Closed (after the worker has ended) once the completion has arrived.
Thread* workerThread = nullptr;
// The dialog of the running extraction; null outside one.
std::atomic<platform::DialogWindow> runningDialog{nullptr};

Result RunWorker(void* dialog) {
  (void)ExtractionWorker(dialog);  // always 0; the outcome is the success flag
  return kOk;
}

}  // namespace

int StartExtraction(platform::DialogWindow dialog, const LaunchState& state) {
  workerState = &state;
  successFlag.store(1);
  if (!OpenProgressQueue()) return 0;
  workerThread = nullptr;
  runningDialog.store(dialog);
  if (Failed(Threads()->StartThread(RunWorker, dialog, &workerThread))) {
    workerThread = nullptr;
    runningDialog.store(nullptr);
    CloseProgressQueue();
    return 0;
  }
  return 1;
}

std::uint32_t ExtractionWorker(void* dialog) {
  std::uint32_t success = 1;
  const LaunchState& state = *workerState;
  for (std::uint32_t n = 1; n <= state.fileCount && n != 0; ++n) {
    if (!ExtractRecord(*state.records, state.tempFolder, n)) {
      success = 0;
      break;
    }
  }
  successFlag.store(success);
  (void)platform::PostCompletion(static_cast<platform::DialogWindow>(dialog));
  return 0;
}

void ShowQueuedProgress() {
  if (platform::DialogWindow dialog = runningDialog.load()) ShowQueuedTexts(dialog);
}

std::uint32_t FinishExtraction() {
  // The worker has posted the completion, its last act: this waits only
  // for it to return.
  if (workerThread != nullptr) (void)workerThread->CloseThread();  // the thread has ended: nothing can fail
  workerThread = nullptr;
  runningDialog.store(nullptr);
  CloseProgressQueue();
  return successFlag.load();
}

}  // namespace sfx::launcher

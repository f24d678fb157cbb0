// The extraction worker: one thread that extracts the records in order while
// the dialog stays responsive, then posts the completion message.
#pragma once

#include <cstdint>

#include "launcher/launch_state.h"
#include "platform/ui.h"

namespace sfx::launcher {

// Starts the worker for records 1 to `state.fileCount` of `state.records`
// into `state.tempFolder` (the state must live until the completion message).
// 1 when it runs; 0 when the queue's mutex or the thread cannot be made, and
// then nothing is left open.
int StartExtraction(platform::DialogWindow dialog, const LaunchState& state);
// The thread body: extracts until the first failing record, sets the success
// flag and posts the completion to the dialog. Returns 0.
std::uint32_t ExtractionWorker(void* dialog);
// On the worker, before a message box: shows every queued progress text on the
// running dialog, so that they come before the message. Nothing without a
// running extraction.
void ShowQueuedProgress();

// After the completion message: lets go of the worker (which has ended or is
// returning) and the queue, and returns the success flag (1 when every record
// was extracted).
std::uint32_t FinishExtraction();

}  // namespace sfx::launcher

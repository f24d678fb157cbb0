// The message box of a failed extraction step: the entry (or its path) as the
// text, the step as the caption, the error icon.
#pragma once

#include "launcher/extraction_worker.h"
#include "platform/ui.h"

namespace sfx::launcher {

inline void ReportStep(const char* text, const char* caption) {
  // The texts queued before the failure belong before its message.
  ShowQueuedProgress();
  platform::ShowMessageBox(text, caption, platform::kMessageErrorIcon);
}

}  // namespace sfx::launcher

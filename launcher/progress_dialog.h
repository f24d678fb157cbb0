// The progress dialog (template 102): caption "Initializing <title>...", the
// current entry in static item 1000 and a bar (item 1001) that advances once
// per record. It cannot be cancelled: Escape and the close button are
// swallowed, and its "Cancel" button (identifier 1) is not handled.
#pragma once

#include <cstdint>

#include "platform/ui.h"

namespace sfx::launcher {

inline constexpr int kDialogTemplate = 102;
inline constexpr int kIconGroup = 101;
inline constexpr int kTextItem = 1000;
inline constexpr int kProgressItem = 1001;
inline constexpr std::uint32_t kTimerId = 1;
inline constexpr std::uint32_t kTimerPeriodMs = 10;
inline constexpr std::uint32_t kCancelCommand = 2;

// Shows every queued progress text in turn, advancing the bar for each.
void ShowQueuedTexts(platform::DialogWindow window);

// Centres the window on the primary screen, keeping its size.
void CenterWindow(platform::DialogWindow window);

// Starts the worker at initialisation, shows one queued text per timer tick,
// and on completion shows the rest and ends with 1, or with 0 after
// "Extraction failed!". `context` is the run's LaunchState.
bool ProgressDialogProcedure(platform::DialogWindow window, platform::DialogEvent event, std::uint32_t parameter,
                             void* context);

}  // namespace sfx::launcher

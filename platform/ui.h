// The launcher's user interface: message boxes and one modal dialog with a
// caption, a line of text and a progress bar.
//
// On Windows these are the real thing (a dialog from the program's resources,
// common controls). On POSIX systems the "dialog" is a terminal display on
// standard error: the caption, the current line and a progress bar when
// standard error is a terminal, plain lines otherwise; message boxes are
// printed as "caption: text". Both targets run the dialog procedure with the
// same events in the same order, so the launcher's logic is shared.
#pragma once

#include <cstdint>

#include "platform/resource.h"

namespace sfx::platform {

// ---- message boxes ----

// Styles, as the Windows message box takes them.
inline constexpr std::uint32_t kMessageOk = 0x00;
inline constexpr std::uint32_t kMessageErrorIcon = 0x10;

// Shows a message with an OK button and waits for it to be dismissed (on the
// calling thread only). A null caption gives the platform's default caption.
void ShowMessageBox(const char* text, const char* caption, std::uint32_t style);

// Test seam: while a recorder is installed, message boxes go to it instead
// of the screen. It is called on the thread that raises the message.
class MessageRecorder {
 public:
  virtual void Record(const char* text, const char* caption, std::uint32_t style) = 0;

 protected:
  ~MessageRecorder() = default;
};
void SetMessageRecorder(MessageRecorder* recorder);

// ---- the modal dialog ----

using DialogWindow = struct DialogWindowTag*;
using DialogItem = struct DialogItemTag*;

enum class DialogEvent {
  kInit,        // the dialog exists and is not shown yet
  kCommand,     // parameter: the command identifier
  kTimer,       // parameter: the timer identifier
  kCompletion,  // the message posted by PostCompletion
};

// Returns true for an event it handled. `context` is the one given to
// RunModalDialog.
using DialogProcedure = bool (*)(DialogWindow window, DialogEvent event, std::uint32_t parameter, void* context);

// Makes the common controls (the progress bar class) available to dialogs.
void PrepareCommonControls();

// Runs the dialog of template `templateId` modally until EndModalDialog;
// returns that result, or -1 when the dialog cannot be created.
std::intptr_t RunModalDialog(ModuleHandle module, int templateId, DialogProcedure procedure, void* context);
// Ends the dialog once the current event has been handled.
void EndModalDialog(DialogWindow window, std::intptr_t result);
void SetDialogCaption(DialogWindow window, const char* text);

// Null when the dialog has no item with that identifier.
DialogItem GetDialogItem(DialogWindow window, int id);
void SetItemText(DialogItem item, const char* text);
// A text replaced at once by the next: a progress log still records it, a
// window need not draw what nobody could read.
void PassItemText(DialogItem item, const char* text);
void SetProgressRange(DialogItem bar, std::uint32_t lower, std::uint32_t upper);
void SetProgressStep(DialogItem bar, std::uint32_t step);
void StepProgress(DialogItem bar);
// Moves the bar by `steps` steps of one and draws it once. Unlike stepping,
// the position stops at the end of the range instead of wrapping.
void AdvanceProgress(DialogItem bar, std::uint32_t steps);
// What the user sees: an item's text (cut to `size`) and the bar's position.
void GetItemText(DialogItem item, char* text, std::uint32_t size);
std::uint32_t GetProgressPosition(DialogItem bar);

// A periodic timer that raises kTimer events on the dialog's thread.
bool StartDialogTimer(DialogWindow window, std::uint32_t id, std::uint32_t milliseconds);
void StopDialogTimer(DialogWindow window, std::uint32_t id);
// Raises kCompletion on the dialog's thread; may be called from any thread.
bool PostCompletion(DialogWindow window);

// ---- window geometry, for centring ----

struct WindowRect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};
// False when the window has no rectangle on a screen.
bool GetWindowRectangle(DialogWindow window, WindowRect* rect);
// The primary screen's width and height in pixels (0 when unknown).
std::int32_t ScreenWidth();
std::int32_t ScreenHeight();
void MoveWindowTo(DialogWindow window, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);

}  // namespace sfx::platform

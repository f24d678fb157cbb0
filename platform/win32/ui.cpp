#include "platform/ui.h"

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <atomic>

#include "platform/win32/system_library_p.h"

namespace sfx::platform {
namespace {

std::atomic<MessageRecorder*> g_recorder{nullptr};
// One modal dialog at a time: the procedure of the running one.
DialogProcedure g_procedure = nullptr;
void* g_context = nullptr;

constexpr UINT kCompletionMessage = WM_APP;  // 0x8000

HWND Window(DialogWindow window) { return reinterpret_cast<HWND>(window); }
HWND Item(DialogItem item) { return reinterpret_cast<HWND>(item); }

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  if (g_procedure == nullptr) return FALSE;
  const auto handle = reinterpret_cast<DialogWindow>(window);
  switch (message) {
    case WM_INITDIALOG: return g_procedure(handle, DialogEvent::kInit, 0, g_context) ? TRUE : FALSE;
    case WM_COMMAND: return g_procedure(handle, DialogEvent::kCommand, LOWORD(wParam), g_context) ? TRUE : FALSE;
    case WM_TIMER:
      return g_procedure(handle, DialogEvent::kTimer, static_cast<std::uint32_t>(wParam), g_context) ? TRUE : FALSE;
    case kCompletionMessage: return g_procedure(handle, DialogEvent::kCompletion, 0, g_context) ? TRUE : FALSE;
    default: return FALSE;
  }
}

}  // namespace

void ShowMessageBox(const char* text, const char* caption, std::uint32_t style) {
  if (MessageRecorder* recorder = g_recorder.load()) {
    recorder->Record(text, caption, style);
    return;
  }
  (void)MessageBoxA(nullptr, text, caption, style);
}

void SetMessageRecorder(MessageRecorder* recorder) { g_recorder.store(recorder); }

void PrepareCommonControls() {
  // Not imported: the common controls are not a known system library, so the
  // loader would take a copy from the program's own folder first. The library
  // stays loaded for the life of the process, as the class it registers must.
  using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  HMODULE library = LoadSystemLibrary("comctl32.dll");
  if (library == nullptr) return;  // no dialog then; the launcher carries on without it
  const auto init =
      reinterpret_cast<InitFunction>(reinterpret_cast<void (*)()>(GetProcAddress(library, "InitCommonControlsEx")));
  if (init == nullptr) return;
  INITCOMMONCONTROLSEX controls;
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_PROGRESS_CLASS;
  (void)init(&controls);
}

std::intptr_t RunModalDialog(ModuleHandle module, int templateId, DialogProcedure procedure, void* context) {
  g_procedure = procedure;
  g_context = context;
  const INT_PTR result =
      DialogBoxParamA(reinterpret_cast<HINSTANCE>(module), MAKEINTRESOURCEA(templateId), nullptr, DialogProc, 0);
  g_procedure = nullptr;
  g_context = nullptr;
  return result;
}

void EndModalDialog(DialogWindow window, std::intptr_t result) { (void)EndDialog(Window(window), result); }

void SetDialogCaption(DialogWindow window, const char* text) { (void)SetWindowTextA(Window(window), text); }

DialogItem GetDialogItem(DialogWindow window, int id) {
  return reinterpret_cast<DialogItem>(GetDlgItem(Window(window), id));
}

void SetItemText(DialogItem item, const char* text) { (void)SetWindowTextA(Item(item), text); }

void PassItemText(DialogItem, const char*) {}

void SetProgressRange(DialogItem bar, std::uint32_t lower, std::uint32_t upper) {
  (void)SendMessageA(Item(bar), PBM_SETRANGE32, lower, static_cast<LPARAM>(upper));
}

void SetProgressStep(DialogItem bar, std::uint32_t step) { (void)SendMessageA(Item(bar), PBM_SETSTEP, step, 0); }

void StepProgress(DialogItem bar) { (void)SendMessageA(Item(bar), PBM_STEPIT, 0, 0); }

void GetItemText(DialogItem item, char* text, std::uint32_t size) {
  if (size == 0) return;
  text[0] = '\0';
  (void)GetWindowTextA(Item(item), text, static_cast<int>(size));
}

std::uint32_t GetProgressPosition(DialogItem bar) {
  return static_cast<std::uint32_t>(SendMessageA(Item(bar), PBM_GETPOS, 0, 0));
}

void AdvanceProgress(DialogItem bar, std::uint32_t steps) { (void)SendMessageA(Item(bar), PBM_DELTAPOS, steps, 0); }

bool StartDialogTimer(DialogWindow window, std::uint32_t id, std::uint32_t milliseconds) {
  return SetTimer(Window(window), id, milliseconds, nullptr) != 0;
}

void StopDialogTimer(DialogWindow window, std::uint32_t id) { (void)KillTimer(Window(window), id); }

bool PostCompletion(DialogWindow window) { return PostMessageA(Window(window), kCompletionMessage, 0, 0) != FALSE; }

bool GetWindowRectangle(DialogWindow window, WindowRect* rect) {
  RECT r;
  if (!GetWindowRect(Window(window), &r)) return false;
  rect->left = r.left;
  rect->top = r.top;
  rect->right = r.right;
  rect->bottom = r.bottom;
  return true;
}

std::int32_t ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
std::int32_t ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

void MoveWindowTo(DialogWindow window, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
  (void)MoveWindow(Window(window), x, y, width, height, TRUE);
}

}  // namespace sfx::platform

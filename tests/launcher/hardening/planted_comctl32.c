/* A library planted beside a launcher under the name of the common controls.
   When any process loads it, DllMain leaves a marker file beside it (the
   library's own path with ".loaded" appended), so a test can tell whether it
   was loaded at all. It exports what the common controls' importers ask for,
   so that a program importing them statically does start with it. */
#include <windows.h>

static void LeaveMarker(HINSTANCE self) {
  char path[MAX_PATH + 8];
  const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  lstrcpyA(path + length, ".loaded");
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, "planted\r\n", 9, &written, NULL);
  CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) LeaveMarker(self);
  return TRUE;
}

__declspec(dllexport) BOOL WINAPI InitCommonControlsEx(const void* controls) {
  (void)controls;
  return FALSE;
}

__declspec(dllexport) void WINAPI InitCommonControls(void) {}

/* The control case of the planted-library test: a program that imports the
   common controls statically, as the launcher once did. Started beside the
   planted library with the system's native-first order, it must load that
   library, which shows the test can see a planted library being loaded. */
#include <windows.h>
/* after windows.h */
#include <commctrl.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  INITCOMMONCONTROLSEX controls;
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_PROGRESS_CLASS;
  return InitCommonControlsEx(&controls) ? 0 : 1;
}

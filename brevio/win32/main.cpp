// Brevio.exe: the window program on the platform's own controls.
#include <objbase.h>
#include <windows.h>
// After <windows.h>.
#include <commctrl.h>

#include "main_window.h"

namespace {

// Held while the program runs, in every session's view: the setup and the
// uninstaller (packaging/windows/brevio.nsi) look for it and will not replace
// or remove files in use. Only that it exists matters, so one made first by
// another copy, or another user, does as well.
constexpr wchar_t kRunningMutex[] = L"Global\\BrevioRunning";

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  HANDLE running = CreateMutexW(nullptr, FALSE, kRunningMutex);
  // Tarnex's class lives in a single-threaded apartment, as does the window.
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);

  int exit_code = 1;
  {
    brevio::win32::MainWindow window(instance);
    if (window.Create(show)) {
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // Tab, Enter and the access keys work as in a dialog.
        if (IsWindow(window.hwnd()) && IsDialogMessageW(window.hwnd(), &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      exit_code = static_cast<int>(msg.wParam);
    }
  }
  CoUninitialize();
  if (running != nullptr) CloseHandle(running);
  return exit_code;
}

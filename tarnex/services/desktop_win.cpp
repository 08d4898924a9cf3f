// The folder chooser, the error box and window order with the platform's
// shell and window manager.
#include <windows.h>
// After <windows.h>:
#include <objbase.h>
#include <shlobj.h>

#include "ansi_win.h"
#include "tarnex/services/desktop.h"

namespace tarnex {
namespace {

HWND Handle(std::int32_t hwnd) { return reinterpret_cast<HWND>(static_cast<INT_PTR>(hwnd)); }

// The shell's path buffer for the chosen folder, in bytes.
constexpr std::size_t kPathBuffer = 512;

}  // namespace

std::string ChooseFolder(std::int32_t hwnd) {
  BROWSEINFOA request{};
  request.hwndOwner = Handle(hwnd);
  request.lpszTitle = "Please choose a folder to save the output files";
  request.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderA(&request);
  if (!item) return {};  // cancelled, or no dialog could be shown
  char path[kPathBuffer] = {};
  const BOOL found = SHGetPathFromIDListA(item, path);
  CoTaskMemFree(item);
  return found ? win::Utf8(path) : std::string();
}

bool ShowErrorBox(const std::string& text, const char* /*object_name*/) {
  // Zero when no box could be shown (no desktop): the caller then tells its
  // error stream.
  return MessageBoxA(nullptr, win::Ansi(text).c_str(), "Error", MB_OK | MB_ICONERROR) != 0;
}

void SetTopWindow(std::int32_t hwnd, std::int16_t topmost) {
  // Only the automation "true" (-1) pins the window; any other value frees it.
  SetWindowPos(Handle(hwnd), topmost == -1 ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE);
}

}  // namespace tarnex

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

}  // namespace

std::string ChooseFolder(std::int32_t hwnd) {
  // The wide chooser: the 8-bit one names a folder outside the code page by a
  // look-alike, which may be another folder that exists.
  BROWSEINFOW request{};
  request.hwndOwner = Handle(hwnd);
  request.lpszTitle = L"Please choose a folder to save the output files";
  request.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&request);
  if (!item) return {};         // cancelled, or no dialog could be shown
  wchar_t path[MAX_PATH] = {};  // the size the shell fills
  const BOOL found = SHGetPathFromIDListW(item, path);
  CoTaskMemFree(item);
  if (!found) return {};
  // A name UTF-8 cannot carry would come back as another one: as cancelled.
  return win::Utf8(path).value_or(std::string());
}

bool ShowErrorBox(const std::string& text, const char* /*object_name*/) {
  // The platform's box holds at most kMaxText characters: a longer text (a
  // refused path of that length) is shown up to there, marked as cut.
  std::wstring shown = win::Wide(text);
  if (shown.size() > win::kMaxText) {
    shown.resize(win::kMaxText - 1);
    if (IS_HIGH_SURROGATE(shown.back())) shown.pop_back();
    shown += L'\u2026';
  }
  // Zero when no box could be shown (no desktop): the caller then tells its
  // error stream.
  return MessageBoxW(nullptr, shown.c_str(), L"Error", MB_OK | MB_ICONERROR) != 0;
}

void SetTopWindow(std::int32_t hwnd, std::int16_t topmost) {
  // Only the automation "true" (-1) pins the window; any other value frees it.
  SetWindowPos(Handle(hwnd), topmost == -1 ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE);
}

}  // namespace tarnex

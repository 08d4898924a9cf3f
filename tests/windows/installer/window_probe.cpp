// Starts a program and sees its main window come up and go again:
//   installer_window_probe PROGRAM CAPTION SECONDS
// Exit status 0 when, within SECONDS each, a visible top-level window of
// the program with exactly that caption appears, no other visible window of
// the program stands beside it (an error box at start would), and the
// program ends with status 0 once that window is sent WM_CLOSE. Otherwise 1,
// with the reason (and the windows seen) on standard error.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Window {
  HWND handle;
  std::wstring caption;
};

struct Search {
  DWORD process_id;
  std::vector<Window> found;
};

BOOL CALLBACK CollectWindow(HWND handle, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(handle, &owner);
  if (owner == search->process_id && IsWindowVisible(handle) != FALSE) {
    std::wstring caption(static_cast<size_t>(GetWindowTextLengthW(handle)) + 1, L'\0');
    caption.resize(static_cast<size_t>(
        GetWindowTextW(handle, caption.data(), static_cast<int>(caption.size()))));
    search->found.push_back({handle, caption});
  }
  return TRUE;
}

std::vector<Window> VisibleWindows(DWORD process_id) {
  Search search{process_id, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring Captions(const std::vector<Window>& windows) {
  std::wstring text;
  for (const Window& window : windows) {
    text += L" \"" + window.caption + L"\"";
  }
  return windows.empty() ? L" none" : text;
}

int Fail(const std::wstring& reason) {
  fwprintf(stderr, L"%ls\n", reason.c_str());
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    fwprintf(stderr, L"usage: installer_window_probe PROGRAM CAPTION SECONDS\n");
    return 2;
  }
  const std::wstring program = argv[1];
  const std::wstring caption = argv[2];
  const DWORD wait_ms = wcstoul(argv[3], nullptr, 10) * 1000;

  std::wstring command_line = L"\"" + program + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     nullptr, &startup, &process) == FALSE) {
    return Fail(L"cannot start " + program + L" (error " + std::to_wstring(GetLastError()) + L")");
  }
  CloseHandle(process.hThread);

  // Polled: the program's windows belong to another process, so there is
  // no event of ours to wait on.
  HWND main_window = nullptr;
  std::vector<Window> seen;
  for (DWORD waited = 0; main_window == nullptr && waited < wait_ms; waited += 100) {
    if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(process.hProcess, &code);
      return Fail(L"the program ended (status " + std::to_wstring(code) +
                  L") before its window appeared");
    }
    seen = VisibleWindows(process.dwProcessId);
    for (const Window& window : seen) {
      if (window.caption == caption) {
        main_window = window.handle;
      }
    }
  }
  if (main_window == nullptr) {
    TerminateProcess(process.hProcess, 1);
    return Fail(L"no window \"" + caption + L"\" appeared; visible windows:" + Captions(seen));
  }

  // A box the program shows right after its window would stand beside it.
  Sleep(1000);
  seen = VisibleWindows(process.dwProcessId);
  if (seen.size() != 1) {
    TerminateProcess(process.hProcess, 1);
    return Fail(L"besides the main window the program shows:" + Captions(seen));
  }

  PostMessageW(main_window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, wait_ms) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    return Fail(L"the program did not end after WM_CLOSE to \"" + caption + L"\"");
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  if (code != 0) {
    return Fail(L"the program ended with status " + std::to_wstring(code) + L" after WM_CLOSE");
  }
  wprintf(L"window \"%ls\" appeared and closed\n", caption.c_str());
  return 0;
}

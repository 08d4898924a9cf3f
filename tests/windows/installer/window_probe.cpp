// Starts a program and sees its main window come up and go again:
//   installer_window_probe PROGRAM CAPTION SECONDS
// Exit status 0 when, within SECONDS each, a visible top-level window of
// the program with exactly that caption appears, no other visible window of
// the program stands beside it (an error box at start would), and the
// program ends with status 0 once that window is sent WM_CLOSE. Otherwise 1,
// with the reason (and the windows seen) on standard error.
// The two halves alone, for a program left running in between:
//   installer_window_probe --start PROGRAM CAPTION SECONDS
//   installer_window_probe --close CAPTION SECONDS
// --close finds the window by its caption, in whichever process.
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
  // EnumWindows hands the caller's context back as an integer.
  auto* search = reinterpret_cast<Search*>(param);  // NOLINT(performance-no-int-to-ptr)
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

// Waits for the window of `process` captioned `caption`; null (the program
// ended, or stopped, with the reason on standard error) when it does not come.
HWND AwaitWindow(const PROCESS_INFORMATION& process, const std::wstring& caption, DWORD wait_ms) {
  // Polled: the program's windows belong to another process, so there is
  // no event of ours to wait on.
  std::vector<Window> seen;
  for (DWORD waited = 0; waited < wait_ms; waited += 100) {
    if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(process.hProcess, &code);
      Fail(L"the program ended (status " + std::to_wstring(code) + L") before its window appeared");
      return nullptr;
    }
    seen = VisibleWindows(process.dwProcessId);
    for (const Window& window : seen) {
      if (window.caption == caption) return window.handle;
    }
  }
  TerminateProcess(process.hProcess, 1);
  Fail(L"no window \"" + caption + L"\" appeared; visible windows:" + Captions(seen));
  return nullptr;
}

// Sends WM_CLOSE to the main window and waits for its program to end with 0.
int Close(HANDLE process, HWND main_window, const std::wstring& caption, DWORD wait_ms) {
  PostMessageW(main_window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process, wait_ms) != WAIT_OBJECT_0) {
    TerminateProcess(process, 1);
    return Fail(L"the program did not end after WM_CLOSE to \"" + caption + L"\"");
  }
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  if (code != 0) {
    return Fail(L"the program ended with status " + std::to_wstring(code) + L" after WM_CLOSE");
  }
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"--close" && argc == 4) {
    const std::wstring caption = argv[2];
    HWND window = FindWindowW(nullptr, caption.c_str());
    DWORD process_id = 0;
    if (window != nullptr) GetWindowThreadProcessId(window, &process_id);
    HANDLE process = OpenProcess(
        SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, process_id);
    if (process == nullptr) return Fail(L"no program with a window \"" + caption + L"\"");
    if (Close(process, window, caption, wcstoul(argv[3], nullptr, 10) * 1000) != 0) return 1;
    wprintf(L"window \"%ls\" closed\n", caption.c_str());
    return 0;
  }
  const bool start_only = mode == L"--start";
  if (argc != (start_only ? 5 : 4)) {
    fwprintf(stderr,
             L"usage: installer_window_probe [--start] PROGRAM CAPTION SECONDS\n"
             L"       installer_window_probe --close CAPTION SECONDS\n");
    return 2;
  }
  const std::wstring program = argv[start_only ? 2 : 1];
  const std::wstring caption = argv[start_only ? 3 : 2];
  const DWORD wait_ms = wcstoul(argv[start_only ? 4 : 3], nullptr, 10) * 1000;

  std::wstring command_line = L"\"" + program + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     nullptr, &startup, &process) == FALSE) {
    return Fail(L"cannot start " + program + L" (error " + std::to_wstring(GetLastError()) + L")");
  }
  CloseHandle(process.hThread);
  HWND main_window = AwaitWindow(process, caption, wait_ms);
  if (main_window == nullptr) return 1;
  if (start_only) {
    CloseHandle(process.hProcess);
    wprintf(L"window \"%ls\" appeared\n", caption.c_str());
    return 0;
  }

  // A box the program shows right after its window would stand beside it.
  Sleep(1000);
  const std::vector<Window> seen = VisibleWindows(process.dwProcessId);
  if (seen.size() != 1) {
    TerminateProcess(process.hProcess, 1);
    return Fail(L"besides the main window the program shows:" + Captions(seen));
  }
  if (Close(process.hProcess, main_window, caption, wait_ms) != 0) return 1;
  wprintf(L"window \"%ls\" appeared and closed\n", caption.c_str());
  return 0;
}

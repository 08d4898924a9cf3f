// The launchers are single ShellExecuteW calls: the shell finds the program
// for a document or address, and resolves the bare name "IExplore.exe". The
// wide call takes every name as given; through the 8-bit one a program or
// document named outside the code page would be a look-alike, which may be
// another file that exists.
#include <windows.h>
// After <windows.h>:
#include <shellapi.h>

#include <initializer_list>

#include "ansi_win.h"
#include "tarnex/services/launch.h"

namespace tarnex {
namespace {

constexpr INT kShowNormal = SW_SHOWNORMAL;

// Empty strings go to the shell as empty texts, not as missing arguments.
// Text longer than the platform's strings hold is refused with 0, the
// shell's answer for a call it could not make.
std::int32_t Shell(std::int32_t hwnd, const std::string& operation, const std::string& file,
                   const std::string& parameters, const std::string& directory,
                   std::int32_t show_cmd) {
  const std::wstring op = win::Wide(operation), f = win::Wide(file), p = win::Wide(parameters),
                     d = win::Wide(directory);
  for (const std::wstring* text : {&op, &f, &p, &d}) {
    if (text->size() > win::kMaxText) return 0;
  }
  // A window handle widens with its sign, as 32-bit handles do in 64-bit code.
  HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(hwnd));
  HINSTANCE answer = ShellExecuteW(owner, op.c_str(), f.c_str(), p.c_str(), d.c_str(), show_cmd);
  return static_cast<std::int32_t>(reinterpret_cast<INT_PTR>(answer));
}

}  // namespace

void OpenDocument(const std::string& target) { Shell(0, "open", target, "", "", kShowNormal); }

void OpenBrowserNewWindow(const std::string& address) {
  Shell(0, "open", "IExplore.exe", address, "", kShowNormal);
}

std::int32_t ShellExecuteUtf8(std::int32_t hwnd, const std::string& operation,
                              const std::string& file, const std::string& parameters,
                              const std::string& directory, std::int32_t show_cmd) {
  return Shell(hwnd, operation, file, parameters, directory, show_cmd);
}

}  // namespace tarnex

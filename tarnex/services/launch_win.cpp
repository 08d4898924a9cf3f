// The launchers are single ShellExecuteA calls: the shell finds the program
// for a document or address, and resolves the bare name "IExplore.exe".
#include <windows.h>
// After <windows.h>:
#include <shellapi.h>

#include "ansi_win.h"
#include "tarnex/services/launch.h"

namespace tarnex {
namespace {

constexpr INT kShowNormal = SW_SHOWNORMAL;

// Empty strings go to the shell as empty texts, not as missing arguments.
std::int32_t Shell(std::int32_t hwnd, const std::string& operation, const std::string& file,
                   const std::string& parameters, const std::string& directory,
                   std::int32_t show_cmd) {
  const std::string op = win::Ansi(operation), f = win::Ansi(file), p = win::Ansi(parameters),
                    d = win::Ansi(directory);
  // A window handle widens with its sign, as 32-bit handles do in 64-bit code.
  HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(hwnd));
  HINSTANCE answer = ShellExecuteA(owner, op.c_str(), f.c_str(), p.c_str(), d.c_str(), show_cmd);
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

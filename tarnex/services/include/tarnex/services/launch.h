#pragma once
#include <cstdint>
#include <string>

// On Windows (launch_win.cpp) each of these is one ShellExecuteW call with
// the arguments as given, and ShellExecuteUtf8 returns its answer (0, making
// no call, for a text over 32,767 characters).
namespace tarnex {

// Opens a document, folder or address with the user's program (xdg-open).
// Returns at once; failures are silent.
void OpenDocument(const std::string& target);

// Starts the web browser with `address`: the first entry of $BROWSER when set
// ("%s" replaced by the address, else the address appended), else the first
// of x-www-browser and xdg-open found on PATH. Returns at once; silent.
void OpenBrowserNewWindow(const std::string& address);

// The general pass-through. Verbs "open" and "" (any case): an executable
// `file` ('/' in it -> that path, else looked up on PATH) is started with
// SplitCommandLine(parameters) in `directory` when that is not empty; any
// other existing file, or an address, goes to xdg-open. The bare name
// "IExplore.exe" (any case), when no such program is there, starts the
// browser as OpenBrowserNewWindow does, `parameters` being the address.
// Returns 42 on success, else 2 (file not found), 3 (directory not found),
// 5 (access denied) or 31 (no program for it / unknown verb). xdg-open and
// the browser are watched for up to a second: one that ends with a failure
// within it (xdg-open: "no method available") gives 31. Never waits longer
// for the started program. `hwnd` and `show_cmd` have no meaning here.
std::int32_t ShellExecuteUtf8(std::int32_t hwnd, const std::string& operation,
                              const std::string& file, const std::string& parameters,
                              const std::string& directory, std::int32_t show_cmd);

}  // namespace tarnex

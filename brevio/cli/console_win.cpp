// Console windows: a handle the console modes can be read from is one.
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "brevio/cli/console.h"
#include "fileio/wide.h"

namespace brevio::cli {

namespace {

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

}  // namespace

bool IsConsole(int fd) {
  DWORD mode = 0;
  const HANDLE handle = HandleOf(fd);
  return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

int WriteConsoleText(int fd, std::u16string_view text) {
  const HANDLE handle = HandleOf(fd);
  while (!text.empty()) {
    // Consoles take limited amounts at once.
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(text.size(), 8192));
    DWORD written = 0;
    if (::WriteConsoleW(handle, text.data(), size, &written, nullptr) == 0) {
      return fileio::LastErrno();
    }
    if (written == 0) return EIO;
    text.remove_prefix(written);
  }
  return 0;
}

}  // namespace brevio::cli

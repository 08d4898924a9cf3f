#include "ansi_win.h"

#include <climits>
#include <new>
#include <system_error>

namespace tarnex::win {

std::string Convert(std::string_view text, UINT from, UINT to) {
  if (text.empty()) return {};
  if (text.size() > INT_MAX) throw std::bad_alloc();
  const int len = static_cast<int>(text.size());
  const int wide = MultiByteToWideChar(from, 0, text.data(), len, nullptr, 0);
  if (wide <= 0) throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
  std::wstring w(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(from, 0, text.data(), len, w.data(), wide);
  const int n = WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  if (n <= 0) throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(to, 0, w.data(), wide, out.data(), n, nullptr, nullptr);
  return out;
}

std::string ThisModulePathAnsi() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&ThisModulePathAnsi), &module)) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "locating the library");
  }
  // GetModuleFileNameA cuts a long path to the buffer; grow until it fits.
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) {
      throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                              "locating the library");
    }
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace tarnex::win

#include "ansi_win.h"

#include <climits>
#include <new>
#include <system_error>

namespace tarnex::win {
namespace {

int Length(std::size_t size) {
  if (size > INT_MAX) throw std::bad_alloc();
  return static_cast<int>(size);
}

[[noreturn]] void ThrowLastError(const char* what) {
  throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}

}  // namespace

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int len = Length(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), len, nullptr, 0);
  if (n <= 0) ThrowLastError("converting to UTF-16");
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), len, out.data(), n);
  return out;
}

std::optional<std::string> Utf8(std::wstring_view text) { return ToCodePage(text, CP_UTF8); }

std::optional<std::string> ToCodePage(std::wstring_view text, UINT code_page) {
  if (text.empty()) return std::string();
  if (code_page == CP_ACP) code_page = GetACP();
  const int len = Length(text.size());
  // UTF-8 has a form for every character but a lone surrogate, and takes
  // neither the best-fit flag nor the default-character question; any other
  // code page says whether it had to put its default character anywhere.
  const bool utf8 = code_page == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* asked = utf8 ? nullptr : &used_default;
  const int n = WideCharToMultiByte(code_page, flags, text.data(), len, nullptr, 0, nullptr, asked);
  if (n <= 0 || used_default) return std::nullopt;
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(code_page, flags, text.data(), len, out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring ThisModulePath() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ThisModulePath), &module)) {
    ThrowLastError("locating the library");
  }
  // GetModuleFileNameW cuts a long path to the buffer; grow until it fits.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) ThrowLastError("locating the library");
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace tarnex::win

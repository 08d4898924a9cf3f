// The forms speak UTF-8, the platform's controls UTF-16.
#pragma once

#include <comrt_utf.h>
#include <windows.h>

#include <string>
#include <string_view>

namespace brevio::win32 {

inline std::wstring Wide(std::string_view utf8) {
  const std::u16string text = comrt::ToUtf16(utf8);
  return {text.begin(), text.end()};
}

inline std::string Utf8(std::wstring_view text) {
  return comrt::ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

// A control's text, however long.
inline std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  const int n = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return text;
}

}  // namespace brevio::win32

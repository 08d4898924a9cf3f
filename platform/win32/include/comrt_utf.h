// The helpers of the Linux runtime's <comrt_utf.h> that shared code uses, over
// the platform's converters and allocator. OLECHAR is wchar_t here, char16_t in
// the shared code: both are UTF-16 code units, so the views only change type.
#pragma once

#include <oleauto.h>
#include <windows.h>

#include <climits>
#include <cstddef>
#include <new>
#include <string>
#include <string_view>

namespace comrt {

// The text of a BSTR as a view (empty for null).
inline std::u16string_view View(BSTR s) {
  return s ? std::u16string_view(reinterpret_cast<const char16_t*>(s), SysStringLen(s))
           : std::u16string_view();
}

// A new BSTR holding the UTF-16 text; nullptr only when memory runs out.
inline BSTR BstrFromUtf16(std::u16string_view s) {
  if (s.size() > UINT_MAX / sizeof(OLECHAR)) return nullptr;
  BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(s.size()));
  if (b && !s.empty()) s.copy(reinterpret_cast<char16_t*>(b), s.size());
  return b;
}

// UTF-16 -> UTF-8. A lone surrogate becomes U+FFFD; embedded NULs are kept.
inline std::string ToUtf8(std::u16string_view s) {
  if (s.empty()) return {};
  const auto* w = reinterpret_cast<const wchar_t*>(s.data());
  const int len = static_cast<int>(s.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, len, nullptr, 0, nullptr, nullptr);
  if (n <= 0) throw std::bad_alloc();
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, len, out.data(), n, nullptr, nullptr);
  return out;
}
// A null BSTR gives the empty string.
inline std::string ToUtf8(BSTR s) { return ToUtf8(View(s)); }

// UTF-8 -> UTF-16. Malformed bytes become U+FFFD; embedded NULs are kept.
inline std::u16string ToUtf16(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int len = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), len, nullptr, 0);
  if (n <= 0) throw std::bad_alloc();
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), len, reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

// A new BSTR holding the UTF-8 text; nullptr only when memory runs out.
inline BSTR BstrFromUtf8(std::string_view s) { return BstrFromUtf16(ToUtf16(s)); }

}  // namespace comrt

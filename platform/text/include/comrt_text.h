// Text rules the platform applies byte by byte (or code unit by code unit):
// names that match without regard to ASCII case, arguments that lose their
// outer spaces; and the UTF-8 form of one code point. Header only, for 8-bit
// and UTF-16 text alike; nothing here needs the runtime library.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

namespace comrt::ascii {
namespace detail {

template <class C>
constexpr C Lower(C c) {
  return (c >= C('A') && c <= C('Z')) ? static_cast<C>(c + 32) : c;
}

// <0, 0 or >0 as a sorts before, with or after b; letters of either case are
// one letter, other units compare by value.
template <class C>
constexpr int Compare(std::basic_string_view<C> a, std::basic_string_view<C> b) {
  using Unit = std::make_unsigned_t<C>;
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<Unit>(Lower(a[i]));
    const auto y = static_cast<Unit>(Lower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

template <class C>
constexpr std::basic_string_view<C> TrimSpaces(std::basic_string_view<C> s) {
  while (!s.empty() && s.front() == C(' ')) s.remove_prefix(1);
  while (!s.empty() && s.back() == C(' ')) s.remove_suffix(1);
  return s;
}

}  // namespace detail

constexpr int CompareNoCase(std::string_view a, std::string_view b) {
  return detail::Compare(a, b);
}
constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && detail::Compare(a, b) == 0;
}
constexpr bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && detail::Compare(a, b) == 0;
}
constexpr bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

// Without the spaces (code 32 only) at either end.
constexpr std::string_view TrimSpaces(std::string_view s) { return detail::TrimSpaces(s); }
constexpr std::u16string_view TrimSpaces(std::u16string_view s) { return detail::TrimSpaces(s); }

// The text up to its first NUL: what a call taking C strings sees.
constexpr std::string_view UpToNul(std::string_view s) { return s.substr(0, s.find('\0')); }

}  // namespace comrt::ascii

namespace comrt::utf8 {

// Appends the UTF-8 bytes of `c` (U+0000..U+10FFFF); a surrogate gets its
// three-byte form, which lets a lone one from UTF-16 text survive.
inline void Append(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace comrt::utf8

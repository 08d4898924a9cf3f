#include <windows.h>

#include <climits>
#include <new>
#include <system_error>

#include "upper_case.h"

namespace tarnex {

// The user's locale, code unit for code unit, as the platform's string
// functions upper-case.
std::u16string UpperCase(std::u16string_view s) {
  if (s.empty()) return {};
  if (s.size() > INT_MAX) throw std::bad_alloc();
  const auto* in = reinterpret_cast<const wchar_t*>(s.data());
  const int len = static_cast<int>(s.size());
  const int n = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING,
                              in, len, nullptr, 0, nullptr, nullptr, 0);
  if (n <= 0) throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING, in, len,
                reinterpret_cast<wchar_t*>(out.data()), n, nullptr, nullptr, 0);
  return out;
}

}  // namespace tarnex

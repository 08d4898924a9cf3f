#include <unicode/ustring.h>

#include <new>
#include <stdexcept>

#include "upper_case.h"

namespace tarnex {

// Full Unicode upper-casing with the language-neutral rules ("ß" gives "SS").
std::u16string UpperCase(std::u16string_view s) {
  if (s.empty()) return {};
  std::u16string out(s.size(), u'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = u_strToUpper(out.data(), static_cast<int32_t>(out.size()), s.data(),
                                   static_cast<int32_t>(s.size()), "", &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      out.resize(static_cast<std::size_t>(n));  // the exact size it needs
      continue;
    }
    if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
    if (U_FAILURE(status)) throw std::runtime_error(u_errorName(status));
    out.resize(static_cast<std::size_t>(n));
    return out;
  }
  throw std::runtime_error("upper-casing did not settle");
}

}  // namespace tarnex

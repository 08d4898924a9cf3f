// Upper-casing for extension matching: ICU's full Unicode rules on Linux
// (upper_case_icu.cpp), the platform's locale-aware mapping on Windows
// (upper_case_win.cpp).
#pragma once

#include <string>
#include <string_view>

namespace tarnex {

// `s` in upper case; unpaired surrogates stay as they are. Throws
// std::bad_alloc when memory runs out.
std::u16string UpperCase(std::u16string_view s);

}  // namespace tarnex

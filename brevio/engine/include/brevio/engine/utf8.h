#pragma once
// File names are bytes; where they are printed they are read as UTF-8, one
// character at a time, to tell what a terminal would show.

#include <cstddef>
#include <string_view>

namespace brevio {

struct Utf8Char {
  char32_t code = 0;       // with `valid`: the code point
  std::size_t length = 1;  // the character's bytes; 1 for a byte that starts none
  bool valid = false;
};

// The character at `at` (< text.size()), strictly: overlong forms, UTF-16
// surrogates and code points past U+10FFFF are no characters, and neither
// is a sequence cut short.
inline Utf8Char DecodeUtf8(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return {lead, 1, true};
  std::size_t length = 0;
  char32_t code = 0;
  // The range of the second byte narrows for the leads that could start an
  // overlong form, a surrogate or a code point past U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {};
  }
  if (text.size() - at < length) return {};
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(at + i);
    if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return {};
    code = (code << 6) | (next & 0x3F);
  }
  return {code, length, true};
}

}  // namespace brevio

#include "tarnex/services/profile_encoding.h"

#include <comrt_text.h>

#include <array>
#include <cstddef>

namespace tarnex {
namespace {

constexpr std::string_view kUtf8Mark = "\xef\xbb\xbf";
constexpr std::string_view kUtf16LeMark = "\xff\xfe";
constexpr std::string_view kUtf16BeMark = "\xfe\xff";

// Windows-1252 bytes 0x80..0x9F. The five bytes the code page leaves
// undefined map to the control characters of the same number, as the
// platform's own conversion does, so every byte survives a round trip.
constexpr std::array<char32_t, 32> kHigh1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t From1252(unsigned char b) {
  return b >= 0x80 && b < 0xA0 ? kHigh1252[b - 0x80] : char32_t{b};
}

// The Windows-1252 byte for `cp`, or -1 when it has none.
int To1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (std::size_t i = 0; i < kHigh1252.size(); ++i) {
    if (kHigh1252[i] == cp) return static_cast<int>(0x80 + i);
  }
  return -1;
}

using comrt::utf8::Append;

// Decodes the code point at s[pos]; returns its length in bytes, or 0 when
// the bytes there are not well-formed UTF-8. With `surrogates`, the
// three-byte forms of U+D800..U+DFFF are accepted as well.
std::size_t NextCodePoint(std::string_view s, std::size_t pos, char32_t& cp, bool surrogates) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[pos + k]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    cp = lead;
    return 1;
  }
  std::size_t len = 0;
  unsigned char low = 0x80;   // bounds of the second byte, which rule out
  unsigned char high = 0xBF;  // overlong forms and values past U+10FFFF
  if (lead >= 0xC2 && lead <= 0xDF) {
    len = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    len = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED && !surrogates) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    len = 4;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (pos + len > s.size() || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(k) & 0x3F);
  }
  return len;
}

void AppendUtf16(std::string& out, char32_t unit, bool big_endian) {
  const char low = static_cast<char>(unit & 0xFF);
  const char high = static_cast<char>(unit >> 8);
  out += big_endian ? high : low;
  out += big_endian ? low : high;
}

}  // namespace

bool IsUtf8(std::string_view s) {
  char32_t cp = 0;
  for (std::size_t pos = 0; pos < s.size();) {
    const std::size_t len = NextCodePoint(s, pos, cp, false);
    if (len == 0) return false;
    pos += len;
  }
  return true;
}

DecodedProfile DecodeProfile(std::string_view bytes) {
  DecodedProfile out;
  if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
    out.encoding = ProfileEncoding::kUtf8Bom;
    out.text = bytes.substr(kUtf8Mark.size());
    return out;
  }
  const std::string_view mark = bytes.substr(0, 2);
  if (mark != kUtf16LeMark && mark != kUtf16BeMark) {
    out.text = bytes;
    return out;
  }
  const bool big_endian = mark == kUtf16BeMark;
  out.encoding = big_endian ? ProfileEncoding::kUtf16Be : ProfileEncoding::kUtf16Le;
  bytes.remove_prefix(mark.size());
  if (bytes.size() % 2 != 0) {
    out.odd_byte = bytes.substr(bytes.size() - 1);
    bytes.remove_suffix(1);
  }
  const auto unit = [&](std::size_t i) {
    const auto first = static_cast<unsigned char>(bytes[2 * i]);
    const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
    return static_cast<char32_t>(big_endian ? (first << 8) | second : (second << 8) | first);
  };
  const std::size_t units = bytes.size() / 2;
  out.text.reserve(units);
  for (std::size_t i = 0; i < units; ++i) {
    char32_t cp = unit(i);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
        unit(i + 1) <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      ++i;
    }
    Append(out.text, cp);
  }
  return out;
}

std::string EncodeProfile(const DecodedProfile& profile) {
  switch (profile.encoding) {
    case ProfileEncoding::kEightBit:
      return profile.text;
    case ProfileEncoding::kUtf8Bom:
      return std::string(kUtf8Mark) + profile.text;
    case ProfileEncoding::kUtf16Le:
    case ProfileEncoding::kUtf16Be:
      break;
  }
  const bool big_endian = profile.encoding == ProfileEncoding::kUtf16Be;
  const std::string_view text = profile.text;
  std::string out(big_endian ? kUtf16BeMark : kUtf16LeMark);
  out.reserve(2 + 2 * text.size() + 1);
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t cp = 0;
    std::size_t len = NextCodePoint(text, pos, cp, true);
    if (len == 0) {
      cp = From1252(static_cast<unsigned char>(text[pos]));
      len = 1;
    }
    pos += len;
    if (cp >= 0x10000) {
      AppendUtf16(out, 0xD800 + ((cp - 0x10000) >> 10), big_endian);
      AppendUtf16(out, 0xDC00 + ((cp - 0x10000) & 0x3FF), big_endian);
    } else {
      AppendUtf16(out, cp, big_endian);
    }
  }
  return out + profile.odd_byte;
}

std::string ValueToUtf8(std::string_view value) {
  if (IsUtf8(value)) return std::string(value);
  std::string out;
  out.reserve(value.size() * 2);
  for (const char c : value) Append(out, From1252(static_cast<unsigned char>(c)));
  return out;
}

std::string EightBitValue(std::string_view file_text, std::string_view value) {
  if (IsUtf8(file_text) || !IsUtf8(value)) return std::string(value);
  std::string out;
  out.reserve(value.size());
  char32_t cp = 0;
  for (std::size_t pos = 0; pos < value.size();) {
    pos += NextCodePoint(value, pos, cp, false);
    const int b = To1252(cp);
    if (b < 0) return std::string(value);
    out += static_cast<char>(b);
  }
  // Windows-1252 bytes that happen to be well-formed UTF-8 would read back
  // as other characters.
  return out != value && IsUtf8(out) ? std::string(value) : out;
}

}  // namespace tarnex

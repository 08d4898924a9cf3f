#include "display_width.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "brevio/engine/utf8.h"

#ifndef _WIN32
#include <locale.h>
#include <wchar.h>
#endif

namespace brevio::cli {

namespace {

struct Range {
  char32_t first;
  char32_t last;
};

bool In(const Range* begin, const Range* end, char32_t code) {
  return std::any_of(begin, end,
                     [code](const Range& r) { return code >= r.first && code <= r.last; });
}

// For when the system cannot tell (Windows has no wcwidth; a system may
// lack a UTF-8 locale): the common combining marks and zero-width
// characters, and the East Asian wide and fullwidth blocks.
int TableWidth(char32_t code) {
  static constexpr Range kZero[] = {
      {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
      {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
      {0x200B, 0x200F}, {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF},
  };
  static constexpr Range kWide[] = {
      {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
      {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},
      {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},
      {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD},
      {0x30000, 0x3FFFD},
  };
  if (In(std::begin(kZero), std::end(kZero), code)) return 0;
  if (In(std::begin(kWide), std::end(kWide), code)) return 2;
  return 1;
}

#ifndef _WIN32
// A UTF-8 locale for wcwidth alone, made once: the process's own locale
// (often "C", where wcwidth knows only ASCII) is left as it is.
locale_t Utf8Locale() {
  static const locale_t made = [] {
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
      if (const locale_t locale = ::newlocale(LC_CTYPE_MASK, name, locale_t{})) return locale;
    }
    return locale_t{};
  }();
  return made;
}

// This thread reads characters in `locale` while it lives.
class ThreadLocale {
 public:
  explicit ThreadLocale(locale_t locale) : previous_(::uselocale(locale)) {}
  ~ThreadLocale() { ::uselocale(previous_); }
  ThreadLocale(const ThreadLocale&) = delete;
  ThreadLocale& operator=(const ThreadLocale&) = delete;

 private:
  locale_t previous_;
};
#endif

// Unprintable characters (wcwidth -1) show as a replacement: one column.
int Columns(char32_t code, [[maybe_unused]] bool ask_system) {
#ifndef _WIN32
  if (ask_system) {
    const int columns = ::wcwidth(static_cast<wchar_t>(code));
    return columns < 0 ? 1 : columns;
  }
#endif
  return TableWidth(code);
}

}  // namespace

std::size_t DisplayWidth(std::string_view text) {
  // Most names are printable ASCII, a column a byte (quoting has already
  // turned control characters into escapes).
  if (std::all_of(text.begin(), text.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return text.size();
  }
  bool ask_system = false;
#ifndef _WIN32
  std::optional<ThreadLocale> reading;
  if (const locale_t utf8 = Utf8Locale(); utf8 != locale_t{}) {
    reading.emplace(utf8);
    ask_system = true;
  }
#endif
  std::size_t width = 0;
  for (std::size_t at = 0; at < text.size();) {
    const Utf8Char ch = DecodeUtf8(text, at);
    at += ch.length;
    width += ch.valid ? static_cast<std::size_t>(Columns(ch.code, ask_system)) : 1;
  }
  return width;
}

}  // namespace brevio::cli

#include "brevio/cli/console.h"

#include "brevio/engine/utf8.h"

namespace brevio::cli {

namespace {

// How many bytes a character that starts with lead has; 0 for a byte that
// starts none.
std::size_t LengthFrom(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Whether the bytes from `at` to the end may be the start of a character
// that the next piece completes.
bool CutShort(std::string_view text, std::size_t at) {
  const std::size_t length = LengthFrom(static_cast<unsigned char>(text[at]));
  if (length <= 1 || text.size() - at >= length) return false;
  for (std::size_t i = at + 1; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return false;
  }
  return true;
}

void Append(std::u16string& out, char32_t code) {
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
    return;
  }
  code -= 0x10000;
  out += static_cast<char16_t>(0xD800 + (code >> 10));
  out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
}

}  // namespace

std::u16string ConsoleText::Take(std::string_view bytes) {
  pending_.append(bytes);
  const std::string_view text = pending_;
  std::u16string out;
  std::size_t at = 0;
  while (at < text.size()) {
    if (CutShort(text, at)) break;
    const Utf8Char ch = DecodeUtf8(text, at);
    Append(out, ch.valid ? ch.code : U'\uFFFD');
    at += ch.length;
  }
  pending_.erase(0, at);
  return out;
}

std::u16string ConsoleText::Finish() {
  std::u16string out(pending_.empty() ? 0 : 1, u'\uFFFD');
  pending_.clear();
  return out;
}

}  // namespace brevio::cli

#include "brevio/engine/quote.h"

#include "brevio/engine/utf8.h"

namespace brevio {

namespace {

// The bytes at `at` that must be written as escapes: a control character,
// a byte that starts no UTF-8 character (a name in another encoding, a
// broken one) or a C1 control (U+0080..U+009F), which terminals may take for
// the start of an escape sequence. 0 when the character there prints.
std::size_t EscapedAt(std::string_view name, std::size_t at) {
  const Utf8Char ch = DecodeUtf8(name, at);
  if (!ch.valid) return 1;
  const bool control = ch.code < 0x20 || (ch.code >= 0x7f && ch.code <= 0x9f);
  return control ? ch.length : 0;
}

// Characters a shell reads as something other than themselves. '#' and '~'
// matter only at the start of a word; a lone '{' or '}' is a shell word.
bool NeedsQuotes(std::string_view name) {
  if (name.empty()) return true;
  if (name.front() == '#' || name.front() == '~') return true;
  if (name == "{" || name == "}") return true;
  return HasEscapes(name) || name.find_first_of(" !\"$&'()*;<=>?[\\]^`|") != std::string_view::npos;
}

void AppendEscape(std::string& out, unsigned char c) {
  switch (c) {
    case '\a':
      out += "\\a";
      return;
    case '\b':
      out += "\\b";
      return;
    case '\f':
      out += "\\f";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    case '\v':
      out += "\\v";
      return;
    default:
      out += '\\';
      out += static_cast<char>('0' + ((c >> 6) & 7));
      out += static_cast<char>('0' + ((c >> 3) & 7));
      out += static_cast<char>('0' + (c & 7));
  }
}

// Built by appending: GCC 12 at -O3 misreads `"'" + std::string(...)` as an
// overlapping copy (-Wrestrict).
std::string Enclosed(char quote, std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += quote;
  out += text;
  out += quote;
  return out;
}

}  // namespace

bool HasEscapes(std::string_view name) {
  for (std::size_t at = 0; at < name.size(); at += DecodeUtf8(name, at).length) {
    if (EscapedAt(name, at) != 0) return true;
  }
  return false;
}

std::string QuoteName(std::string_view name, bool always) {
  if (name.empty()) return "''";
  if (!NeedsQuotes(name)) return always ? Enclosed('\'', name) : std::string(name);
  // A quote among otherwise harmless characters reads best in double quotes.
  if (!HasEscapes(name) && name.find('\'') != std::string_view::npos &&
      name.find_first_of("\"$`\\!") == std::string_view::npos) {
    return Enclosed('"', name);
  }
  // Runs of plain characters in '...', runs of escapes in $'...', a single
  // quote as \' between them. An escaped character is escaped byte by byte,
  // as octal where it has no letter.
  enum class Run { kNone, kPlain, kControl };
  Run run = Run::kNone;
  std::string out;
  const auto enter = [&](Run next) {
    if (run == next) return;
    if (run != Run::kNone) out += '\'';
    if (next == Run::kPlain) out += '\'';
    if (next == Run::kControl) out += "$'";
    run = next;
  };
  for (std::size_t at = 0; at < name.size();) {
    if (name[at] == '\'') {
      enter(Run::kNone);
      out += "\\'";
      ++at;
    } else if (const std::size_t escaped = EscapedAt(name, at); escaped != 0) {
      enter(Run::kControl);
      for (const std::size_t end = at + escaped; at < end; ++at) {
        AppendEscape(out, static_cast<unsigned char>(name[at]));
      }
    } else {
      enter(Run::kPlain);
      const std::size_t length = DecodeUtf8(name, at).length;
      out += name.substr(at, length);
      at += length;
    }
  }
  enter(Run::kNone);
  return out;
}

}  // namespace brevio

#include "quote.h"

#include <algorithm>

namespace brevio::cli {

namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// Characters a shell reads as something other than themselves. '#' and '~'
// matter only at the start of a word; a lone '{' or '}' is a shell word.
bool NeedsQuotes(std::string_view name) {
  if (name.empty()) return true;
  if (name.front() == '#' || name.front() == '~') return true;
  if (name == "{" || name == "}") return true;
  return std::any_of(name.begin(), name.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return IsControl(c) ||
           std::string_view(" !\"$&'()*;<=>?[\\]^`|").find(ch) != std::string_view::npos;
  });
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

std::string QuoteName(std::string_view name, bool always) {
  if (name.empty()) return "''";
  if (!NeedsQuotes(name)) return always ? Enclosed('\'', name) : std::string(name);
  const bool has_control = std::any_of(
      name.begin(), name.end(), [](char c) { return IsControl(static_cast<unsigned char>(c)); });
  // A quote among otherwise harmless characters reads best in double quotes.
  if (!has_control && name.find('\'') != std::string_view::npos &&
      name.find_first_of("\"$`\\!") == std::string_view::npos) {
    return Enclosed('"', name);
  }
  // Runs of plain characters in '...', runs of control characters in $'...',
  // a single quote as \' between them.
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
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (ch == '\'') {
      enter(Run::kNone);
      out += "\\'";
    } else if (IsControl(c)) {
      enter(Run::kControl);
      AppendEscape(out, c);
    } else {
      enter(Run::kPlain);
      out += ch;
    }
  }
  enter(Run::kNone);
  return out;
}

}  // namespace brevio::cli

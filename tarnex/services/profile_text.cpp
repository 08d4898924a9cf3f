#include <comrt_text.h>

#include <cstddef>
#include <vector>

#include "tarnex/services/profile.h"

namespace tarnex {
namespace {

bool IsBlankChar(char c) { return c == ' ' || c == '\t' || c == '\v'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlankChar(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlankChar(s.back())) s.remove_suffix(1);
  return s;
}

// Arguments lose only their outer spaces, as the platform functions do.
using comrt::ascii::TrimSpaces;

// Names compare without regard to ASCII case; other bytes must be equal
// (the file is 8-bit text in whatever encoding its writer used).
using comrt::ascii::EqualsNoCase;

enum class Kind { kBlank, kComment, kSection, kKey };

struct Line {
  std::size_t begin = 0;  // first byte of the line
  std::size_t end = 0;    // end of its text, before the line end
  std::size_t next = 0;   // after its line end (CRLF, LF, CR or none)
  Kind kind = Kind::kBlank;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed
  bool has_equals = false;
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    Line line;
    line.begin = pos;
    std::size_t end = pos;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    line.end = end;
    line.next = end;
    if (line.next < text.size()) {
      if (text[line.next] == '\r' && line.next + 1 < text.size() && text[line.next + 1] == '\n') {
        line.next += 2;
      } else {
        line.next += 1;
      }
    }
    const std::string_view body = TrimBlanks(text.substr(pos, end - pos));
    if (body.empty()) {
      line.kind = Kind::kBlank;
    } else if (body.front() == ';') {
      line.kind = Kind::kComment;
    } else if (body.front() == '[') {
      // The name ends at the first ']', or at the end of the line without one.
      line.kind = Kind::kSection;
      std::string_view name = body.substr(1);
      name = name.substr(0, name.find(']'));
      line.name = TrimBlanks(name);
    } else {
      line.kind = Kind::kKey;
      const std::size_t eq = body.find('=');
      line.has_equals = eq != std::string_view::npos;
      line.name = TrimBlanks(body.substr(0, eq));
      if (line.has_equals) line.value = TrimBlanks(body.substr(eq + 1));
    }
    lines.push_back(line);
    pos = line.next;
  }
  return lines;
}

// The lines [first, last) of the first section called `section`: its header
// is lines[first - 1]. Returns false when there is no such section.
bool FindSection(const std::vector<Line>& lines, std::string_view section, std::size_t& first,
                 std::size_t& last) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind != Kind::kSection || !EqualsNoCase(lines[i].name, section)) continue;
    first = i + 1;
    last = first;
    while (last < lines.size() && lines[last].kind != Kind::kSection) ++last;
    return true;
  }
  return false;
}

// Index of the first key line called `key` in [first, last), or last.
std::size_t FindKey(const std::vector<Line>& lines, std::size_t first, std::size_t last,
                    std::string_view key) {
  for (std::size_t i = first; i < last; ++i) {
    if (lines[i].kind == Kind::kKey && EqualsNoCase(lines[i].name, key)) return i;
  }
  return last;
}

// New lines follow the text's own line-end style; a text without one gets CRLF.
std::string_view LineEnd(std::string_view text) {
  const std::size_t at = text.find_first_of("\r\n");
  if (at == std::string_view::npos) return "\r\n";
  if (text[at] == '\n') return "\n";
  if (at + 1 < text.size() && text[at + 1] == '\n') return "\r\n";
  return "\r";
}

}  // namespace

std::optional<std::string> ProfileText::Find(std::string_view section, std::string_view key) const {
  const std::vector<Line> lines = SplitLines(bytes_);
  std::size_t first = 0;
  std::size_t last = 0;
  if (!FindSection(lines, TrimSpaces(section), first, last)) return std::nullopt;
  const std::size_t at = FindKey(lines, first, last, TrimSpaces(key));
  if (at == last || !lines[at].has_equals) return std::nullopt;
  std::string_view value = lines[at].value;
  // One pair of matching outer quotes is taken off; writes never add them.
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

void ProfileText::Set(std::string_view section, std::string_view key, std::string_view value) {
  section = TrimSpaces(section);
  key = TrimSpaces(key);
  const std::vector<Line> lines = SplitLines(bytes_);
  const std::string eol(LineEnd(bytes_));
  std::size_t first = 0;
  std::size_t last = 0;
  if (!FindSection(lines, section, first, last)) {
    std::string add;
    if (!bytes_.empty() && bytes_.back() != '\n' && bytes_.back() != '\r') add += eol;
    add.append("[").append(section).append("]").append(eol);
    add.append(key).append("=").append(value).append(eol);
    bytes_ += add;
    return;
  }
  const std::size_t at = FindKey(lines, first, last, key);
  if (at != last) {
    // The name keeps the casing it has in the file.
    const Line& line = lines[at];
    std::string replacement(line.name);
    replacement.append("=").append(value);
    bytes_.replace(line.begin, line.end - line.begin, replacement);
    return;
  }
  // After the last key of the section, or right after its header.
  std::size_t anchor = first - 1;
  for (std::size_t i = first; i < last; ++i) {
    if (lines[i].kind == Kind::kKey) anchor = i;
  }
  const Line& after = lines[anchor];
  std::string add;
  if (after.next == after.end) add += eol;  // the anchor is the unterminated last line
  add.append(key).append("=").append(value);
  if (after.next != after.end) {
    add.append(bytes_, after.end, after.next - after.end);
  } else {
    add += eol;
  }
  bytes_.insert(after.next, add);
}

bool ProfileText::DeleteKey(std::string_view section, std::string_view key) {
  const std::vector<Line> lines = SplitLines(bytes_);
  std::size_t first = 0;
  std::size_t last = 0;
  if (!FindSection(lines, TrimSpaces(section), first, last)) return false;
  const std::size_t at = FindKey(lines, first, last, TrimSpaces(key));
  if (at == last) return false;
  bytes_.erase(lines[at].begin, lines[at].next - lines[at].begin);
  return true;
}

bool ProfileText::DeleteSection(std::string_view section) {
  const std::vector<Line> lines = SplitLines(bytes_);
  std::size_t first = 0;
  std::size_t last = 0;
  if (!FindSection(lines, TrimSpaces(section), first, last)) return false;
  // Comments and blank lines inside the section stay where they are.
  std::string kept(bytes_, 0, lines[first - 1].begin);
  for (std::size_t i = first; i < last; ++i) {
    if (lines[i].kind != Kind::kKey)
      kept.append(bytes_, lines[i].begin, lines[i].next - lines[i].begin);
  }
  if (last < lines.size()) kept.append(bytes_, lines[last].begin, std::string::npos);
  bytes_ = std::move(kept);
  return true;
}

}  // namespace tarnex

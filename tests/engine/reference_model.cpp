#include "tests/engine/reference_model.h"

#include <map>
#include <vector>

namespace brevio::testing {

namespace {

// One pass, left to right, non-overlapping; true when anything changed.
bool ReplacePass(std::string& text, const std::string& from, const std::string& to) {
  std::string out;
  bool changed = false;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t hit = text.find(from, pos);
    if (hit == std::string::npos) break;
    out.append(text, pos, hit - pos);
    out += to;
    pos = hit + from.size();
    changed = true;
  }
  out.append(text, pos, std::string::npos);
  text = std::move(out);
  return changed;
}

}  // namespace

std::string ModelCleanSegment(std::string segment) {
  for (char& c : segment) {
    if (c == '\t') c = ' ';
  }
  const std::size_t first = segment.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const std::size_t last = segment.find_last_not_of(' ');
  return segment.substr(first, last - first + 1);
}

std::string ModelCleanLine(const std::string& line) {
  std::vector<std::string> segments;
  if (!line.empty()) {
    std::size_t start = 0;
    for (;;) {
      const std::size_t lf = line.find('\n', start);
      segments.push_back(
          line.substr(start, lf == std::string::npos ? std::string::npos : lf - start));
      if (lf == std::string::npos) break;
      start = lf + 1;
    }
  }
  std::string result;
  for (const std::string& segment : segments) {
    const std::string cleaned = ModelCleanSegment(segment);
    if (result.empty()) {
      result = cleaned;
    } else {
      result += "\r\n" + cleaned;
    }
  }
  while (ReplacePass(result, "\r\n\r\n", "\r\n")) {
  }
  while (ReplacePass(result, "  ", " ")) {
  }
  return result;
}

std::string ModelTrimFile(const std::string& content) {
  std::string out;
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t cr = content.find('\r', pos);
    if (cr == std::string::npos) cr = content.size();
    const std::string cleaned = ModelCleanLine(content.substr(pos, cr - pos));
    if (!cleaned.empty()) out += cleaned + "\r\n";
    pos = cr + 1;
    if (pos < content.size() && content[pos] == '\n') ++pos;
  }
  return out;
}

std::string ModelLineEnd(const std::string& content, LineEnd line_end) {
  if (line_end == LineEnd::kLf) return "\n";
  if (line_end == LineEnd::kKeep) {
    const std::size_t first = content.find_first_of("\r\n");
    if (first != std::string::npos && content[first] == '\n') return "\n";
  }
  return "\r\n";
}

std::string ModelEndLines(const std::string& rule_output, const std::string& end) {
  std::string out;
  std::size_t pos = 0;
  while (pos < rule_output.size()) {
    std::size_t line_end = rule_output.find("\r\n", pos);
    if (line_end == std::string::npos) line_end = rule_output.size();
    if (line_end != pos) out += rule_output.substr(pos, line_end - pos) + end;
    pos = line_end + 2;
  }
  return out;
}

std::string ModelTrimFile(const std::string& content, LineEnd line_end) {
  if (line_end == LineEnd::kCrLf) return ModelTrimFile(content);
  return ModelEndLines(ModelTrimFile(content), ModelLineEnd(content, line_end));
}

std::string Bytes(std::string_view notation) {
  static const std::map<std::string, std::string, std::less<>> kNames = {
      {"TAB", "\t"},   {"LF", "\n"},     {"CR", "\r"},
      {"SP", " "},     {"NBSP", "\xA0"}, {"NUL", std::string(1, '\0')},
      {"SUB", "\x1A"}, {"FF", "\xFF"},   {"(empty)", ""}};
  std::string out;
  std::size_t pos = 0;
  while (pos < notation.size()) {
    if (notation[pos] == ' ') {
      ++pos;
      continue;
    }
    std::size_t end = notation.find(' ', pos);
    if (end == std::string_view::npos) end = notation.size();
    const std::string_view token = notation.substr(pos, end - pos);
    const auto named = kNames.find(token);
    out += named != kNames.end() ? named->second : std::string(token);
    pos = end;
  }
  return out;
}

}  // namespace brevio::testing

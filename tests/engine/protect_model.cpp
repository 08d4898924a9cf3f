// The protected regions of protect.h found the plain way: the whole file in
// memory, std::string::find and one loop per kind of region, each marking
// the bytes it keeps. Then the rule runs on a copy where every kept stretch
// is one ordinary byte, and the stretches are put back.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tests/engine/reference_model.h"

namespace brevio::testing {

namespace {

constexpr std::size_t kNone = std::string::npos;

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsSpaceOrLineEnd(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsSpaceOrLineEnd(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpaceOrLineEnd(text.back())) text.remove_suffix(1);
  return text;
}

class RegionScan {
 public:
  RegionScan(const std::string& text, ProtectSet set)
      : s_(text), set_(set), kept_(text.size(), false) {}

  std::vector<bool> Run() {
    std::size_t i = 0;
    while (i < s_.size()) {
      if (At(i, "<!--")) {
        const std::size_t end = Comment(i);
        i = IsMarker(i, end, "brevio:off") ? OffRegion(end) : end;
      } else if (ServerAt(i)) {
        i = Server(i);
      } else if (TagAt(i)) {
        i = TagOrElement(i);
      } else {
        ++i;
      }
    }
    return kept_;
  }

 private:
  bool At(std::size_t i, std::string_view what) const {
    return s_.compare(i, what.size(), what) == 0;
  }

  bool ServerAt(std::size_t i) const { return At(i, "<?") || At(i, "<%"); }

  bool TagAt(std::size_t i) const {
    if (s_[i] != '<' || i + 1 >= s_.size()) return false;
    const char next = s_[i + 1];
    if (IsLetter(next)) return true;
    if (next == '/') return i + 2 < s_.size() && IsLetter(s_[i + 2]);
    return next == '!' && !At(i + 2, "--");
  }

  void Mark(std::size_t begin, std::size_t end, ProtectSet kind) {
    if ((set_ & kind) == 0) return;
    for (std::size_t k = begin; k < end; ++k) kept_[k] = true;
  }

  // Each of these takes the position of the region's first byte and returns
  // the position just past its last (the file's size when it does not end).

  std::size_t Server(std::size_t i) {
    const std::size_t close = s_.find(s_[i + 1] == '?' ? "?>" : "%>", i + 2);
    const std::size_t end = close == kNone ? s_.size() : close + 2;
    Mark(i, end, kProtectServer);
    return end;
  }

  std::size_t Comment(std::size_t i) {
    std::size_t j = i + 4;
    while (j < s_.size()) {
      if (ServerAt(j)) {
        j = Server(j);
      } else if (At(j, "-->")) {
        return j + 3;
      } else {
        ++j;
      }
    }
    return s_.size();
  }

  // A whole comment from begin to end whose text reads `word`.
  bool IsMarker(std::size_t begin, std::size_t end, std::string_view word) const {
    if (end - begin < 7 || !At(end - 3, "-->")) return false;
    return Trimmed(std::string_view(s_).substr(begin + 4, end - begin - 7)) == word;
  }

  // From just after the off comment up to and including the on comment; only
  // comments are looked for in it.
  std::size_t OffRegion(std::size_t begin) {
    std::size_t end = s_.size();
    for (std::size_t from = begin;;) {
      const std::size_t open = s_.find("<!--", from);
      if (open == kNone) break;
      const std::size_t close = s_.find("-->", open + 4);
      if (close == kNone) break;
      if (IsMarker(open, close + 3, "brevio:on")) {
        end = close + 3;
        break;
      }
      from = close + 3;
    }
    Mark(begin, end, kProtectAll);
    return end;
  }

  std::size_t Quoted(std::size_t i) {
    std::size_t j = i + 1;
    std::size_t end = s_.size();
    while (j < s_.size()) {
      if (ServerAt(j)) {
        j = Server(j);
      } else if (s_[j] == s_[i]) {
        end = j + 1;
        break;
      } else {
        ++j;
      }
    }
    Mark(i, end, kProtectAttributes);
    return end;
  }

  std::size_t Tag(std::size_t i) {
    std::size_t j = i + 1;
    while (j < s_.size()) {
      if (ServerAt(j)) {
        j = Server(j);
      } else if (s_[j] == '"' || s_[j] == '\'') {
        j = Quoted(j);
      } else if (s_[j] == '>') {
        return j + 1;
      } else {
        ++j;
      }
    }
    return s_.size();
  }

  // Case-blind `name` at i, followed by one of `after` (the end of the file
  // is none of them).
  bool NameAt(std::size_t i, std::string_view name, std::string_view after) const {
    if (i + name.size() >= s_.size()) return false;
    for (std::size_t k = 0; k < name.size(); ++k) {
      if (Lower(s_[i + k]) != name[k]) return false;
    }
    return after.find(s_[i + name.size()]) != std::string_view::npos;
  }

  // "</name", spaces and line ends, ">" at i: the position after it, else kNone.
  std::size_t EndTagAt(std::size_t i, std::string_view name) const {
    if (!At(i, "</") || !NameAt(i + 2, name, " \t\r\n>")) return kNone;
    std::size_t j = i + 2 + name.size();
    while (j < s_.size() && IsSpaceOrLineEnd(s_[j])) ++j;
    return j < s_.size() && s_[j] == '>' ? j + 1 : kNone;
  }

  std::size_t TagOrElement(std::size_t i) {
    struct Element {
      std::string_view name;
      ProtectSet kind;
    };
    static constexpr Element kElements[] = {{"script", kProtectScript},
                                            {"style", kProtectStyle},
                                            {"textarea", kProtectTextarea},
                                            {"pre", kProtectPre}};
    const std::size_t tag_end = Tag(i);
    for (const Element& element : kElements) {
      if (element.kind == kProtectPre && (set_ & kProtectPre) == 0) continue;
      if (!NameAt(i + 1, element.name, " \t\r\n/>")) continue;
      std::size_t end = s_.size();
      std::size_t j = tag_end;
      while (j < s_.size()) {
        if (ServerAt(j)) {
          j = Server(j);
        } else if (const std::size_t after = EndTagAt(j, element.name); after != kNone) {
          end = after;
          break;
        } else {
          ++j;
        }
      }
      Mark(i, end, element.kind);
      return end;
    }
    return tag_end;
  }

  const std::string& s_;
  ProtectSet set_;
  std::vector<bool> kept_;
};

}  // namespace

std::string ModelTrimFileProtected(const std::string& content, ProtectSet set, LineEnd line_end) {
  if (set == 0) return ModelTrimFile(content, line_end);
  const std::vector<bool> kept = RegionScan(content, set).Run();

  // The rule only tells SP, TAB, CR and LF from the rest, and its output holds
  // every other byte of its input in order. So every other byte, and every
  // kept stretch, goes in as an 'x' and comes out as itself, in order.
  std::string stand_in;
  std::vector<std::string> words;
  for (std::size_t i = 0; i < content.size();) {
    if (kept[i]) {
      std::size_t end = i;
      while (end < content.size() && kept[end]) ++end;
      words.push_back(content.substr(i, end - i));
      stand_in += 'x';
      i = end;
    } else {
      if (IsSpaceOrLineEnd(content[i])) {
        stand_in += content[i];
      } else {
        words.emplace_back(1, content[i]);
        stand_in += 'x';
      }
      ++i;
    }
  }
  std::string out;
  std::size_t next = 0;
  // Line ends are changed before the kept stretches go back in: theirs stay.
  std::string cleaned = ModelTrimFile(stand_in);
  if (line_end != LineEnd::kCrLf) cleaned = ModelEndLines(cleaned, ModelLineEnd(content, line_end));
  for (const char c : cleaned) {
    if (c == 'x' && next < words.size()) {
      out += words[next++];
    } else {
      out += c;
    }
  }
  if (next != words.size()) return "model fault: the rule dropped a byte";
  return out;
}

}  // namespace brevio::testing

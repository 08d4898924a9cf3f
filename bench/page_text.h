#pragma once
// Realistic web page text for the benchmarks: nested, indented HTML with
// PHP blocks, paragraphs, blank lines and the odd alignment run.

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

namespace brevio::bench {

inline std::string MakePageText(std::size_t bytes, bool lf_only, std::uint32_t seed = 1) {
  static const char* const kWords[] = {"the",        "trim",    "page",   "content", "brevio",
                                       "layout",     "table",   "a",      "of",      "and",
                                       "navigation", "section", "header", "user",    "value",
                                       "return",     "item",    "list",   "form",    "price"};
  static const char* const kTags[] = {"div", "section", "ul", "table", "tr", "form", "nav"};
  std::mt19937 random(seed);
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const std::string eol = lf_only ? "\n" : "\r\n";
  std::string text;
  text.reserve(bytes + 256);
  int depth = 0;
  const auto indent = [&] {
    if (pick(3) == 0) {
      text.append(static_cast<std::size_t>(depth), '\t');
    } else {
      text.append(static_cast<std::size_t>(depth) * 4, ' ');
    }
  };
  const auto sentence = [&](int words) {
    for (int w = 0; w < words; ++w) {
      if (w > 0) text += pick(12) == 0 ? "  " : " ";
      text += kWords[pick(20)];
    }
  };
  while (text.size() < bytes) {
    const int kind = pick(10);
    if (kind < 2 && depth < 8) {
      indent();
      text += "<";
      text += kTags[pick(7)];
      text += " class=\"c" + std::to_string(pick(50)) + "\"  id=\"n" + std::to_string(pick(999)) +
              "\">";
      text += eol;
      ++depth;
    } else if (kind < 4 && depth > 0) {
      --depth;
      indent();
      text += "</div>" + eol;
    } else if (kind < 7) {
      indent();
      text += "<p>";
      sentence(4 + pick(12));
      text += "</p>  " + eol;
    } else if (kind < 8) {
      indent();
      text += "<?php echo   $row['";
      text += kWords[pick(20)];
      text += "'];   ?>" + eol;
    } else if (kind < 9) {
      text += eol;  // blank line
      if (pick(2) == 0) {
        indent();
        text += eol;  // blank line holding only indentation
      }
    } else {
      indent();
      text += "<a href=\"/";
      text += kWords[pick(20)];
      text += ".php\">";
      sentence(2 + pick(3));
      text += "</a>" + eol;
    }
  }
  return text;
}

}  // namespace brevio::bench

#include "brevio/cli/wildcards.h"

namespace brevio::cli {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsWildcard(char c) { return c == '*' || c == '?'; }

}  // namespace

std::vector<RawArgument> SplitCommandLine(std::string_view line) {
  std::vector<RawArgument> args(1);
  std::size_t at = 0;
  // The program's name ends at the next quote when it starts with one, else
  // at the first blank; backslashes in it are plain.
  if (at < line.size() && line[at] == '"') {
    for (++at; at < line.size() && line[at] != '"'; ++at) args[0].text += line[at];
    if (at < line.size()) ++at;
  } else {
    for (; at < line.size() && !IsBlank(line[at]); ++at) args[0].text += line[at];
  }
  // Once per argument: whether it has wildcards outside quotes, inside them.
  bool open_wildcard = false;
  bool quoted_wildcard = false;
  const auto finish = [&] {
    args.back().wildcards = open_wildcard && !quoted_wildcard;
    open_wildcard = quoted_wildcard = false;
  };
  int quotes = 0;  // 1: inside quotes (the count of a run of them, mod 3)
  bool in_argument = false;
  while (at < line.size()) {
    const char c = line[at];
    if (IsBlank(c) && quotes == 0) {
      if (in_argument) finish();
      in_argument = false;
      ++at;
      continue;
    }
    if (!in_argument) {
      args.emplace_back();
      in_argument = true;
    }
    std::string& text = args.back().text;
    if (c == '\\') {
      std::size_t slashes = 0;
      while (at < line.size() && line[at] == '\\') ++slashes, ++at;
      if (at < line.size() && line[at] == '"') {
        text.append(slashes / 2, '\\');
        if (slashes % 2 == 1) {
          text += '"';
          ++at;
        }
        // An even count leaves the quote to the branch below.
      } else {
        text.append(slashes, '\\');
      }
      continue;
    }
    if (c == '"') {
      // The quote that opens or closes, then each further one in the run:
      // every third gives a literal quote.
      ++quotes;
      for (++at; at < line.size() && line[at] == '"'; ++at) {
        if (++quotes == 3) {
          text += '"';
          quotes = 0;
        }
      }
      if (quotes == 2) quotes = 0;
      continue;
    }
    if (IsWildcard(c)) (quotes != 0 ? quoted_wildcard : open_wildcard) = true;
    text += c;
    ++at;
  }
  if (in_argument) finish();
  return args;
}

}  // namespace brevio::cli

#include "tarnex/services/command_line.h"

namespace tarnex {

std::vector<std::string> SplitCommandLine(std::string_view s) {
  std::vector<std::string> args;
  std::string arg;
  bool in_arg = false;  // an argument has begun (even an empty "")
  int quotes = 0;       // quote state, counted as the Windows splitter does
  std::size_t backslashes = 0;
  std::size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if ((c == ' ' || c == '\t') && quotes == 0) {
      if (in_arg) args.push_back(std::move(arg));
      arg.clear();
      in_arg = false;
      backslashes = 0;
      ++i;
      continue;
    }
    in_arg = true;
    if (c == '\\') {
      arg += c;
      ++backslashes;
      ++i;
    } else if (c == '"') {
      if (backslashes % 2 == 0) {
        // 2n backslashes: n of them stay, the quote toggles quoting.
        arg.resize(arg.size() - backslashes / 2);
        ++quotes;
      } else {
        // 2n+1 backslashes: n of them stay, followed by a literal quote.
        arg.resize(arg.size() - backslashes / 2 - 1);
        arg += '"';
      }
      ++i;
      backslashes = 0;
      // A run of further quotes: every third one (counting the opening
      // quote) is literal and leaves quoting.
      while (i < s.size() && s[i] == '"') {
        if (++quotes == 3) {
          arg += '"';
          quotes = 0;
        }
        ++i;
      }
      if (quotes == 2) quotes = 0;
    } else {
      arg += c;
      backslashes = 0;
      ++i;
    }
  }
  if (in_arg) args.push_back(std::move(arg));
  return args;
}

std::string QuoteCommandLine(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& arg : args) {
    if (!line.empty() || &arg != &args.front()) line += ' ';
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
      line += arg;  // backslashes not followed by a quote are literal
      continue;
    }
    line += '"';
    std::size_t backslashes = 0;
    for (const char c : arg) {
      if (c == '\\') {
        ++backslashes;
      } else if (c == '"') {
        line.append(2 * backslashes + 1, '\\');
        backslashes = 0;
      } else {
        line.append(backslashes, '\\');
        backslashes = 0;
      }
      if (c != '\\') line += c;
    }
    line.append(2 * backslashes, '\\');  // they stand before the closing quote
    line += '"';
  }
  return line;
}

}  // namespace tarnex

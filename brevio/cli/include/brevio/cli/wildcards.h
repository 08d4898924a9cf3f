#pragma once
// Windows gives a program its command line as one string and leaves `*`
// and `?` to the program, as cmd leaves them: brevio-trim.exe splits the
// line itself, to know which arguments were quoted, and expands the
// wildcards of its file operands (never of option values) as the C
// runtime's expansion does. Elsewhere the shell has done all this.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace brevio::cli {

struct RawArgument {
  std::string text;
  // It holds `*` or `?` outside double quotes and none inside them: its
  // wildcards are for the program to expand. A quoted pattern stays literal.
  bool wildcards = false;
};

// A Windows command line (UTF-8) split as CommandLineToArgvW splits it,
// the program's name first: arguments end at spaces and tabs outside double
// quotes, 2n backslashes and a quote give n backslashes and toggle quoting,
// 2n+1 give n and a literal quote, and a run of quotes counts in threes.
std::vector<RawArgument> SplitCommandLine(std::string_view line);

// What the parser needs to expand operands: which arguments carry
// wildcards (by their place in the argument list) and how a pattern is
// matched. Empty: nothing is expanded.
struct OperandWildcards {
  std::vector<bool> expand;
  // The paths a pattern matches, sorted; none when nothing matches.
  std::function<std::vector<std::string>(const std::string& pattern)> match;
};

// Windows: the names FindFirstFileW gives for the pattern's last part (its
// folder part taken as written), "." and ".." left out, each joined to that
// folder part as typed and sorted as the file system lists them (by letter,
// whatever the case). Files and folders alike, as the C runtime takes them.
std::vector<std::string> MatchWildcards(const std::string& pattern);

}  // namespace brevio::cli

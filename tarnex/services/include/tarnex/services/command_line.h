#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace tarnex {

// Splits the arguments of a Windows command line (everything after the
// program name) the way CommandLineToArgvW does: spaces and tabs separate
// arguments outside quotes; a quote toggles quoting; 2n backslashes before a
// quote give n backslashes, 2n+1 give n and a literal quote; other
// backslashes are literal; inside quotes a run of 3n quotes (counting the
// opening one) gives n quotes and stays quoted, 3n+1 gives n and ends
// quoting, 3n+2 gives n+1 and ends quoting.
std::vector<std::string> SplitCommandLine(std::string_view parameters);

// The inverse: a command line that SplitCommandLine turns back into `args`
// (every argument, the empty one included, survives the round trip).
std::string QuoteCommandLine(const std::vector<std::string>& args);

}  // namespace tarnex

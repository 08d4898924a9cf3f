// The command-line splitter used for launches: any text splits without a
// crash, and an argument list quoted by the same rules splits back to itself.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tarnex/services/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> split = tarnex::SplitCommandLine(text);

  // Build an argument list from the bytes: NUL separates arguments (a C
  // argv cannot carry NUL itself), so empty arguments and every other byte occur.
  std::vector<std::string> args(1);
  for (const char c : text) {
    if (c == '\0') {
      args.emplace_back();
    } else {
      args.back() += c;
    }
  }
  const std::string quoted = tarnex::QuoteCommandLine(args);
  if (tarnex::SplitCommandLine(quoted) != args) {
    std::fprintf(stderr, "quoted arguments did not split back: [%s]\n", quoted.c_str());
    std::abort();
  }
  // Splitting what a split produced, quoted again, is stable too.
  if (tarnex::SplitCommandLine(tarnex::QuoteCommandLine(split)) != split) std::abort();
  return 0;
}

#include "tarnex/services/command_line.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using tarnex::QuoteCommandLine;
using tarnex::SplitCommandLine;
using Args = std::vector<std::string>;

struct SplitCase {
  const char* line;
  Args args;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << "[" << c.line << "]"; }

class SplitCommandLineTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, FollowsTheWindowsSplitter) {
  EXPECT_EQ(SplitCommandLine(GetParam().line), GetParam().args) << "line: " << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitCommandLineTest,
    testing::Values(
        SplitCase{"", {}}, SplitCase{"   \t ", {}}, SplitCase{"a b\tc", {"a", "b", "c"}},
        SplitCase{"  a   b  ", {"a", "b"}}, SplitCase{R"("a b" c)", {"a b", "c"}},
        SplitCase{R"("")", {""}}, SplitCase{R"(a "" b)", {"a", "", "b"}},
        SplitCase{R"(a\b c\\d)", {R"(a\b)", R"(c\\d)"}},  // lone backslashes are literal
        SplitCase{R"(a\"b)", {R"(a"b)"}},                 // 2n+1 -> n and a quote
        SplitCase{R"(a\\\"b)", {R"(a\"b)"}},
        SplitCase{R"(a\\"b c")", {R"(a\b c)"}},  // 2n -> n, quote toggles
        SplitCase{R"("a b\\")", {R"(a b\)"}},
        SplitCase{R"(a"b"" c d)", {R"(ab")", "c", "d"}},  // differs from the C runtime
        SplitCase{R"("a ""b"" c")", {R"(a "b)", "c"}}, SplitCase{R"("""")", {R"(")"}},
        SplitCase{R"(""""""")", {R"("")"}}, SplitCase{R"("unterminated arg)", {"unterminated arg"}},
        SplitCase{"x; touch /tmp/pwned \"$(id)\" & y",
                  {"x;", "touch", "/tmp/pwned", "$(id)", "&", "y"}}));

TEST(QuoteCommandLineTest, SplitUndoesQuoteOnRandomArguments) {
  std::mt19937 rng(20240611);
  const std::string alphabet = "ab \t\"\\'$;&\xc3\xa9";
  for (int round = 0; round < 3000; ++round) {
    Args args(rng() % 5);
    for (std::string& arg : args) {
      const std::size_t len = rng() % 8;
      for (std::size_t i = 0; i < len; ++i) arg += alphabet[rng() % alphabet.size()];
    }
    const std::string line = QuoteCommandLine(args);
    ASSERT_EQ(SplitCommandLine(line), args) << "line: [" << line << "]";
  }
}

}  // namespace

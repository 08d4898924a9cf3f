#include "brevio/cli/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "brevio/cli/shown_name.h"

namespace brevio::cli {
namespace {

struct GoodCase {
  std::vector<std::string> args;
  Mode mode;
  std::vector<std::string> operands;
};

class ParseGood : public ::testing::TestWithParam<GoodCase> {};

TEST_P(ParseGood, PicksTheModeAndOperands) {
  const ParseOutcome parsed = ParseCommandLine(GetParam().args);
  ASSERT_TRUE(parsed.command) << parsed.error;
  EXPECT_EQ(parsed.command->mode, GetParam().mode);
  EXPECT_EQ(parsed.command->operands, GetParam().operands);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ParseGood,
    ::testing::Values(
        GoodCase{{}, Mode::kFilter, {}}, GoodCase{{"-"}, Mode::kFilter, {"-"}},
        GoodCase{{"a", "b"}, Mode::kPair, {"a", "b"}},
        GoodCase{{"-o", "d", "a", "b"}, Mode::kOutputDir, {"a", "b"}},
        GoodCase{{"a", "--output=d", "b"}, Mode::kOutputDir, {"a", "b"}},
        GoodCase{{"-od", "a"}, Mode::kOutputDir, {"a"}},
        GoodCase{{"-rnqi", "a"}, Mode::kInPlace, {"a"}},
        GoodCase{{"--in-place", "--", "-x"}, Mode::kInPlace, {"-x"}},
        // After "--", "-" is a file of that name.
        GoodCase{{"-i", "--", "-"}, Mode::kInPlace, {"-"}},
        GoodCase{{"a", "--", "-"}, Mode::kPair, {"a", "-"}},
        GoodCase{{"-ri", "--include", "*.txt", "--include=*.x", "a"}, Mode::kInPlace, {"a"}},
        GoodCase{{"-j2", "a", "b"}, Mode::kPair, {"a", "b"}},
        GoodCase{
            {"-ri", "--exclude", "x/", "--exclude-from", "/dev/null", "a"}, Mode::kInPlace, {"a"}},
        // What writes nothing needs no target: each file stands for itself.
        GoodCase{{"--check", "a", "b"}, Mode::kInPlace, {"a", "b"}},
        GoodCase{{"-nr", "a", "b"}, Mode::kInPlace, {"a", "b"}},
        GoodCase{{"--json", "a", "b"}, Mode::kPair, {"a", "b"}},
        GoodCase{{"a", "b", "--help"}, Mode::kHelp, {"a", "b"}},
        GoodCase{{"-V"}, Mode::kVersion, {}}));

TEST(ParseCommandLine, ReadsValuesInEverySpelling) {
  const std::vector<std::string> args = {
      "-j",    "3",  "--include",  "*.tpl", "--protect", "pre", "--protect=script,pre",
      "--eol", "lf", "--eol=keep", "-rLpo", "out/",      "x"};
  const ParseOutcome parsed = ParseCommandLine(args);
  ASSERT_TRUE(parsed.command) << parsed.error;
  EXPECT_EQ(parsed.command->jobs, 3u);
  EXPECT_EQ(parsed.command->output_dir, "out/");
  EXPECT_TRUE(parsed.command->recursive);
  EXPECT_TRUE(parsed.command->dereference);
  EXPECT_TRUE(parsed.command->keep_times);
  EXPECT_EQ(parsed.command->includes, std::vector<std::string>{"*.tpl"});
  EXPECT_EQ(parsed.command->protect, kProtectPre | kProtectScript);
  EXPECT_EQ(parsed.command->line_end, LineEnd::kKeep);  // the last one given
}

struct BadCase {
  std::vector<std::string> args;
  std::string error_part;
};

class ParseBad : public ::testing::TestWithParam<BadCase> {};

TEST_P(ParseBad, SaysWhatIsWrong) {
  const ParseOutcome parsed = ParseCommandLine(GetParam().args);
  ASSERT_FALSE(parsed.command);
  EXPECT_NE(parsed.error.find(GetParam().error_part), std::string::npos) << parsed.error;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, ParseBad,
    ::testing::Values(
        BadCase{{"a"}, "missing TARGET"}, BadCase{{"a", "b", "c"}, "too many"},
        BadCase{{"-o", "d", "-i", "a"}, "exclude"}, BadCase{{"-o"}, "needs a folder"},
        BadCase{{"-o", "", "a"}, "output folder is empty"}, BadCase{{"-o", "d"}, "no FILE"},
        BadCase{{"-j", "0", "a", "b"}, "above 0"}, BadCase{{"-j", "x", "a", "b"}, "above 0"},
        BadCase{{"--jobs=2x", "a", "b"}, "above 0"},
        BadCase{{"-r", "a", "b"}, "-r needs -o DIR, -i, -n or --check"},
        BadCase{{"--include", "*.x", "-i", "a"}, "needs -r"}, BadCase{{"-n"}, "-n needs files"},
        BadCase{{"-i", "-", "a"}, "only operand"}, BadCase{{"-", "b"}, "only operand"},
        BadCase{{"--frob"}, "unknown option '--frob'"}, BadCase{{"-z"}, "unknown option '-z'"},
        BadCase{{"--quiet=1"}, "takes no value"},
        BadCase{{"--preserve=mode", "a", "b"}, "invalid argument 'mode' for '--preserve'"},
        BadCase{{"--preserve"}, "'--preserve' needs 'timestamps'"},
        BadCase{{"--protect=pre,scripts"}, "invalid region 'scripts' for '--protect'"},
        BadCase{{"--protect=pre,"}, "invalid region '' for '--protect'"},
        BadCase{{"--protect"}, "'--protect' needs a list of regions"},
        BadCase{{"--eol=CRLF"},
                "invalid line end 'CRLF' for '--eol' (valid: 'crlf', 'lf', 'keep')"},
        BadCase{{"--eol"}, "'--eol' needs a line end"},
        BadCase{{"--watch", "a", "b"}, "--watch needs -o DIR or -i"},
        BadCase{{"--watch", "-i", "--check", "a"}, "--watch and --check exclude each other"},
        BadCase{{"--check"}, "--check needs files"}, BadCase{{"--check", "-"}, "only operand"},
        BadCase{{"--check", "-o", "d", "a"}, "--check and -o exclude each other"},
        BadCase{{"--json"}, "--json needs files"}, BadCase{{"--json", "-"}, "--json needs files"},
        BadCase{{"--exclude", "x", "-i", "a"}, "--exclude needs -r"},
        BadCase{{"--exclude"}, "'--exclude' needs a pattern"},
        BadCase{{"-r", "-i", "--exclude=", "a"}, "invalid pattern '' for '--exclude'"},
        BadCase{{"-r", "-i", "--exclude", "//", "a"}, "invalid pattern '//' for '--exclude'"},
        BadCase{{"--exclude-from"}, "'--exclude-from' needs a file"},
        // A file's name quoted as the system's shell reads it.
        BadCase{{"-ri", "--exclude-from", "no such file", "a"},
                "cannot read patterns from " + QuoteName("no such file", true) +
                    ": No such file or directory"},
        BadCase{{"-ri", "--exclude-from", ".", "a"},
                "cannot read patterns from " + QuoteName(".", true) + ": Is a directory"}));

struct SplitCase {
  const char* line;
  std::vector<std::string> args;  // the program's name first
  std::vector<bool> wildcards;    // for the arguments after it
};

// Windows command lines as CommandLineToArgvW splits them (held against it
// under Wine by the Windows suite), and which arguments have wildcards
// for the program to expand.
TEST(SplitCommandLine, SplitsAsTheSystemAndTellsQuotedPatternsApart) {
  const SplitCase cases[] = {
      {"p a  b\t", {"p", "a", "b"}, {false, false}},
      {"\"C:\\Program Files\\p.exe\" x", {"C:\\Program Files\\p.exe", "x"}, {false}},
      {"\"p\"x y", {"p", "x", "y"}, {false, false}},
      {" p a", {"", "p", "a"}, {false, false}},
      {"p \"a b\" \"\" c", {"p", "a b", "", "c"}, {false, false, false}},
      {"p a\\\\b a\\\"b a\\\\\"b c\"", {"p", "a\\\\b", "a\"b", "a\\b c"}, {false, false, false}},
      {"p \"a \"\"b\"\" c\"", {"p", "a \"b", "c"}, {false, false}},
      {"p a\"b\"\" c d", {"p", "ab\"", "c", "d"}, {false, false, false}},
      {"p *.htm \"*.htm\" \"a b\"\\*.htm x\\\"?.htm \"a b\\*\"x*",
       {"p", "*.htm", "*.htm", "a b\\*.htm", "x\"?.htm", "a b\\*x*"},
       {true, false, true, true, false}},
  };
  for (const SplitCase& c : cases) {
    const std::vector<RawArgument> split = SplitCommandLine(c.line);
    std::vector<std::string> texts;
    std::vector<bool> wildcards;
    for (const RawArgument& arg : split) {
      texts.push_back(arg.text);
      if (texts.size() > 1) wildcards.push_back(arg.wildcards);
    }
    EXPECT_EQ(texts, c.args) << c.line;
    EXPECT_EQ(wildcards, c.wildcards) << c.line;
  }
}

struct ExpandCase {
  std::vector<std::string> args;
  std::vector<bool> expand;
  Mode mode;
  std::vector<std::string> operands;  // empty: the error below
  const char* error = "";
};

// The operands whose wildcards are the program's are replaced by what they
// match before the mode is decided; option values and quoted patterns stay.
TEST(ParseCommandLine, ExpandsTheOperandsMarkedForIt) {
  OperandWildcards wildcards;
  wildcards.match = [](const std::string& pattern) {
    return pattern == "*.htm" ? std::vector<std::string>{"a.htm", "b.htm"}
                              : std::vector<std::string>{};
  };
  const ExpandCase cases[] = {
      {{"-o", "d", "*.htm", "c"},
       {false, false, true, false},
       Mode::kOutputDir,
       {"a.htm", "b.htm", "c"}},
      {{"-o", "d", "*.htm"}, {false, false, false}, Mode::kOutputDir, {"*.htm"}},
      {{"-ri", "--include", "*.htm", "w"}, {false, true, true, false}, Mode::kInPlace, {"w"}},
      {{"-ri", "--include=*.htm", "w"}, {false, true, false}, Mode::kInPlace, {"w"}},
      {{"*.htm"}, {true}, Mode::kPair, {"a.htm", "b.htm"}},
      {{"-i", "--", "*.htm"}, {false, false, true}, Mode::kInPlace, {"a.htm", "b.htm"}},
      {{"-i", "*.htm", "x*"}, {false, true, true}, Mode::kInPlace, {}, "no file matches "},
  };
  for (const ExpandCase& c : cases) {
    wildcards.expand = c.expand;
    const ParseOutcome parsed = ParseCommandLine(c.args, wildcards);
    if (c.operands.empty()) {
      EXPECT_FALSE(parsed.command) << c.args[1];
      // The pattern quoted as the system's shell quotes it.
      EXPECT_TRUE(parsed.error.starts_with(c.error)) << parsed.error;
      EXPECT_NE(parsed.error.find("x*"), std::string::npos) << parsed.error;
      EXPECT_FALSE(parsed.usage);
      continue;
    }
    ASSERT_TRUE(parsed.command) << parsed.error;
    EXPECT_EQ(parsed.command->mode, c.mode) << c.args[1];
    EXPECT_EQ(parsed.command->operands, c.operands) << c.args[1];
  }
}

}  // namespace
}  // namespace brevio::cli

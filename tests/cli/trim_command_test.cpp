#include "brevio/cli/trim_command.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace brevio::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::ReadFile;
using testing::TempDir;

struct Result {
  int code = -1;
  std::string out;
  std::string err;
};

Result Trim(std::vector<std::string> args, const std::string& input = {},
            CommandEnvironment env = {}) {
  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in(input);
  Result run;
  run.code = RunTrimCommand(args, out, err, in, env);
  run.out = out.str();
  run.err = err.str();
  return run;
}

constexpr const char* kPage = "\t<p>  Hello  </p>\r\n\r\n   <br>\r\n";  // 30 bytes
constexpr const char* kTrimmed = "<p> Hello </p>\r\n<br>\r\n";          // 22 bytes

TEST(TrimCommand, OneFilePrintsTheTableWithATotal) {
  TempDir dir;
  const std::string source = dir.write("a.htm", kPage);
  const std::string target = (dir / "b.htm").string();
  const Result run = Trim({source, target});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadFile(target), kTrimmed);
  const std::size_t w = std::max<std::size_t>(source.size(), 23);  // "Total: 1 file, 1 failed"
  const auto pad = [&](const std::string& s) { return s + std::string(w - s.size(), ' '); };
  EXPECT_EQ(run.out, "#  " + pad("Source Files") + "  Source Sizes  Target Sizes  Compression\n" +
                         "1  " + pad(source) + "            30            22       73.33%\n" +
                         "   " + pad("Total: 1 file") +
                         "            30            22       73.33%\n");
}

TEST(TrimCommand, BatchIntoAFolderKeepsGoingAfterFailures) {
  TempDir dir;
  const std::string a = dir.write("a.htm", kPage);
  const std::string empty = dir.write("empty.php", "");
  const std::string missing = (dir / "missing.asp").string();
  const std::string folder = (dir / "sub").string();
  fs::create_directory(folder);
  const std::string out_dir = (dir / "made/out/").string();  // trailing separator, created
  const Result run = Trim({"-j", "3", "-o", out_dir, a, missing, folder, empty});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "brevio-trim: " + missing + ": No such file or directory\n" +
                         "brevio-trim: " + folder + ": Is a directory\n");
  EXPECT_EQ(ReadFile(dir / "made/out/a.htm"), kTrimmed);
  EXPECT_EQ(ReadFile(dir / "made/out/empty.php"), "");
  EXPECT_THAT(run.out, HasSubstr("  30            22       73.33%\n"));
  // A failed file has no sizes; an empty source has no ratio.
  EXPECT_THAT(run.out, ::testing::ContainsRegex("2  [^\n]*missing.asp +- +- +-\n"));
  EXPECT_THAT(run.out, ::testing::ContainsRegex("4  [^\n]*empty.php +0 +0 +-\n"));
  EXPECT_THAT(run.out, HasSubstr("Total: 2 files, 2 failed"));
}

TEST(TrimCommand, RowsKeepTheOrderOfTheOperandsWhateverFinishesFirst) {
  TempDir dir;
  std::vector<std::string> args = {"-j", "4", "-o", (dir / "out").string()};
  std::string big;
  for (int i = 0; i < 50000; ++i) big += "  <td>  cell  </td>  \r\n";
  for (int i = 0; i < 40; ++i) {
    args.push_back(dir.write("p" + std::to_string(i) + ".htm", i % 10 == 0 ? big : kPage));
  }
  const Result run = Trim(args);
  ASSERT_EQ(run.code, 0) << run.err;
  std::size_t at = 0;
  for (int i = 0; i < 40; ++i) {
    const std::size_t found = run.out.find("/p" + std::to_string(i) + ".htm ", at);
    ASSERT_NE(found, std::string::npos) << i;
    at = found;
  }
}

TEST(TrimCommand, TheLaterOfTwoFilesWithOneTargetWins) {
  TempDir dir;
  fs::create_directories(dir / "x");
  fs::create_directories(dir / "y");
  const std::string first = dir.write("x/same.htm", "first\r\n");
  const std::string second = dir.write("y/same.htm", "second\r\n");
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(
        Trim({"-q", "-j", "8", "-o", (dir / "out").string(), first, second, first, second}).code,
        0);
    ASSERT_EQ(ReadFile(dir / "out/same.htm"), "second\r\n");
  }
}

TEST(TrimCommand, RecursiveKeepsTheLayoutAndTakesWebPagesOnly) {
  TempDir dir;
  fs::create_directories(dir / "site/css");
  fs::create_directories(dir / "site/blog/2024");
  dir.write("site/index.HTML", kPage);
  dir.write("site/blog/2024/post.php", kPage);
  dir.write("site/blog/.draft.asp", kPage);
  dir.write("site/css/style.css", "  a  {  }  ");
  dir.write("site/notes.txt", "  x  ");
  const std::string out = (dir / "out").string();
  const Result run = Trim({"-r", "-o", out, (dir / "site").string()});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(dir / "out/index.HTML"), kTrimmed);
  EXPECT_EQ(ReadFile(dir / "out/blog/2024/post.php"), kTrimmed);
  EXPECT_EQ(ReadFile(dir / "out/blog/.draft.asp"), kTrimmed);
  EXPECT_FALSE(fs::exists(dir / "out/css"));
  EXPECT_FALSE(fs::exists(dir / "out/notes.txt"));
  EXPECT_THAT(run.out, HasSubstr("Total: 3 files"));

  const Result css = Trim({"-q", "-r", "--include", "*.css", "-o", out, (dir / "site").string()});
  EXPECT_EQ(css.code, 0);
  EXPECT_EQ(ReadFile(dir / "out/css/style.css"), "a { }\r\n");
  EXPECT_FALSE(fs::exists(dir / "out/notes.txt"));
}

TEST(TrimCommand, WalksNeverTakeTheTemporaryFilesOfTrimsInProgress) {
  struct Row {
    const char* name;
    bool taken;
  };
  // Taken with --include '*': everything but the exact shape of our own
  // temporary files (a dot, the name, ".brevio-" and six characters).
  const Row rows[] = {{".page.htm.brevio-a1B2c3", false}, {".x.brevio-ZZZZZZ", false},
                      {".page.htm.brevio-a1B2c", true},   {"page.htm.brevio-a1B2c3", true},
                      {".page.htm.brevio-a1B2c3.htm", true}, {".page.htm", true}};
  TempDir dir;
  fs::create_directories(dir / "site");
  for (const Row& row : rows) dir.write(std::string("site/") + row.name, kPage);
  const std::string out = (dir / "out").string();
  const Result run = Trim({"-q", "-r", "--include", "*", "-o", out, (dir / "site").string()});
  EXPECT_EQ(run.code, 0) << run.err;
  for (const Row& row : rows) {
    EXPECT_EQ(fs::exists(dir / "out" / row.name), row.taken) << row.name;
  }
}

TEST(TrimCommand, InPlaceTrimsEachFileAndWholeTrees) {
  TempDir dir;
  fs::create_directories(dir / "tree/deep");
  const std::string one = dir.write("one.htm", kPage);
  const std::string deep = dir.write("tree/deep/two.asp", kPage);
  const std::string other = dir.write("tree/keep.txt", kPage);
  EXPECT_EQ(Trim({"-q", "-i", one}).code, 0);
  EXPECT_EQ(ReadFile(one), kTrimmed);
  const Result run = Trim({"--in-place", "--recursive", (dir / "tree").string()});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(deep), kTrimmed);
  EXPECT_EQ(ReadFile(other), kPage);
  // In place, the table shows the size before and after.
  EXPECT_THAT(run.out, HasSubstr("30            22       73.33%"));
}

TEST(TrimCommand, DryRunWritesNothingButShowsTheSizes) {
  TempDir dir;
  const std::string a = dir.write("a.htm", kPage);
  const Result run = Trim({"-n", "-o", (dir / "out").string(), a});
  EXPECT_EQ(run.code, 0);
  EXPECT_FALSE(fs::exists(dir / "out"));
  EXPECT_THAT(run.out, HasSubstr("30            22       73.33%"));
  EXPECT_EQ(Trim({"-n", "-i", a}).code, 0);
  EXPECT_EQ(ReadFile(a), kPage);
}

TEST(TrimCommand, QuietPrintsOnlyErrors) {
  TempDir dir;
  const std::string a = dir.write("a.htm", kPage);
  const std::string missing = (dir / "gone.htm").string();
  const Result run = Trim({"-q", "-o", (dir / "out").string(), a, missing});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "brevio-trim: " + missing + ": No such file or directory\n");
}

TEST(TrimCommand, FailuresNameThePathAndTheSystemsReason) {
  TempDir dir;
  const std::string a = dir.write("a.htm", kPage);
  const std::string file = dir.write("file", "x");
  fs::create_directories(dir / "out/a.htm");  // a folder where the target should go
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{a, (dir / "no/such/b.htm").string()},
       "brevio-trim: " + (dir / "no/such/b.htm").string() + ": No such file or directory\n"},
      {{"-o", file + "/sub", a}, "brevio-trim: " + file + "/sub: Not a directory\n"},
      {{"-o", (dir / "out").string(), a},
       "brevio-trim: " + (dir / "out/a.htm").string() + ": Is a directory\n"},
      {{"   ", (dir / "b.htm").string()}, "brevio-trim: '   ': source path is blank\n"},
      {{a, " "}, "brevio-trim: ' ': target path is blank\n"},
      {{"/dev/null", (dir / "b.htm").string()}, "brevio-trim: /dev/null: not a regular file\n"},
  };
  for (const Case& c : cases) {
    const Result run = Trim(c.args);
    EXPECT_EQ(run.code, 1) << c.error;
    EXPECT_EQ(run.err, c.error);
  }
  EXPECT_EQ(ReadFile(a), kPage);
}

TEST(TrimCommand, FiltersStandardInputWithoutOperandsOrWithDash) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"-"}}) {
    const Result run = Trim(args, std::string(kPage) + "\n  last");
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, std::string(kTrimmed) + "last\r\n");
    EXPECT_EQ(run.err, "");
  }
}

TEST(TrimCommand, UsageErrorsExitWithTwoAndAShortUsage) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"only-one"}, std::vector<std::string>{"-j", "0", "a", "b"},
        std::vector<std::string>{"--bogus"}}) {
    const Result run = Trim(args);
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_THAT(run.err, HasSubstr("Usage: brevio-trim"));
  }
}

TEST(TrimCommand, HelpAndVersion) {
  const Result help = Trim({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_THAT(help.out, HasSubstr("--dry-run"));
  EXPECT_THAT(help.out, HasSubstr("Exit status"));
  const Result version = Trim({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_THAT(version.out, ::testing::MatchesRegex("brevio-trim [0-9.]+\n"));
}

TEST(TrimCommand, ProgressOnlyOnATerminal) {
  TempDir dir;
  const std::vector<std::string> args = {"-o", (dir / "out").string(), dir.write("a.htm", kPage),
                                         dir.write("b.htm", kPage)};
  CommandEnvironment terminal;
  terminal.err_is_terminal = true;
  terminal.progress_after = std::chrono::milliseconds(0);
  const Result shown = Trim(args, {}, terminal);
  EXPECT_THAT(shown.err, ::testing::ContainsRegex("\rbrevio-trim: [0-2]/2 files"));
  EXPECT_THAT(shown.err, HasSubstr("\r\033[K"));
  terminal.err_is_terminal = false;
  EXPECT_EQ(Trim(args, {}, terminal).err, "");
  terminal.err_is_terminal = true;
  EXPECT_EQ(Trim({"-q", args[0], args[1], args[2], args[3]}, {}, terminal).err, "");
}

// The real program, started directly (no shell) under a write limit: it
// reports the file as failed instead of being killed by SIGXFSZ.
TEST(TrimProgram, AWriteLimitIsReportedAsAFailedFile) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 10000; ++i) text += "<li>item</li>\r\n";
  const std::string source = dir.write("in.htm", text);
  const std::string target = (dir / "out.htm").string();
  int err_pipe[2];
  ASSERT_EQ(::pipe2(err_pipe, O_CLOEXEC), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::dup2(err_pipe[1], STDERR_FILENO);
    const int null_fd = ::open("/dev/null", O_WRONLY);
    ::dup2(null_fd, STDOUT_FILENO);
    const char* argv[] = {"brevio-trim", source.c_str(), target.c_str(), nullptr};
    ::execv(BREVIO_TRIM_PROGRAM, const_cast<char* const*>(argv));
    ::_exit(127);
  }
  ::close(err_pipe[1]);
  std::string err;
  char buffer[256];
  for (ssize_t n; (n = ::read(err_pipe[0], buffer, sizeof buffer)) > 0;)
    err.append(buffer, static_cast<std::size_t>(n));
  ::close(err_pipe[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(err, "brevio-trim: " + target + ": File too large\n");
  EXPECT_FALSE(fs::exists(target));
}

}  // namespace
}  // namespace brevio::cli

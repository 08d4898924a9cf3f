#include "brevio/cli/trim_command.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "brevio/engine/file_trim.h"
#include "brevio/version.h"
#include "tests/support/as_user.h"
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
  const std::size_t w = std::max<std::size_t>(source.size(), 25);  // "Total: 0 files, 1 skipped"
  const auto pad = [&](const std::string& s) { return s + std::string(w - s.size(), ' '); };
  EXPECT_EQ(run.out, "#  " + pad("Source Files") + "  Source Sizes  Target Sizes  Compression\n" +
                         "1  " + pad(source) + "            30            22       73.33%\n" +
                         "   " + pad("Total: 1 file") +
                         "            30            22       73.33%\n");
}

TEST(TrimCommand, ColumnsLineUpByTerminalColumnsNotBytes) {
  struct Row {
    const char* name;
    std::size_t columns;
  };
  const Row rows[] = {
      {"plain.htm", 9},
      {"caf\xC3\xA9.htm", 8},               // é: two bytes, one column
      {"e\xCC\x81.htm", 5},                 // e and a combining accent: one column
      {"\xE6\xBC\xA2\xE5\xAD\x97.htm", 8},  // two wide characters, two columns each
  };
  TempDir dir;
  std::vector<std::string> args = {"-o", (dir / "out").string()};
  for (const Row& row : rows) args.push_back(dir.write(row.name, kPage));
  const Result run = Trim(args);
  ASSERT_EQ(run.code, 0) << run.err;
  std::istringstream lines(run.out);
  std::string header;
  std::getline(lines, header);
  for (const Row& row : rows) {
    std::string line;
    std::getline(lines, line);
    const std::string path = (dir / row.name).string();
    ASSERT_THAT(line, HasSubstr(path + " ")) << row.name;
    EXPECT_EQ(line.size() - path.size() + dir.path().string().size() + 1 + row.columns,
              header.size())
        << line;
  }
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

// "@" in an argument or a path stands for the test's folder.
std::string At(const std::string& text, const TempDir& dir) {
  std::string out;
  for (const char c : text) out += c == '@' ? dir.path().string() : std::string(1, c);
  return out;
}

struct FileCheck {
  const char* path;
  const char* content;  // nullptr: must not exist
};

TEST(TrimCommand, WalksTakeWhatTheyWereAskedForOnce) {
  struct Row {
    const char* what;
    std::vector<std::string> args;
    int code;
    std::string err;
    const char* total;
    std::vector<FileCheck> files;
  };
  const std::vector<Row> rows = {
      {"links are passed over",
       {"-r", "-o", "@/out", "@/site"},
       0,
       "",
       "Total: 2 files",
       {{"out/page.htm", kTrimmed}, {"out/evil.htm", nullptr}, {"out/linked", nullptr}}},
      {"-L follows them, but not round a loop",
       {"-r", "-L", "-o", "@/out", "@/site"},
       1,
       "brevio-trim: will not walk the folder @/site/old/back again: File system loop detected\n",
       "Total: 4 files",
       {{"out/evil.htm", kTrimmed}, {"out/linked/deep.htm", kTrimmed}}},
      {"in place, a link's target is left alone",
       {"-r", "-i", "@/site"},
       0,
       "",
       "Total: 2 files",
       {{"secret.htm", kPage}, {"site/page.htm", kTrimmed}}},
      {"an output folder inside the tree is not walked",
       {"-r", "-o", "@/site/old", "@/site"},
       0,
       "",
       "Total: 1 file ",
       {{"site/old/page.htm", kTrimmed}, {"site/old/old", nullptr}}},
      {"a second file for one target is refused",
       {"-j", "2", "-o", "@/out", "@/dirA/a.htm", "@/dirB/a.htm"},
       1,
       "brevio-trim: will not overwrite just-trimmed '@/out/a.htm' with '@/dirB/a.htm'\n",
       "Total: 1 file, 1 failed",
       {{"out/a.htm", "first\r\n"}}},
      {"one file named three ways is trimmed once",
       {"-j", "2", "-i", "@/site/page.htm", "@/site/./page.htm", "@/alias.htm"},
       0,
       "brevio-trim: @/site/./page.htm: the same file as @/site/page.htm, already trimmed\n"
       "brevio-trim: @/alias.htm: the same file as @/site/page.htm, already trimmed\n",
       "Total: 1 file ",
       {{"site/page.htm", kTrimmed}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    fs::create_directories(dir / "site/old");
    fs::create_directories(dir / "other");
    fs::create_directories(dir / "dirA");
    fs::create_directories(dir / "dirB");
    dir.write("site/page.htm", kPage);
    dir.write("site/old/old.htm", kPage);
    dir.write("secret.htm", kPage);
    dir.write("other/deep.htm", kPage);
    dir.write("dirA/a.htm", "first\r\n");
    dir.write("dirB/a.htm", "second\r\n");
    fs::create_symlink("../secret.htm", dir / "site/evil.htm");
    fs::create_symlink("../other", dir / "site/linked");
    fs::create_symlink("site/page.htm", dir / "alias.htm");
    fs::create_symlink("..", dir / "site/old/back");
    std::vector<std::string> args;
    for (const std::string& arg : row.args) args.push_back(At(arg, dir));
    const Result run = Trim(args);
    EXPECT_EQ(run.code, row.code);
    EXPECT_EQ(run.err, At(row.err, dir));
    EXPECT_THAT(run.out, HasSubstr(row.total));
    for (const FileCheck& file : row.files) {
      if (file.content == nullptr) {
        EXPECT_FALSE(fs::exists(dir / file.path)) << file.path;
      } else {
        EXPECT_EQ(ReadFile(dir / file.path), file.content) << file.path;
      }
    }
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
  const Row rows[] = {{".page.htm.brevio-a1B2c3", false},    {".x.brevio-ZZZZZZ", false},
                      {".page.htm.brevio-a1B2c", true},      {"page.htm.brevio-a1B2c3", true},
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

TEST(TrimCommand, ProtectKeepsRegionsInEveryMode) {
  // 46 bytes; 39 with the regions kept.
  constexpr const char* kMarked = "  <pre>  a\r\n\r\n b </pre>   x   \r\n<i t=\"1  2\">\r\n";
  constexpr const char* kKept = "<pre>  a\r\n\r\n b </pre> x\r\n<i t=\"1  2\">\r\n";
  TempDir dir;
  fs::create_directories(dir / "src");
  const std::string source = dir.write("src/page.htm", kMarked);
  const Result filter = Trim({"--protect=pre,attributes"}, kMarked);
  EXPECT_EQ(filter.out, kKept) << filter.err;
  EXPECT_EQ(Trim({"-q", "--protect", "all", source, (dir / "pair.htm").string()}).code, 0);
  EXPECT_EQ(ReadFile(dir / "pair.htm"), kKept);
  EXPECT_EQ(Trim({"-q", "-r", "--protect=all", "-o", (dir / "out").string(), source}).code, 0);
  EXPECT_EQ(ReadFile(dir / "out/page.htm"), kKept);
  EXPECT_THAT(Trim({"-n", "--protect=all", "-i", source}).out, HasSubstr("46            39"));
  EXPECT_EQ(Trim({"-q", "-r", "--protect=all", "-i", (dir / "src").string()}).code, 0);
  EXPECT_EQ(ReadFile(source), kKept);
}

TEST(TrimCommand, EolReachesTheFilterTheBatchAndProtectedTrims) {
  TempDir dir;
  const std::string source = dir.write("page.htm", "x  \n\n  y\n");
  EXPECT_EQ(Trim({"--eol", "lf"}, "x  \n\n  y\n").out, "x\ny\n");
  EXPECT_EQ(Trim({"--eol=keep", "--protect=pre"}, "a\r\n<pre> \n </pre>\n").out,
            "a\r\n<pre> \n </pre>\r\n");
  EXPECT_EQ(Trim({"-q", "--eol=keep", "-o", (dir / "out").string(), source}).code, 0);
  EXPECT_EQ(ReadFile(dir / "out/page.htm"), "x\ny\n");
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

TEST(TrimCommand, PreserveGivesTargetsTheSourcesTimes) {
  struct Row {
    std::vector<std::string> args;
    const char* target;
  };
  const std::vector<Row> rows = {
      {{"-p", "-o", "@/out", "@/a.htm"}, "out/a.htm"},
      {{"--preserve=timestamps", "@/a.htm", "@/out/a.htm"}, "out/a.htm"},
      {{"--preserve", "timestamps", "-i", "@/a.htm"}, "a.htm"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args[0]);
    TempDir dir;
    fs::create_directory(dir / "out");
    const std::string source = dir.write("a.htm", kPage);
    const fs::file_time_type then = fs::last_write_time(source) - std::chrono::hours(24 * 400);
    fs::last_write_time(source, then);
    std::vector<std::string> args;
    for (const std::string& arg : row.args) args.push_back(At(arg, dir));
    const Result run = Trim(args);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(ReadFile(dir / row.target), kTrimmed);
    EXPECT_EQ(fs::last_write_time(dir / row.target).time_since_epoch().count(),
              then.time_since_epoch().count());
  }
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
       "brevio-trim: cannot create a temporary file in " + (dir / "no/such").string() +
           ": No such file or directory\n"},
      {{"-o", file + "/sub", a},
       "brevio-trim: cannot create the folder " + file + "/sub: Not a directory\n"},
      {{"-o", (dir / "out").string(), a},
       "brevio-trim: will not write to " + (dir / "out/a.htm").string() + ": Is a directory\n"},
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

TEST(TrimCommand, FilesThatAreNoTextAreSkippedUnlessBinary) {
  std::string late_nul(kTextProbeBytes - 1, 'a');  // the last byte looked at
  late_nul += '\0';
  struct Row {
    const char* what;
    std::string content;
    const char* reason;  // nullptr: text
  };
  const std::vector<Row> rows = {
      {"a PNG header", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "it holds NUL bytes"},
      {"a NUL late in the start", late_nul, "it holds NUL bytes"},
      {"UTF-16 LE", std::string("\xFF\xFE<\0p\0>\0", 8), "UTF-16 text"},
      {"UTF-16 BE", std::string("\xFE\xFF\0<\0p\0>", 8), "UTF-16 text"},
      {"UTF-32 LE", std::string("\xFF\xFE\0\0<\0\0\0", 8), "UTF-32 text"},
      {"UTF-32 BE", std::string("\0\0\xFE\xFF\0\0\0<", 8), "UTF-32 text"},
      {"a UTF-8 mark is text", "\xEF\xBB\xBF  <p>  x  </p>", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    const std::string page = dir.write("page.htm", kPage);
    const std::string file = dir.write("file.htm", row.content);
    const int code = row.reason != nullptr ? 1 : 0;
    const std::string message =
        row.reason != nullptr ? "brevio-trim: " + file + ": not a text file (" + row.reason + ")\n"
                              : "";

    const Result into = Trim({"-o", (dir / "out").string(), page, file});
    EXPECT_EQ(into.code, code);
    EXPECT_EQ(into.err, message);
    EXPECT_EQ(fs::exists(dir / "out/file.htm"), row.reason == nullptr);
    if (row.reason != nullptr) {
      EXPECT_THAT(into.out, ::testing::ContainsRegex("\n2  [^\n]*file.htm +- +- +skipped\n"));
      EXPECT_THAT(into.out, HasSubstr("Total: 1 file, 1 skipped "));
    }

    const Result pair = Trim({file, (dir / "pair.htm").string()});
    EXPECT_EQ(pair.code, code);
    EXPECT_EQ(pair.err, message);
    EXPECT_EQ(fs::exists(dir / "pair.htm"), row.reason == nullptr);

    const Result binary = Trim({"--binary", "-o", (dir / "binary").string(), file});
    EXPECT_EQ(binary.code, 0);
    EXPECT_EQ(binary.err, "");
    EXPECT_TRUE(fs::exists(dir / "binary/file.htm"));

    // -q hides the table, not the skip.
    const Result in_place = Trim({"-q", "-i", file});
    EXPECT_EQ(in_place.code, code);
    EXPECT_EQ(in_place.err, message);
    EXPECT_EQ(ReadFile(file) == row.content, row.reason != nullptr);
  }
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

// While it lives, a file may not grow past 1 MiB: a write beyond fails
// with EFBIG instead of filling the disk (or raising SIGXFSZ).
class FileSizeLimit {
 public:
  FileSizeLimit() : old_handler_(std::signal(SIGXFSZ, SIG_IGN)) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    const rlimit limit{1 << 20, old_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit old_{};
  void (*old_handler_)(int);
};

TEST(TrimCommand, TheFilterRefusesToReadTheFileItWrites) {
  struct Row {
    const char* what;
    const char* in;  // "@" stands for the test's folder
    const char* out;
    int out_flags;
    int code;
    const char* err;
    const char* other;  // then in other.htm
  };
  const Row rows[] = {
      {"appending to its own input", "@/page.htm", "@/page.htm", O_APPEND, 1,
       "brevio-trim: standard output: input file is output file\n", ""},
      {"one device on both ends, as a terminal", "/dev/null", "/dev/null", 0, 0, "", ""},
      {"another file", "@/page.htm", "@/other.htm", O_TRUNC, 0, "", kTrimmed},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    dir.write("page.htm", kPage);
    dir.write("other.htm", "");
    CommandEnvironment env;
    env.in_fd = ::open(At(row.in, dir).c_str(), O_RDONLY | O_CLOEXEC);
    env.out_fd = ::open(At(row.out, dir).c_str(), O_WRONLY | O_CLOEXEC | row.out_flags);
    ASSERT_GE(env.in_fd, 0);
    ASSERT_GE(env.out_fd, 0);
    Result run;
    {
      // Should the refusal go, the first row would read its own output
      // until the disk is full.
      const FileSizeLimit limit;
      run = Trim({}, {}, env);
    }
    ::close(env.in_fd);
    ::close(env.out_fd);
    EXPECT_EQ(run.code, row.code);
    EXPECT_EQ(run.err, row.err);
    EXPECT_EQ(ReadFile(dir / "page.htm"), kPage);
    EXPECT_EQ(ReadFile(dir / "other.htm"), row.other);
  }
}

// A stream buffer that fails on the first read, as a broken device does.
class FailingAfter : public std::streambuf {
 public:
  explicit FailingAfter(std::string text) : text_(std::move(text)) {
    setg(text_.data(), text_.data(), text_.data() + text_.size());
  }

 protected:
  int_type underflow() override { throw std::ios_base::failure("device gone"); }

 private:
  std::string text_;
};

TEST(TrimCommand, TheFilterOnFailingStreamsSaysWhichOneFailed) {
  FailingAfter broken_in(kPage);
  std::istream bad_in(&broken_in);
  std::istringstream good_in(kPage);
  std::ostringstream good_out;
  std::ostream bad_out(nullptr);  // no buffer: every write fails
  const struct {
    std::istream& in;
    std::ostream& out;
    const char* error;
  } rows[] = {
      {bad_in, good_out, "brevio-trim: standard input: Input/output error\n"},
      {good_in, bad_out, "brevio-trim: standard output: Input/output error\n"},
  };
  for (const auto& row : rows) {
    std::ostringstream err;
    EXPECT_EQ(RunTrimCommand({}, row.out, err, row.in), 1) << row.error;
    EXPECT_EQ(err.str(), row.error);
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
  EXPECT_EQ(version.out, std::string("brevio-trim ") + kVersion + "\n");
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

TEST(TrimCommand, NamesThatAreNotPlainTextAreQuotedAsOneLine) {
  struct Row {
    const char* name;
    const char* shown;  // "@" stands for the test's folder
  };
  const Row rows[] = {
      {"a\nb.htm", "'@/a'$'\\n''b.htm'"},
      {"t\tb.htm", "'@/t'$'\\t''b.htm'"},
      {"e\033[1m.htm", "'@/e'$'\\033''[1m.htm'"},
      {"it's.htm", "\"@/it's.htm\""},
      {"it's \\.htm", "'@/it'\\''s \\.htm'"},
      {"plain-1.htm", "@/plain-1.htm"},
      // Bytes that are no UTF-8 and C1 controls (CSI here) as octal escapes;
      // printable UTF-8 as it is.
      {"bad\377.htm", "'@/bad'$'\\377''.htm'"},
      {"cut\xE6\xBC.htm", "'@/cut'$'\\346\\274''.htm'"},
      {"surrogate\xED\xA0\x80.htm", "'@/surrogate'$'\\355\\240\\200''.htm'"},
      {"csi\xC2\x9B[1m.htm", "'@/csi'$'\\302\\233''[1m.htm'"},
      {"caf\xC3\xA9 \xE6\xBC\xA2\xE5\xAD\x97.htm", "'@/caf\xC3\xA9 \xE6\xBC\xA2\xE5\xAD\x97.htm'"},
      {"\xE6\xBC\xA2\xE5\xAD\x97.htm", "@/\xE6\xBC\xA2\xE5\xAD\x97.htm"},
  };
  std::size_t in_hex = 0;
  for (const Row& row : rows) {
    TempDir dir;
    const std::string path = dir.write(row.name, kPage);
    const std::string shown = At(row.shown, dir);
    const Result run = Trim({"-o", (dir / "out").string(), path});
    EXPECT_THAT(run.out, HasSubstr("\n1  " + shown + " ")) << shown;
    // The document is ASCII whatever the names; a name that is no UTF-8
    // comes back whole from its hex.
    const std::string document = Trim({"--json", "-n", "-o", (dir / "out").string(), path}).out;
    EXPECT_TRUE(std::all_of(document.begin(), document.end(), [](char c) {
      return c > 0 && c < 127;
    })) << document;
    const nlohmann::json file = nlohmann::json::parse(document)["files"][0];
    if (file.contains("source_hex")) {
      ++in_hex;
      std::string bytes;
      const std::string hex = file["source_hex"];
      for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
      }
      EXPECT_EQ(bytes, path);
      EXPECT_THAT(file["source"].get<std::string>(), HasSubstr("\xEF\xBF\xBD"));  // U+FFFD
    } else {
      EXPECT_EQ(file["source"], path);
    }
    // The folder of a target named in the engine's message.
    const std::string under = shown.back() == '\'' || shown.back() == '"'
                                  ? shown.substr(0, shown.size() - 1) + "/x" + shown.back()
                                  : shown + "/x";
    EXPECT_EQ(Trim({path, path + "/x/b.htm"}).err,
              "brevio-trim: cannot create a temporary file in " + under + ": Not a directory\n");
    fs::remove(path);
    EXPECT_EQ(Trim({"-i", path}).err, "brevio-trim: " + shown + ": No such file or directory\n");
  }
  EXPECT_EQ(in_hex, 3u);  // the rows with bytes that are no UTF-8
}

// The real program, started directly (no shell).
struct Launch {
  std::vector<std::string> args;  // "@" stands for the test's folder
  const char* input = nullptr;    // standard input: a file in the folder
  bool to_full = false;           // standard output on a full device
  bool as_user = false;           // as brevio-test when root (who reads and forks without limit)
  rlim_t processes = RLIM_INFINITY;
  rlim_t file_size = RLIM_INFINITY;
  rlim_t files = RLIM_INFINITY;  // descriptors
};

// Runs brevio-trim; standard output goes to "@/stdout" unless to_full.
Result RunProgram(const Launch& launch, const TempDir& dir) {
  std::vector<std::string> args = {"brevio-trim"};
  for (const std::string& arg : launch.args) args.push_back(At(arg, dir));
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // A leak check at exit starts a thread, which a process limit refuses.
  std::string asan = "ASAN_OPTIONS=detect_leaks=0";
  char* envp[] = {asan.data(), nullptr};
  const std::string in_path = launch.input ? (dir / launch.input).string() : "/dev/null";
  const std::string out_path = launch.to_full ? "/dev/full" : (dir / "stdout").string();
  const std::optional<testing::OrdinaryUser> user =
      launch.as_user ? testing::TestUser() : std::nullopt;
  std::string program = BREVIO_TRIM_PROGRAM;
  if (user) {
    testing::ShareWithTestUser(dir.path().string());
    // The build folder may lie where the user cannot reach (under /root):
    // the program and the libraries beside it run from the shared folder.
    const fs::path from = fs::path(BREVIO_TRIM_PROGRAM).parent_path();
    fs::create_directory(dir / "bin");
    for (const auto& entry : fs::directory_iterator(from)) {
      const std::string name = entry.path().filename().string();
      if (name == "brevio-trim" || name.starts_with("libbrevio-fileio.so")) {
        fs::copy(entry.path(), dir / "bin" / name, fs::copy_options::copy_symlinks);
      }
    }
    fs::permissions(dir / "bin", fs::perms::all, fs::perm_options::add);
    program = (dir / "bin" / "brevio-trim").string();
  }
  int err_pipe[2];
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) return {};
  const pid_t child = ::fork();
  if (child == 0) {
    if (user &&
        (::setgroups(0, nullptr) != 0 || ::setgid(user->gid) != 0 || ::setuid(user->uid) != 0)) {
      ::_exit(126);
    }
    const rlimit processes{launch.processes, launch.processes};
    const rlimit file_size{launch.file_size, launch.file_size};
    ::setrlimit(RLIMIT_NPROC, &processes);
    ::setrlimit(RLIMIT_FSIZE, &file_size);
    const rlimit files{launch.files, launch.files};
    ::setrlimit(RLIMIT_NOFILE, &files);
    const int in_fd = ::open(in_path.c_str(), O_RDONLY);
    const int out_fd = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(in_fd, STDIN_FILENO);
    ::dup2(out_fd, STDOUT_FILENO);
    ::dup2(err_pipe[1], STDERR_FILENO);
    ::execve(program.c_str(), argv.data(), envp);
    ::_exit(127);
  }
  ::close(err_pipe[1]);
  Result run;
  char buffer[256];
  for (ssize_t n; (n = ::read(err_pipe[0], buffer, sizeof buffer)) > 0;)
    run.err.append(buffer, static_cast<std::size_t>(n));
  ::close(err_pipe[0]);
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return {};
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (!launch.to_full) run.out = ReadFile(dir / "stdout");
  return run;
}

TEST(TrimProgram, LimitsAreReportedNeverACrashOrASilentLoss) {
  std::string big;
  for (int i = 0; i < 10000; ++i) big += "<li>item</li>\r\n";
  // Big enough for the engine's two-worker path; already trimmed, so it is its own result.
  std::string huge;
  for (int i = 0; i < 600000; ++i) huge += "<li>item</li>\r\n";
  struct Row {
    const char* what;
    Launch launch;
    int code;
    const char* err;
    std::vector<FileCheck> files;
  };
  const std::vector<Row> rows = {
      {"the table on a full device",
       {{"-o", "@/out", "@/a.htm"}, nullptr, true},
       1,
       "brevio-trim: write error: No space left on device\n",
       {{"out/a.htm", kTrimmed}}},
      {"help on a full device",
       {{"--help"}, nullptr, true},
       1,
       "brevio-trim: write error: No space left on device\n",
       {}},
      {"the filter on a full device",
       {{}, "a.htm", true},
       1,
       "brevio-trim: standard output: No space left on device\n",
       {}},
      {"no thread to spare",
       {{"-q", "-j", "8", "-o", "@/out", "@/a.htm", "@/b.htm", "@/c.htm"}, nullptr, false, true, 1},
       0,
       "",
       {{"out/a.htm", kTrimmed}, {"out/b.htm", kTrimmed}, {"out/c.htm", kTrimmed}}},
      {"no thread to spare for a big file",
       {{"-q", "@/huge.htm", "@/huge-out.htm"}, nullptr, false, true, 1},
       0,
       "",
       {{"huge-out.htm", huge.c_str()}}},
      {"more files at once than descriptors allow",
       {{"-q", "-j", "1000", "-r", "-o", "@/out", "@/pages"},
        nullptr,
        false,
        false,
        RLIM_INFINITY,
        RLIM_INFINITY,
        48},
       0,
       "",
       {{"out/p0.htm", kTrimmed}, {"out/p299.htm", kTrimmed}}},
      {"a write limit",
       {{"@/big.htm", "@/out.htm"}, nullptr, false, false, RLIM_INFINITY, 4096},
       1,
       "brevio-trim: cannot write @/out.htm: File too large\n",
       {{"out.htm", nullptr}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    for (const char* name : {"a.htm", "b.htm", "c.htm"}) dir.write(name, kPage);
    dir.write("big.htm", big);
    fs::create_directory(dir / "pages");
    for (int i = 0; i < 300; ++i) dir.write("pages/p" + std::to_string(i) + ".htm", kPage);
    if (row.files.size() == 1 && std::string_view(row.files[0].path) == "huge-out.htm") {
      dir.write("huge.htm", huge);
    }
    const Result run = RunProgram(row.launch, dir);
    EXPECT_EQ(run.code, row.code);
    EXPECT_EQ(run.err, At(row.err, dir));
    for (const FileCheck& file : row.files) {
      if (file.content == nullptr) {
        EXPECT_FALSE(fs::exists(dir / file.path)) << file.path;
      } else {
        EXPECT_EQ(ReadFile(dir / file.path), file.content) << file.path;
      }
    }
    if (fs::exists(dir / "out")) {  // no temporary file left behind
      for (const auto& entry : fs::directory_iterator(dir / "out")) {
        EXPECT_EQ(entry.path().filename().string().find(".brevio-"), std::string::npos);
      }
    }
  }
}

TEST(TrimProgram, AnUnreadableFolderIsNamedAndTheWalkGoesOnUnlessItIsLeftOut) {
  struct Row {
    std::vector<std::string> args;
    int code;
    const char* err;
  };
  const std::vector<Row> rows = {
      {{"-r", "-o", "@/out", "@/site"},
       1,
       "brevio-trim: cannot read the folder @/site/private: Permission denied\n"},
      // A folder left out is never opened.
      {{"-r", "--exclude", "priv*", "-o", "@/out", "@/site"}, 0, ""},
  };
  for (const Row& row : rows) {
    TempDir dir;
    fs::create_directories(dir / "site/private");
    dir.write("site/private/hidden.htm", kPage);
    dir.write("site/page.htm", kPage);
    fs::permissions(dir / "site/private", fs::perms::none);
    const Result run = RunProgram({row.args, nullptr, false, true}, dir);
    EXPECT_EQ(run.code, row.code);
    EXPECT_EQ(run.err, At(row.err, dir));
    EXPECT_EQ(ReadFile(dir / "out/page.htm"), kTrimmed);
    EXPECT_THAT(run.out, HasSubstr("Total: 1 file "));
  }
}

}  // namespace
}  // namespace brevio::cli

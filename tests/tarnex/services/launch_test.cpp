#include "tarnex/services/launch.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "case_name.h"
#include "tests/support/as_user.h"
#include "tests/support/recorded_starts.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using brevio::testing::ReadFile;
using brevio::testing::ReadRecordedStarts;
using brevio::testing::RecordedStart;
using brevio::testing::TempDir;

// Keeps an environment variable changed for the scope of a test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value->c_str(), 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A temp folder on PATH holding the recorder under the names of the programs
// the launchers start; records land in its "rec" folder.
class LaunchTest : public testing::Test {
 protected:
  LaunchTest()
      : path_("PATH", (dir_ / "bin").string()),
        record_dir_("BREVIO_RECORD_DIR", (dir_ / "rec").string()),
        hold_("BREVIO_RECORD_HOLD", std::nullopt),
        browser_("BROWSER", std::nullopt) {
    fs::create_directories(dir_ / "bin");
    fs::create_directories(dir_ / "rec");
  }

  void Provide(const std::string& name) { fs::copy_file(BREVIO_RECORD_ARGS, dir_ / "bin" / name); }

  // Waits (bounded) for `count` records and returns them.
  std::vector<RecordedStart> Records(std::size_t count = 1) {
    std::vector<RecordedStart> records;
    for (int i = 0; i < 1000; ++i) {
      records = ReadRecordedStarts(dir_ / "rec");
      if (records.size() >= count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return records;
  }

  TempDir dir_;
  ScopedEnv path_, record_dir_, hold_, browser_;
};

using Argv = std::vector<std::string>;
const std::string kHostile = "x; touch PWNED \"$(id)\" & y 'q' `id` | z";

TEST_F(LaunchTest, OpenDocumentHandsTheTargetWholeToXdgOpen) {
  Provide("xdg-open");
  const std::string hostile = [&] {
    std::string s = kHostile;
    s.replace(s.find("PWNED"), 5, (dir_ / "pwned").string());
    return s;
  }();
  tarnex::OpenDocument(hostile);
  const auto records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].argv, (Argv{"xdg-open", hostile}));
  // Own session, stdin from /dev/null, nothing blocked.
  EXPECT_EQ(records[0].flags, "LNM");
  EXPECT_FALSE(fs::exists(dir_ / "pwned"));
}

struct BrowserCase {
  const char* what;
  std::optional<std::string> browser;  // $BROWSER
  std::vector<std::string> installed;  // programs on PATH
  std::string address;
  Argv argv;
};

class BrowserTest : public LaunchTest, public testing::WithParamInterface<BrowserCase> {};

TEST_P(BrowserTest, StartsTheRightProgramWithTheAddress) {
  const BrowserCase& c = GetParam();
  for (const std::string& name : c.installed) Provide(name);
  std::optional<std::string> browser = c.browser;
  if (browser) browser->replace(0, 3, (dir_ / "bin").string());  // "BIN" prefix
  ScopedEnv env("BROWSER", browser);
  tarnex::OpenBrowserNewWindow(c.address);
  const auto records = Records();
  ASSERT_EQ(records.size(), 1u) << c.what;
  EXPECT_EQ(records[0].argv, c.argv) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cases, BrowserTest,
                         testing::Values(BrowserCase{"$BROWSER first entry",
                                                     "BIN/mybrowser:BIN/other",
                                                     {"mybrowser", "other", "xdg-open"},
                                                     "http://a/?x=1&y=$z",
                                                     {"mybrowser", "http://a/?x=1&y=$z"}},
                                         BrowserCase{
                                             "%s placeholder",
                                             "BIN/mybrowser --new-window=%s -x",
                                             {"mybrowser"},
                                             kHostile,
                                             {"mybrowser", "--new-window=" + kHostile, "-x"}},
                                         BrowserCase{"x-www-browser first",
                                                     std::nullopt,
                                                     {"x-www-browser", "xdg-open"},
                                                     "http://b",
                                                     {"x-www-browser", "http://b"}},
                                         BrowserCase{"missing $BROWSER program falls back",
                                                     "BIN/absent",
                                                     {"xdg-open"},
                                                     "http://c",
                                                     {"xdg-open", "http://c"}},
                                         BrowserCase{"empty address, empty command line",
                                                     std::nullopt,
                                                     {"x-www-browser"},
                                                     "",
                                                     {"x-www-browser"}}),
                         tarnex::testing::CaseName());

TEST_F(LaunchTest, ReturnsAtOnceAndLeavesNoZombieNorStealsChildren) {
  Provide("xdg-open");
  const fs::path release = dir_ / "release";
  ScopedEnv hold("BREVIO_RECORD_HOLD", release.string());
  const pid_t own = fork();  // the host's own child, which it will reap itself
  ASSERT_GE(own, 0);
  if (own == 0) _exit(7);
  tarnex::OpenDocument("http://example.org/");
  const auto records = Records();
  ASSERT_EQ(records.size(), 1u);
  // The program is still waiting for its release: the call did not wait for it.
  EXPECT_EQ(kill(records[0].pid, 0), 0);
  // It is not our child, so no zombie of it can stay with us.
  const std::string stat = ReadFile("/proc/" + std::to_string(records[0].pid) + "/stat");
  const pid_t parent = std::stoi(stat.substr(stat.rfind(')') + 4));
  EXPECT_NE(parent, getpid());
  std::ofstream(release).put('x');
  const fs::path done = dir_ / "rec" / (std::to_string(records[0].pid) + ".done");
  for (int i = 0; i < 1000 && !fs::exists(done); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(fs::exists(done));
  int status = 0;
  ASSERT_EQ(waitpid(own, &status, 0), own);
  EXPECT_EQ(WEXITSTATUS(status), 7);
  // Nothing else of ours is left to reap.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

struct ShellCase {
  const char* what;
  std::string operation, file, parameters, directory;
  std::int32_t code;  // 42 for success
  Argv argv;          // recorded argv when started
};

class ShellExecuteTest : public LaunchTest, public testing::WithParamInterface<ShellCase> {
 protected:
  std::string Fill(std::string s) {
    for (std::size_t at; (at = s.find("TMP")) != std::string::npos;)
      s.replace(at, 3, dir_.path().string());
    return s;
  }
};

TEST_P(ShellExecuteTest, ReturnsTheShellCode) {
  const ShellCase& c = GetParam();
  Provide("xdg-open");
  Provide("tool");
  fs::create_directories(dir_ / "work");
  dir_.write("doc.txt", "text");
  dir_.write("work/local.txt", "text");
  dir_.write("garbage", "not a program");
  fs::permissions(dir_ / "garbage", fs::perms::owner_all);
  const std::int32_t code = tarnex::ShellExecuteUtf8(0, c.operation, Fill(c.file),
                                                     Fill(c.parameters), Fill(c.directory), 1);
  EXPECT_EQ(code, c.code) << c.what;
  Argv expected = c.argv;
  for (std::string& a : expected) a = Fill(a);
  if (c.code <= 32) {
    // A failed call starts nothing: a program started after it records alone.
    ASSERT_EQ(tarnex::ShellExecuteUtf8(0, "open", "tool", "after", "", 1), 42);
    expected = {"tool", "after"};
  }
  const auto records = Records();
  ASSERT_EQ(records.size(), 1u) << c.what;
  EXPECT_EQ(records[0].argv, expected) << c.what;
  if (c.code > 32 && !c.directory.empty()) {
    EXPECT_EQ(records[0].cwd, Fill(c.directory)) << c.what;
  }
  EXPECT_FALSE(fs::exists(dir_ / "pwned"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShellExecuteTest,
    testing::Values(
        ShellCase{"program on PATH, Windows splitting",
                  "open",
                  "tool",
                  R"(a "b c" d\"e)",
                  "",
                  42,
                  {"tool", "a", "b c", "d\"e"}},
        ShellCase{"empty verb, hostile parameters stay arguments",
                  "",
                  "tool",
                  R"("x; touch TMP/pwned" $(id))",
                  "",
                  42,
                  {"tool", "x; touch TMP/pwned", "$(id)"}},
        ShellCase{"verb in any case, started in the directory",
                  "OPEN",
                  "TMP/bin/tool",
                  "",
                  "TMP/work",
                  42,
                  {"tool"}},
        ShellCase{"document goes to xdg-open",
                  "open",
                  "TMP/doc.txt",
                  "ignored",
                  "",
                  42,
                  {"xdg-open", "TMP/doc.txt"}},
        ShellCase{"bare document in the directory",
                  "open",
                  "local.txt",
                  "",
                  "TMP/work",
                  42,
                  {"xdg-open", "TMP/work/local.txt"}},
        ShellCase{"address goes to xdg-open",
                  "open",
                  "https://a.example/?q=1;x&y",
                  "",
                  "",
                  42,
                  {"xdg-open", "https://a.example/?q=1;x&y"}},
        ShellCase{
            "folder goes to xdg-open", "open", "TMP/work", "", "", 42, {"xdg-open", "TMP/work"}},
        ShellCase{"text ends at NUL as for the 8-bit call",
                  "open",
                  std::string("tool\0x", 6),
                  std::string("a\0 b", 4),
                  "",
                  42,
                  {"tool", "a"}},
        ShellCase{"missing file", "open", "TMP/none.exe", "", "", 2, {}},
        ShellCase{"missing program", "open", "no-such-program-here", "", "", 2, {}},
        ShellCase{"empty file", "open", "", "", "", 2, {}},
        ShellCase{"missing directory", "open", "tool", "", "TMP/absent", 3, {}},
        ShellCase{"a file as directory", "open", "tool", "", "TMP/doc.txt", 3, {}},
        ShellCase{"path through a file", "open", "TMP/doc.txt/x", "", "", 3, {}},
        ShellCase{"executable of no known format", "open", "TMP/garbage", "", "", 11, {}},
        ShellCase{"unknown verb", "print", "TMP/doc.txt", "", "", 31, {}},
        ShellCase{"unknown verb even for programs", "edit", "tool", "", "", 31, {}}),
    tarnex::testing::CaseName());

// What ShellExecuteUtf8 learns by watching what it started for a moment:
// an opener or browser that ends with a failure at once (xdg-open's "no
// method available") has opened nothing, and the next browser is tried.
TEST_F(LaunchTest, ShellExecuteAnswersForWhatFailsAtOnce) {
  enum Program { kRecords, kFails, kKeepsRunning };
  const struct {
    const char* what;
    std::vector<std::pair<std::string, Program>> installed;
    std::optional<std::string> browser;  // $BROWSER, "BIN" the programs' folder
    std::string file, parameters;
    std::int32_t code;
    Argv argv;  // what was started, if anything
  } cases[] = {
      {"address, opener finds nothing", {{"xdg-open", kFails}}, {}, "https://a/", "", 31, {}},
      {"document, opener finds nothing", {{"xdg-open", kFails}}, {}, "TMP/doc.txt", "", 31, {}},
      {"address, opener still busy",
       {{"xdg-open", kKeepsRunning}},
       {},
       "https://a/",
       "",
       42,
       {"xdg-open", "https://a/"}},
      {"IExplore.exe is the browser",
       {{"x-www-browser", kRecords}},
       {},
       "IExplore.exe",
       "http://b/",
       42,
       {"x-www-browser", "http://b/"}},
      {"iexplore.EXE in any case",
       {{"xdg-open", kRecords}},
       {},
       "iexplore.EXE",
       "http://b/",
       42,
       {"xdg-open", "http://b/"}},
      {"IExplore.exe, no browser at all", {}, {}, "IExplore.exe", "http://b/", 31, {}},
      {"IExplore.exe, opener finds nothing",
       {{"xdg-open", kFails}},
       {},
       "IExplore.exe",
       "http://b/",
       31,
       {}},
      {"a browser failing at once gives way",
       {{"failing", kFails}, {"xdg-open", kRecords}},
       "BIN/failing",
       "IExplore.exe",
       "http://c/",
       42,
       {"xdg-open", "http://c/"}},
  };
  const fs::path release = dir_ / "release";
  ScopedEnv hold("BREVIO_RECORD_HOLD", release.string());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const fs::path& folder : {dir_ / "bin", dir_ / "rec"}) {
      fs::remove_all(folder);
      fs::create_directories(folder);
    }
    for (const auto& [name, program] : c.installed) {
      if (program == kFails) {
        fs::create_symlink("/bin/false", dir_ / "bin" / name);
      } else {
        Provide(name);
      }
    }
    dir_.write("doc.txt", "text");
    std::optional<std::string> browser = c.browser;
    if (browser) browser->replace(0, 3, (dir_ / "bin").string());
    ScopedEnv env("BROWSER", browser);
    const bool running = !c.installed.empty() && c.installed.back().second == kKeepsRunning;
    if (!running) std::ofstream(release).put('x');  // the recorder ends at once
    std::string file = c.file;
    if (file.rfind("TMP", 0) == 0) file.replace(0, 3, dir_.path().string());
    EXPECT_EQ(tarnex::ShellExecuteUtf8(0, "open", file, c.parameters, "", 1), c.code);
    std::ofstream(release).put('x');
    if (c.argv.empty()) {
      EXPECT_TRUE(ReadRecordedStarts(dir_ / "rec").empty());
    } else {
      const auto records = Records();
      ASSERT_EQ(records.size(), 1u);
      EXPECT_EQ(records[0].argv, c.argv);
    }
    fs::remove(release);
  }
}

TEST_F(LaunchTest, KnownBrowserBehindTheAlternativeGetsANewWindow) {
  Provide("firefox-esr");
  fs::create_symlink(dir_ / "bin" / "firefox-esr", dir_ / "bin" / "x-www-browser");
  tarnex::OpenBrowserNewWindow("http://d/");
  const auto records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].argv, (Argv{"x-www-browser", "--new-window", "http://d/"}));
}

TEST_F(LaunchTest, WithoutXdgOpenDocumentsHaveNoProgram) {
  dir_.write("doc.txt", "text");
  EXPECT_EQ(tarnex::ShellExecuteUtf8(0, "open", (dir_ / "doc.txt").string(), "", "", 1), 31);
  EXPECT_EQ(tarnex::ShellExecuteUtf8(0, "open", "http://a.example/", "", "", 1), 31);
}

TEST_F(LaunchTest, UnsearchableFolderIsAccessDenied) {
  Provide("tool");
  fs::create_directories(dir_ / "closed");
  fs::copy_file(dir_ / "bin" / "tool", dir_ / "closed" / "tool");
  brevio::testing::ShareWithTestUser(dir_.path().string());
  brevio::testing::ShareWithTestUser((dir_ / "closed").string());
  fs::permissions(dir_ / "closed", fs::perms::owner_read);
  // Root searches every folder: the call is made as an ordinary user.
  const std::string tool = (dir_ / "closed" / "tool").string();
  EXPECT_EQ(brevio::testing::RunAsOrdinaryUser(
                [&] { return tarnex::ShellExecuteUtf8(0, "open", tool, "", "", 1); }),
            5);
  fs::permissions(dir_ / "closed", fs::perms::owner_all);
}

}  // namespace

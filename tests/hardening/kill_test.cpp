// Writers killed at random moments leave either the old file or the new one,
// never a mix and never nothing, and their leftovers are never mistaken for
// the user's files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "brevio/engine/line_cleaner.h"
#include "tarnex/services/profile.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace {

using brevio::testing::ReadFile;
using brevio::testing::TempDir;
using Clock = std::chrono::steady_clock;

pid_t Spawn(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

// Files in the folder other than the one under test.
std::vector<std::string> Leftovers(const std::filesystem::path& dir, const std::string& keep) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name != keep) names.push_back(name);
  }
  return names;
}

// A page of about 8 MiB that shrinks a lot, so a trim takes long enough to
// be caught at any stage: opening, mid-write, renaming.
std::string LargePage() {
  std::string line = "\t\t<td class=\"cell\">   value    with   spaces   </td>   \r\n";
  std::string page;
  page.reserve(8u << 20);
  while (page.size() < (8u << 20)) page += line;
  return page;
}

constexpr int kKills = 60;

TEST(KillSafety, InPlaceTrimLeavesOldOrNewContent) {
  TempDir dir;
  const std::string original = LargePage();
  const auto file = dir.write("page.htm", original);

  // One uninterrupted run gives the new content and its duration.
  auto start = Clock::now();
  ASSERT_EQ(Wait(Spawn({BREVIO_TRIM_PROGRAM, "-q", "-i", file.string()})), 0);
  const auto full = Clock::now() - start;
  const std::string trimmed = ReadFile(file);
  ASSERT_LT(trimmed.size(), original.size());

  std::mt19937 random(20261207);
  const auto span = std::chrono::duration_cast<std::chrono::microseconds>(full).count() * 5 / 4;
  int old_seen = 0;
  int new_seen = 0;
  for (int i = 0; i < kKills; ++i) {
    dir.write("page.htm", original);
    const pid_t pid = Spawn({BREVIO_TRIM_PROGRAM, "-q", "-i", file.string()});
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (span + 1)));
    kill(pid, SIGKILL);
    Wait(pid);

    const std::string now = ReadFile(file);
    ASSERT_TRUE(now == original || now == trimmed)
        << "kill " << i << " left " << now.size() << " bytes, a mix of old and new";
    (now == original ? old_seen : new_seen)++;
    // Whatever a killed run left behind is hidden and named as ours.
    for (const auto& name : Leftovers(dir.path(), "page.htm")) {
      EXPECT_EQ(name.rfind(".page.htm.brevio-", 0), 0u) << name;
    }
  }
  RecordProperty("kills", kKills);
  RecordProperty("old_content", old_seen);
  RecordProperty("new_content", new_seen);
  std::printf("in-place trim killed %d times: old content %d, new content %d\n", kKills, old_seen,
              new_seen);

  // The next run finishes the job and does not trip over what was left.
  dir.write("page.htm", original);
  ASSERT_EQ(Wait(Spawn({BREVIO_TRIM_PROGRAM, "-q", "-i", file.string()})), 0);
  EXPECT_EQ(ReadFile(file), trimmed);
}

// Signals a program can catch remove the temporary file before the program
// ends: unlike SIGKILL, they must leave nothing behind.
class SignalSafety : public ::testing::TestWithParam<int> {};

TEST_P(SignalSafety, InPlaceTrimLeavesOldOrNewContentAndNoTemporaryFile) {
  const int sig = GetParam();
  TempDir dir;
  const std::string original = LargePage();
  const auto file = dir.write("page.htm", original);
  auto start = Clock::now();
  ASSERT_EQ(Wait(Spawn({BREVIO_TRIM_PROGRAM, "-q", "-i", file.string()})), 0);
  const auto full = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
  const std::string trimmed = ReadFile(file);

  std::mt19937 random(static_cast<unsigned>(sig));
  int interrupted = 0;
  for (int i = 0; i < 20; ++i) {
    dir.write("page.htm", original);
    const pid_t pid = Spawn({BREVIO_TRIM_PROGRAM, "-q", "-i", file.string()});
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (full.count() + 1)));
    kill(pid, sig);
    const int status = Wait(pid);
    // Ended by the signal itself (so its parent knows), or done before it came.
    if (WIFSIGNALED(status)) {
      EXPECT_EQ(WTERMSIG(status), sig);
      ++interrupted;
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "run " << i;
    }
    const std::string now = ReadFile(file);
    ASSERT_TRUE(now == original || now == trimmed) << "run " << i << ": a mix of old and new";
    EXPECT_TRUE(Leftovers(dir.path(), "page.htm").empty()) << "run " << i;
  }
  std::printf("signal %d: %d of 20 runs interrupted\n", sig, interrupted);
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalSafety, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return std::string(strsignal(info.param)); });

// A FIFO whose reader goes away: the trim ends (by SIGPIPE, or failing with
// EPIPE where the program ignores it), the FIFO stays a FIFO and nothing is
// left beside it.
TEST(SignalSafety, AFifoTargetWhoseReaderLeaves) {
  TempDir dir;
  const auto source = dir.write("page.htm", LargePage());
  const auto fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread reader([&] {
    const int fd = open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
    char buffer[4096];
    EXPECT_GT(read(fd, buffer, sizeof buffer), 0);
    close(fd);
  });
  const int status = Wait(Spawn({BREVIO_TRIM_PROGRAM, "-q", source.string(), fifo.string()}));
  reader.join();
  EXPECT_TRUE((WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) ||
              (WIFEXITED(status) && WEXITSTATUS(status) == 1))
      << status;
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_EQ(ReadFile(source), LargePage());
  for (const auto& name : Leftovers(dir.path(), "page.htm")) EXPECT_EQ(name, "fifo");
}

// A tree trimmed into a new folder, killed at random moments: each target
// there is whole or absent, and nothing else is left, not even hidden.
TEST(KillSafety, TreeIntoANewFolderLeavesWholeFilesOnly) {
  TempDir dir;
  const std::string page = LargePage().substr(0, 1u << 19);
  for (const char* folder : {"tree/a", "tree/b"}) {
    std::filesystem::create_directories(dir / folder);
    for (int i = 0; i < 6; ++i)
      dir.write(std::string(folder) + "/p" + std::to_string(i) + ".htm", page);
  }
  const auto tree = (dir / "tree").string();
  const auto first = (dir / "first").string();
  auto start = Clock::now();
  ASSERT_EQ(Wait(Spawn({BREVIO_TRIM_PROGRAM, "-q", "-r", "-o", first, tree})), 0);
  const auto full = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
  const std::string trimmed = ReadFile(dir / "first/a/p0.htm");
  ASSERT_LT(trimmed.size(), page.size());

  std::mt19937 random(20261208);
  std::size_t whole = 0;
  for (int i = 0; i < 20; ++i) {
    const auto out = dir / ("out" + std::to_string(i));
    const pid_t pid = Spawn({BREVIO_TRIM_PROGRAM, "-q", "-r", "-o", out.string(), tree});
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (full.count() + 1)));
    kill(pid, SIGKILL);
    Wait(pid);
    if (!std::filesystem::exists(out)) continue;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out)) {
      if (entry.is_directory()) continue;
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name.size() == 6 && name.front() == 'p') << "kill " << i << " left " << name;
      EXPECT_EQ(ReadFile(entry.path()), trimmed) << "kill " << i << ": " << entry.path();
      ++whole;
    }
  }
  std::printf("tree trim killed 20 times: %zu whole files left\n", whole);
}

TEST(KillSafety, ProfileWriterLeavesAWholeFile) {
  TempDir dir;
  // Many keys, so that each rewrite takes a while and kills land mid-write.
  std::string base = "; settings kept by another program\r\n[Run]\r\n";
  for (int i = 0; i < 20000; ++i)
    base += "key" + std::to_string(i) + "=value " + std::to_string(i) + "\r\n";
  base += "[Other]\r\nkept=yes\r\n";
  const auto file = dir.write("app.ini", base);

  // The writer's start-up (loading its libraries) takes longer than one
  // write: measure it, so the kills spread over start-up and many writes.
  auto start = Clock::now();
  const pid_t first = Spawn({PROFILE_WRITER_PROGRAM, file.string()});
  ASSERT_GT(first, 0);
  while (!tarnex::ProfileText(ReadFile(file)).Find("Run", "n") &&
         Clock::now() - start < std::chrono::seconds(20)) {
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  const auto startup = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
  kill(first, SIGKILL);
  Wait(first);
  dir.write("app.ini", base);
  const auto span = startup.count() * 2 + 20000;

  std::mt19937 random(7);
  int with_value = 0;
  for (int i = 0; i < kKills; ++i) {
    const pid_t pid = Spawn({PROFILE_WRITER_PROGRAM, file.string()});
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(random() % span));
    kill(pid, SIGKILL);
    Wait(pid);

    // The file is exactly the last state some complete write produced.
    const std::string now = ReadFile(file);
    tarnex::ProfileText text(now);
    const auto n = text.Find("Run", "n");
    tarnex::ProfileText expected(base);
    if (n) {
      expected.Set("Run", "n", *n);
      ++with_value;
    }
    ASSERT_EQ(now, expected.bytes()) << "kill " << i;
    EXPECT_EQ(text.Find("Other", "kept"), "yes");
    for (const auto& name : Leftovers(dir.path(), "app.ini")) {
      EXPECT_EQ(name.front(), '.') << "a leftover that looks like a user file: " << name;
    }
  }
  std::printf("profile writer killed %d times: %d after a completed write\n", kKills, with_value);
}

}  // namespace

#include "tarnex/services/profile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "case_name.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using brevio::testing::ReadFile;
using brevio::testing::TempDir;
using tarnex::LoadProfileValue;
using tarnex::SaveProfileValue;

std::size_t EntryCount(const fs::path& dir) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// The default profile lies beside the test program; each test leaves none.
// ctest runs every test as its own process, side by side, and this file is
// one for all of them: they take turns under a lock on a file beside it.
class DefaultProfileTest : public testing::Test {
 protected:
  void SetUp() override {
    lock_ =
        open((tarnex::DefaultProfilePath() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(lock_, 0);
    ASSERT_EQ(flock(lock_, LOCK_EX), 0);
    fs::remove(tarnex::DefaultProfilePath());
  }
  void TearDown() override {
    fs::remove(tarnex::DefaultProfilePath());
    if (lock_ >= 0) close(lock_);  // releases the lock
  }

 private:
  int lock_ = -1;
};

TEST_F(DefaultProfileTest, IsNamedAfterTheModuleBesideIt) {
  const fs::path exe = fs::read_symlink("/proc/self/exe");
  EXPECT_EQ(tarnex::DefaultProfilePath(), (exe.parent_path() / exe.stem()).string() + ".ini");
}

TEST_F(DefaultProfileTest, BlankOrEmptyFileSelectsIt) {
  for (const char* file : {"", "   "}) {
    fs::remove(tarnex::DefaultProfilePath());
    ASSERT_NE(SaveProfileValue("Options", "Width", "640", file), 0) << "[" << file << "]";
    EXPECT_EQ(ReadFile(tarnex::DefaultProfilePath()), "[Options]\r\nWidth=640\r\n");
    EXPECT_EQ(LoadProfileValue("Options", "Width", "0", ""), "640");
    EXPECT_EQ(LoadProfileValue("options", "width", "0", "  "), "640");
  }
}

TEST_F(DefaultProfileTest, BareFileNameLiesInItsFolder) {
  const fs::path expected =
      fs::path(tarnex::DefaultProfilePath()).parent_path() / "tarnex_bare_name_test.ini";
  fs::remove(expected);
  ASSERT_NE(SaveProfileValue("S", "k", "v", "tarnex_bare_name_test.ini"), 0);
  EXPECT_EQ(ReadFile(expected), "[S]\r\nk=v\r\n");
  EXPECT_EQ(LoadProfileValue("S", "k", "", "tarnex_bare_name_test.ini"), "v");
  fs::remove(expected);
}

struct ValueCase {
  const char* what;
  std::string initial;  // profile text before
  std::string section, key, value;
  std::int32_t saved;
  std::string after;  // profile text after
};

class SaveValueTest : public testing::TestWithParam<ValueCase> {};

TEST_P(SaveValueTest, CleansAndChoosesTheWrite) {
  const ValueCase& c = GetParam();
  TempDir dir;
  const fs::path file = dir.write("p.ini", c.initial);
  EXPECT_EQ(SaveProfileValue(c.section, c.key, c.value, file.string()) != 0, c.saved != 0)
      << c.what;
  EXPECT_EQ(ReadFile(file), c.after) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveValueTest,
    testing::Values(ValueCase{"value trimmed", "", "S", "k", "  a b  ", 1, "[S]\r\nk=a b\r\n"},
                    ValueCase{"NULs removed before trimming", "", "S", "k",
                              std::string(" \0a\0 ", 5), 1, "[S]\r\nk=a\r\n"},
                    ValueCase{"tabs stay", "", "S", "k", "\ta\t", 1, "[S]\r\nk=\ta\t\r\n"},
                    ValueCase{"spaces delete the key", "[S]\r\nk=1\r\nj=2\r\n", "S", "k", "   ", 1,
                              "[S]\r\nj=2\r\n"},
                    ValueCase{"only NULs delete the key", "[S]\r\nk=1\r\n", "S", "k",
                              std::string("\0\0", 2), 1, "[S]\r\n"},
                    ValueCase{"empty key deletes the section", "[S]\r\nk=1\r\n[T]\r\n", "S", "",
                              "value", 1, "[T]\r\n"},
                    ValueCase{"section and key not trimmed by us", "[S]\r\n", " S ", " k ", "1", 1,
                              "[S]\r\nk=1\r\n"},
                    ValueCase{"NUL ends the key", "", "S", std::string("k\0x", 3), "1", 1,
                              "[S]\r\nk=1\r\n"}),
    tarnex::testing::CaseName());

struct LoadCase {
  const char* what;
  std::string initial;
  std::string key, default_value, loaded;
};

class LoadValueTest : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadValueTest, GivesValueOrCleanedDefault) {
  const LoadCase& c = GetParam();
  TempDir dir;
  const fs::path file = dir.write("p.ini", c.initial);
  EXPECT_EQ(LoadProfileValue("S", c.key, c.default_value, file.string()), c.loaded) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadValueTest,
    testing::Values(LoadCase{"stored", "[S]\nk= v \n", "k", "d", "v"},
                    LoadCase{"missing key, default trimmed", "[S]\n", "k", "  x  ", "x"},
                    LoadCase{"empty value is no miss", "[S]\nk=\n", "k", "d", ""},
                    LoadCase{"quoted value trimmed inside", "[S]\nk=\" v \"\n", "k", "d", "v"},
                    LoadCase{"2047 characters kept", "[S]\nk=" + std::string(3000, 'a') + "\n", "k",
                             "", std::string(2047, 'a')},
                    LoadCase{"long default cut too", "", "k", std::string(2050, 'd'),
                             std::string(2047, 'd')},
                    LoadCase{"a code point is never split",
                             "[S]\nk=" + std::string(2046, 'a') + "\xe2\x82\xac\xe2\x82\xac\n", "k",
                             "", std::string(2046, 'a') + "\xe2\x82\xac"},
                    LoadCase{"Windows-1252 bytes count one each",
                             "[S]\nk=" + std::string(2045, 'a') + "\xff\xe2\x82\xfe\n", "k", "",
                             std::string(2045, 'a') + "\xc3\xbf\xc3\xa2"},
                    LoadCase{"cut then trimmed", "[S]\nk=" + std::string(2046, 'a') + " b\n", "k",
                             "", std::string(2046, 'a')}),
    tarnex::testing::CaseName());

TEST(ProfileFileTest, MissingFileGivesTheDefault) {
  TempDir dir;
  EXPECT_EQ(LoadProfileValue("S", "k", " d ", (dir / "none.ini").string()), "d");
  EXPECT_EQ(EntryCount(dir.path()), 0u);
}

TEST(ProfileFileTest, MissingFolderFailsAndCreatesNothing) {
  TempDir dir;
  const fs::path file = dir.write("plain", "x");
  for (const fs::path& target : {dir / "missing" / "p.ini", file / "p.ini"}) {
    EXPECT_EQ(SaveProfileValue("S", "k", "v", target.string()), 0) << target;
    EXPECT_EQ(SaveProfileValue("S", "", "", target.string()), 0) << target;
  }
  EXPECT_EQ(EntryCount(dir.path()), 1u);
}

TEST(ProfileFileTest, FifoIsNoProfileAndNeverBlocks) {
  TempDir dir;
  const fs::path fifo = dir / "p.ini";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(LoadProfileValue("S", "k", "d", fifo.string()), "d");
  EXPECT_EQ(SaveProfileValue("S", "k", "v", fifo.string()), 0);
  EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST(ProfileFileTest, ReadOnlyProfileIsRefused) {
  TempDir dir;
  const fs::path file = dir.write("p.ini", "[S]\r\nk=1\r\n");
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read);
  EXPECT_EQ(SaveProfileValue("S", "k", "2", file.string()), 0);
  EXPECT_EQ(ReadFile(file), "[S]\r\nk=1\r\n");
}

TEST(ProfileFileTest, KeepsPermissionsAndSymbolicLinks) {
  TempDir dir;
  const fs::path file = dir.write("p.ini", "[S]\r\n");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(file, dir / "link.ini");
  ASSERT_NE(SaveProfileValue("S", "k", "1", (dir / "link.ini").string()), 0);
  EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
  EXPECT_EQ(ReadFile(file), "[S]\r\nk=1\r\n");
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(EntryCount(dir.path()), 2u);  // no copy left behind
}

TEST(ProfileFileTest, FailedWriteLeavesTheProfileWhole) {
  TempDir dir;
  const std::string before = "[S]\r\nk=1\r\n";
  const fs::path file = dir.write("p.ini", before);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The copy can hold only a few bytes: the write fails half-way.
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{16, 16};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(SaveProfileValue("S", "big", std::string(4096, 'x'), file.string()) == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write should report failure";
  EXPECT_EQ(ReadFile(file), before);
  EXPECT_EQ(EntryCount(dir.path()), 1u);
}

TEST(ProfileFileTest, KilledWriterNeverLeavesADamagedProfile) {
  TempDir dir;
  const fs::path file = dir / "p.ini";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    for (int i = 0;; ++i)
      SaveProfileValue("S", "k" + std::to_string(i), std::string(200, 'v'), file.string());
  }
  while (!fs::exists(file) || ReadFile(file).size() < 20000) usleep(1000);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  // Whatever moment the writer died at, the profile holds whole entries k0..kN.
  const std::string text = ReadFile(file);
  std::string expected = "[S]\r\n";
  for (int i = 0; expected.size() < text.size(); ++i)
    expected += "k" + std::to_string(i) + "=" + std::string(200, 'v') + "\r\n";
  EXPECT_EQ(text, expected);
}

TEST(ProfileFileTest, TwoProcessesWritingAtOnceLoseNothing) {
  TempDir dir;
  const fs::path file = dir / "shared.ini";
  constexpr int kKeys = 300;
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) {
      int failures = 0;
      for (int i = 0; i < kKeys; ++i) {
        const std::string key = "p" + std::to_string(p) + "k" + std::to_string(i);
        failures +=
            SaveProfileValue(i % 2 ? "Odd" : "Even", key, std::to_string(i), file.string()) == 0;
      }
      _exit(failures == 0 ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int p = 0; p < 2; ++p) {
    for (int i = 0; i < kKeys; ++i) {
      const std::string key = "p" + std::to_string(p) + "k" + std::to_string(i);
      ASSERT_EQ(LoadProfileValue(i % 2 ? "Odd" : "Even", key, "lost", file.string()),
                std::to_string(i))
          << key;
    }
  }
}

}  // namespace

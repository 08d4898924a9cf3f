// Making every level of a folder, without any window.
#include "tarnex/services/folders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "case_name.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using brevio::testing::TempDir;

struct MakeDirCase {
  const char* what;
  std::string dir;                  // "T" stands for the temp folder
  std::vector<std::string> exist;   // folders made first ("=file" suffix makes a file)
  std::vector<std::string> expect;  // folders that must exist afterwards
  bool made;
};

class MakeDirTest : public testing::TestWithParam<MakeDirCase> {};

TEST_P(MakeDirTest, CreatesLevelsOrStopsAtTheFirstFailure) {
  const MakeDirCase& c = GetParam();
  TempDir tmp;
  for (const std::string& e : c.exist) {
    if (e.size() > 5 && e.substr(e.size() - 5) == "=file") {
      tmp.write(e.substr(0, e.size() - 5), "x");
    } else {
      fs::create_directories(tmp / e);
    }
  }
  std::string dir = c.dir;
  if (dir.rfind("T", 0) == 0) dir.replace(0, 1, tmp.path().string());
  EXPECT_EQ(tarnex::MakeDirLevels(dir), c.made) << c.what;
  for (const std::string& e : c.expect)
    EXPECT_TRUE(fs::is_directory(tmp / e)) << c.what << ": " << e;
  EXPECT_FALSE(fs::exists(tmp / " ")) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MakeDirTest,
    testing::Values(
        MakeDirCase{"all levels exist", "T/a/b", {"a/b"}, {"a/b"}, true},
        MakeDirCase{"missing levels made top down", "T/a/b/c", {"a"}, {"a/b/c"}, true},
        MakeDirCase{"doubled separators", "T//a//b", {}, {"a/b"}, true},
        MakeDirCase{"blank piece skipped", "T/a/ /b/  /", {}, {"a/b"}, true},
        MakeDirCase{"trailing separator", "T/a/", {}, {"a"}, true},
        MakeDirCase{"spaces inside a name kept", "T/ a b/c ", {}, {" a b/c "}, true},
        MakeDirCase{"text after a NUL ignored", std::string("T/n\0/x", 6), {}, {"n"}, true},
        MakeDirCase{"a level exists as a file", "T/a/f/g", {"a", "a/f=file"}, {"a"}, false},
        MakeDirCase{"stops at the first failure", "T/f/x", {"f=file"}, {}, false},
        MakeDirCase{"empty path does nothing", "", {}, {}, true},
        MakeDirCase{"only separators do nothing", "/ //", {}, {}, true}),
    tarnex::testing::CaseName());

TEST(MakeDirLevels, RelativePathIsTakenFromTheCurrentFolder) {
  TempDir tmp;
  const fs::path old = fs::current_path();
  fs::current_path(tmp.path());
  const bool made = tarnex::MakeDirLevels("r1/r2");
  fs::current_path(old);
  EXPECT_TRUE(made);
  EXPECT_TRUE(fs::is_directory(tmp / "r1" / "r2"));
}

}  // namespace

// The services in a host without a QApplication (a command-line client).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <filesystem>

#include "tarnex/services/folders.h"
#include "tarnex/services/window_order.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

TEST(NoGuiTest, FolderChooserGivesNothing) {
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  EXPECT_EQ(tarnex::ChooseFolder(0), "");
  EXPECT_EQ(tarnex::ChooseFolder(12345), "");
  tarnex::SetTopWindow(12345, -1);  // nothing to do, and no crash
}

TEST(NoGuiTest, MakeDirErrorGoesToStandardError) {
  brevio::testing::TempDir dir;
  dir.write("file", "x");
  const std::string target = (dir / "file" / "sub").string() + "//x";
  testing::internal::CaptureStderr();
  tarnex::MakeDirLevels(target);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Create directory error: " + target + "\n");
}

TEST(NoGuiTest, MakeDirWorksWithoutGui) {
  brevio::testing::TempDir dir;
  testing::internal::CaptureStderr();
  tarnex::MakeDirLevels((dir / "a").string() + "/ /b//c/");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(fs::is_directory(dir / "a" / "b" / "c"));
  EXPECT_FALSE(fs::exists(dir / "a" / " "));
}

}  // namespace

// The desktop operations in a host without a display: a command-line client
// of the Qt build (no QApplication) or any client of the build without Qt.
#include <gtest/gtest.h>

#include "tarnex/services/desktop.h"

namespace {

TEST(NoDisplayTest, NothingIsShownAndNothingIsChosen) {
  for (const std::int32_t hwnd : {0, 12345, -1}) {
    EXPECT_EQ(tarnex::ChooseFolder(hwnd), "") << hwnd;
    EXPECT_FALSE(tarnex::ShowErrorBox("Create directory error: /x", "msgMakeDirError")) << hwnd;
    tarnex::SetTopWindow(hwnd, -1);  // reached without a crash
  }
}

}  // namespace

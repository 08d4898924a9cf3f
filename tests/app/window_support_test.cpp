#include "brevio/app/window_support.h"

#include <gtest/gtest.h>

namespace brevio::app {
namespace {

TEST(FromTwips, FifteenTwipsAPixel) {
  EXPECT_EQ(FromTwips({240, 240, 8415, 4815}), QRect(16, 16, 561, 321));
  EXPECT_EQ(FromTwips({960, 8040, 4695, 285}), QRect(64, 536, 313, 19));
  EXPECT_EQ(FromTwips({7440, 6000, 1215, 330}), QRect(496, 400, 81, 22));
}

TEST(ProgramIcon, HoldsBothSizes) {
  const QIcon icon = ProgramIcon();
  ASSERT_FALSE(icon.isNull());
  for (int side : {16, 32}) EXPECT_EQ(icon.pixmap(side, side).size(), QSize(side, side));
  EXPECT_EQ(icon.availableSizes().size(), 2);
}

}  // namespace
}  // namespace brevio::app

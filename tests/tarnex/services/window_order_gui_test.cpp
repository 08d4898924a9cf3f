#include <gtest/gtest.h>

#include <QWidget>

#include "tarnex/services/desktop.h"
#include "tests/support/modal_driver.h"

namespace {

struct TopCase {
  bool initially_on_top;
  bool visible;
  std::int16_t topmost;
  bool on_top;
};

void PrintTo(const TopCase& c, std::ostream* os) {
  *os << (c.initially_on_top ? "on_top" : "normal") << (c.visible ? " shown" : " hidden")
      << " topmost=" << c.topmost;
}

class SetTopWindowTest : public testing::TestWithParam<TopCase> {
 protected:
  void TearDown() override { EXPECT_EQ(brevio::testing::VisibleTopLevels(), 0); }
};

TEST_P(SetTopWindowTest, OnlyMinusOnePinsAndNothingElseMoves) {
  const TopCase& c = GetParam();
  QWidget window;
  window.setWindowFlag(Qt::WindowStaysOnTopHint, c.initially_on_top);
  window.setGeometry(120, 90, 300, 200);
  const auto hwnd = static_cast<std::int32_t>(window.winId());
  if (c.visible) window.show();
  const QRect before = window.geometry();
  tarnex::SetTopWindow(hwnd, c.topmost);
  EXPECT_EQ(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint), c.on_top);
  EXPECT_EQ(window.geometry(), before);
  EXPECT_EQ(window.isVisible(), c.visible);
  // The handle still names the window: toggling back through it works.
  tarnex::SetTopWindow(hwnd, c.on_top ? 0 : -1);
  EXPECT_EQ(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint), !c.on_top);
  EXPECT_EQ(window.geometry(), before);
  window.close();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetTopWindowTest,
    testing::Values(TopCase{false, true, -1, true}, TopCase{true, true, 0, false},
                    TopCase{true, true, 1, false}, TopCase{false, true, 1, false},
                    TopCase{true, false, 0, false}, TopCase{false, false, -1, true},
                    TopCase{true, true, -1, true}, TopCase{false, true, 2, false}));

TEST(SetTopWindowUnknownTest, UnknownHandleChangesNothing) {
  QWidget window;
  window.show();
  const auto hwnd = static_cast<std::int32_t>(window.winId());
  for (const std::int32_t other : {0, hwnd + 7777, -1}) {
    tarnex::SetTopWindow(other, -1);
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint)) << other;
    EXPECT_TRUE(window.isVisible());
  }
  window.close();
}

}  // namespace

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

// GUI tests run headless unless the caller picked a platform (e.g. xcb under Xvfb).
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}

// The window tests share one initialised component runtime, as the program does.
#include <comrt.h>
#include <gtest/gtest.h>

namespace {

class ComEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { CoInitialize(nullptr); }
  void TearDown() override { CoUninitialize(); }
};

[[maybe_unused]] ::testing::Environment* const kCom =
    ::testing::AddGlobalTestEnvironment(new ComEnvironment);

}  // namespace

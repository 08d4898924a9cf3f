#include "brevio/engine/ratio_format.h"

#include <gtest/gtest.h>

#include <limits>

namespace brevio {
namespace {

struct PercentCase {
  double value;
  const char* expected;
};

class FormatPercentTable : public ::testing::TestWithParam<PercentCase> {};

TEST_P(FormatPercentTable, TwoDecimalsNoLeadingZeroHalvesAwayFromZero) {
  EXPECT_EQ(FormatPercent(GetParam().value), GetParam().expected) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, FormatPercentTable,
    ::testing::Values(PercentCase{64, "64.00%"}, PercentCase{50, "50.00%"},
                      PercentCase{0.5, ".50%"}, PercentCase{100, "100.00%"},
                      PercentCase{200.0 / 3.0, "66.67%"}, PercentCase{1234.5, "1234.50%"},
                      PercentCase{0, ".00%"}, PercentCase{0.125, ".13%"},
                      PercentCase{0.004, ".00%"}, PercentCase{0.005, ".01%"},
                      PercentCase{0.0995, ".10%"}, PercentCase{0.17, ".17%"},
                      PercentCase{99.995, "100.00%"}, PercentCase{9.999, "10.00%"},
                      // 1.005 is 1.00499999999999989... in binary; its 15-digit text
                      // is 1.00500000000000, which rounds up.
                      PercentCase{1.005, "1.01%"}, PercentCase{1e20, "100000000000000000000.00%"},
                      PercentCase{-0.5, "-.50%"}));

TEST(FormatPercent, UsesTheGivenDecimalPoint) {
  EXPECT_EQ(FormatPercent(64, ","), "64,00%");
  EXPECT_EQ(FormatPercent(0.5, ","), ",50%");
}

TEST(FormatPercent, NonFiniteGivesNothing) {
  EXPECT_EQ(FormatPercent(std::numeric_limits<double>::infinity()), "");
  EXPECT_EQ(FormatPercent(std::numeric_limits<double>::quiet_NaN()), "");
}

TEST(CompressionText, IsTargetOverSourceTimesHundred) {
  EXPECT_EQ(CompressionText(640, 1000), "64.00%");
  EXPECT_EQ(CompressionText(1, 3), "33.33%");
  EXPECT_EQ(CompressionText(2, 3), "66.67%");
  EXPECT_EQ(CompressionText(5, 1000), ".50%");
  EXPECT_EQ(CompressionText(0, 1000), ".00%");
  EXPECT_EQ(CompressionText(1000, 1000, ","), "100,00%");
}

TEST(CompressionText, AnEmptySourceHasNoRatio) {
  EXPECT_EQ(CompressionText(0, 0), std::nullopt);
  EXPECT_EQ(CompressionText(10, 0), std::nullopt);
}

}  // namespace
}  // namespace brevio

#include "brevio/forms/gradient.h"

#include <gtest/gtest.h>

#include <vector>

namespace brevio::forms {
namespace {

struct Call {
  bool clear;
  float x1, y1, x2, y2;
  std::uint32_t colour;
  bool operator==(const Call&) const = default;
};

class RecordingSurface : public DrawingSurface {
 public:
  std::vector<Call> calls;
  void Clear() override { calls.push_back({true, 0, 0, 0, 0, 0}); }
  void Line(float x1, float y1, float x2, float y2, std::uint32_t colour) override {
    calls.push_back({false, x1, y1, x2, y2, colour});
  }
};

constexpr std::uint32_t kStart = 0xFFF6EB;
constexpr std::uint32_t kEnd = 16700313;

// A top-down RGB32 image in memory, pixels 0xFFRRGGBB.
struct Image {
  Image(std::size_t w, std::size_t h) : width(w), pixels(w * h) {}
  std::uint32_t pixel(std::size_t x, std::size_t y) const { return pixels[y * width + x]; }
  std::size_t width;
  std::vector<std::uint32_t> pixels;
};

std::uint32_t Argb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return 0xFF000000u | r << 16 | g << 8 | b;
}

Call L(float x1, float y1, float x2, float y2, std::uint32_t c) {
  return {false, x1, y1, x2, y2, c};
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
  const struct {
    double in;
    std::int32_t out;
  } cases[] = {{214.5, 214},      {228.5, 228},      {254.5, 254},  {173.5, 174},
               {0.5, 0},          {1.5, 2},          {2.5, 2},      {-2.5, -2},
               {25427.45, 25427}, {25427.55, 25428}, {6735.0, 6735}};
  for (const auto& c : cases) EXPECT_EQ(RoundHalfEven(c.in), c.out) << c.in;
}

struct GradientCase {
  const char* name;
  std::int32_t left, top, right, bottom;
  std::uint32_t start, end;
  bool top_to_bottom;
  std::vector<Call> lines;
};

class PaintGradientTable : public ::testing::TestWithParam<GradientCase> {};

TEST_P(PaintGradientTable, DrawsExactlyTheseLines) {
  const GradientCase& c = GetParam();
  RecordingSurface surface;
  PaintGradient(surface, c.left, c.top, c.right, c.bottom, c.start, c.end, c.top_to_bottom);
  EXPECT_EQ(surface.calls, c.lines);

  // The clearing variant clears first, then draws the same lines.
  RecordingSurface cleared;
  ClearAndPaintGradient(cleared, c.left, c.top, c.right, c.bottom, c.start, c.end, c.top_to_bottom);
  ASSERT_FALSE(cleared.calls.empty());
  EXPECT_TRUE(cleared.calls.front().clear);
  EXPECT_EQ(std::vector<Call>(cleared.calls.begin() + 1, cleared.calls.end()), c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Gradients, PaintGradientTable,
    ::testing::Values(
        GradientCase{
            "FourLinesHalvesToEven",
            0,
            0,
            10,
            3,
            kStart,
            kEnd,
            true,
            {L(0, 0, 10, 0, RgbColour(235, 246, 255)), L(0, 1, 10, 1, RgbColour(214, 237, 255)),
             L(0, 2, 10, 2, RgbColour(194, 228, 254)), L(0, 3, 10, 3, RgbColour(174, 220, 254))}},
        GradientCase{
            "LeftToRightVerticalLines",
            0,
            0,
            3,
            7,
            kStart,
            kEnd,
            false,
            {L(0, 0, 0, 7, RgbColour(235, 246, 255)), L(1, 0, 1, 7, RgbColour(214, 237, 255)),
             L(2, 0, 2, 7, RgbColour(194, 228, 254)), L(3, 0, 3, 7, RgbColour(174, 220, 254))}},
        GradientCase{"OffsetOrigin",
                     5,
                     100,
                     9,
                     101,
                     0x000000,
                     0xFFFFFF,
                     true,
                     {L(5, 100, 9, 100, 0x000000), L(5, 101, 9, 101, RgbColour(128, 128, 128))}},
        GradientCase{"ZeroSpanOneLineInStartColour",
                     0,
                     4,
                     8,
                     4,
                     kStart,
                     kEnd,
                     true,
                     {L(0, 4, 8, 4, kStart)}},
        GradientCase{"NegativeSpanNothing", 0, 5, 8, 4, kStart, kEnd, true, {}},
        GradientCase{"EqualColoursPlainFill",
                     0,
                     0,
                     2,
                     2,
                     0x123456,
                     0x123456,
                     true,
                     {L(0, 0, 2, 0, 0x123456), L(0, 1, 2, 1, 0x123456), L(0, 2, 2, 2, 0x123456)}},
        GradientCase{"DescendingComponents",
                     0,
                     0,
                     1,
                     1,
                     0xFFFFFF,
                     0x000000,
                     true,
                     {L(0, 0, 1, 0, 0xFFFFFF), L(0, 1, 1, 1, RgbColour(128, 128, 128))}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PaintGradient, SpanLimitOfTheSixteenBitCounter) {
  const struct {
    std::int32_t bottom;
    std::size_t lines;
  } cases[] = {{32766, 32767}, {32767, 0}, {100000, 0}};
  for (const auto& c : cases) {
    RecordingSurface surface;
    PaintGradient(surface, 0, 0, 1, c.bottom, kStart, kEnd, true);
    EXPECT_EQ(surface.calls.size(), c.lines) << c.bottom;
    if (!surface.calls.empty()) {
      EXPECT_EQ(surface.calls.front().colour, kStart);
    }
  }
}

TEST(TwipsPixelSurface, EachPixelRowShowsTheLastOfItsFifteenLines) {
  // Black to white over 150 lines of 15 twips each: line i is grey 255 * i /
  // 150, and pixel row r shows line 15 r + 14. Steep enough that
  // neighbouring lines differ, so a wrong line would show.
  const std::uint32_t greys[] = {24, 49, 75, 100, 126, 151, 177, 202, 228, 253};
  Image image(4, 10);
  TwipsPixelSurface surface(image.pixels.data(), 4, 10, 4, RgbColour(1, 2, 3));
  ClearAndPaintGradient(surface, 0, 0, 60, 149, 0x000000, 0xFFFFFF, true);
  for (std::size_t row = 0; row < 10; ++row) {
    const std::uint32_t g = greys[row];
    for (std::size_t x : {0, 3}) EXPECT_EQ(image.pixel(x, row), Argb(g, g, g)) << row << "," << x;
  }
}

TEST(TwipsPixelSurface, TheWindowsGradientRunsBetweenTheDesignsCornerColours) {
  // frmMain's client area, 8895 x 6735 twips: 593 x 449 pixels at 96 dpi.
  Image image(593, 449);
  TwipsPixelSurface surface(image.pixels.data(), 593, 449, 593, RgbColour(1, 2, 3));
  ClearAndPaintGradient(surface, 0, 0, 8895, 6735, kStart, kEnd, true);
  for (std::size_t x : {0, 592}) {
    EXPECT_EQ(image.pixel(x, 0), Argb(235, 246, 255)) << x;
    EXPECT_EQ(image.pixel(x, 448), Argb(153, 211, 254)) << x;
  }
}

TEST(TwipsPixelSurface, ClearFillsAndLinesClipAtTheEdges) {
  Image image(10, 6);
  TwipsPixelSurface surface(image.pixels.data(), 10, 6, 10, RgbColour(9, 8, 7));
  surface.Clear();
  EXPECT_EQ(image.pixel(9, 5), Argb(9, 8, 7));
  // A line reaching far beyond both sides colours the row it crosses, and only it.
  surface.Line(-720, 45, 9840, 45, RgbColour(128, 128, 128));
  for (std::size_t x = 0; x < 10; ++x) EXPECT_EQ(image.pixel(x, 3), Argb(128, 128, 128));
  EXPECT_EQ(image.pixel(0, 2), Argb(9, 8, 7));
  EXPECT_EQ(image.pixel(0, 4), Argb(9, 8, 7));
  // Rows given either way round, and rows wholly outside, change nothing else.
  surface.Line(9840, 60, -720, 60, RgbColour(1, 1, 1));
  for (std::size_t x = 0; x < 10; ++x) EXPECT_EQ(image.pixel(x, 4), Argb(1, 1, 1));
  surface.Line(0, -15, 150, -15, 0);
  surface.Line(0, 90, 150, 90, 0);
  surface.Line(-300, 0, -16, 0, 0);
  EXPECT_EQ(image.pixel(0, 0), Argb(9, 8, 7));
  EXPECT_EQ(image.pixel(0, 5), Argb(9, 8, 7));
  // A vertical line from its top to its bottom pixel.
  surface.Line(30, 0, 30, 75, 0xFFFFFF);
  for (std::size_t y = 0; y < 6; ++y) EXPECT_EQ(image.pixel(2, y), Argb(255, 255, 255));
}

}  // namespace
}  // namespace brevio::forms

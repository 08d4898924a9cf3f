#include "brevio/forms/gradient.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace brevio::forms {
namespace {

struct Components {
  std::int32_t red, green, blue;
};

Components Split(std::uint32_t colour) {
  const auto c = static_cast<std::int64_t>(colour);
  return {static_cast<std::int32_t>(c % 256), static_cast<std::int32_t>((c / 256) % 256),
          static_cast<std::int32_t>(c / 65536)};
}

// s + (e - s) / (n + 1) * i, in double precision and in exactly this order.
std::int32_t Step(std::int32_t s, std::int32_t e, std::int32_t n, std::int32_t i) {
  const double diff = static_cast<double>(e - s);
  return RoundHalfEven(diff / (static_cast<double>(n) + 1.0) * static_cast<double>(i) +
                       static_cast<double>(s));
}

}  // namespace

std::int32_t RoundHalfEven(double value) {
  // nearbyint follows the current rounding mode; pin it to nearest-even.
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double r = std::nearbyint(value);
  std::fesetround(saved);
  return static_cast<std::int32_t>(r);
}

void PaintGradient(DrawingSurface& target, std::int32_t left, std::int32_t top, std::int32_t right,
                   std::int32_t bottom, std::uint32_t start_colour, std::uint32_t end_colour,
                   bool top_to_bottom) {
  const Components s = Split(start_colour);
  const Components e = Split(end_colour);
  const std::int64_t from = top_to_bottom ? top : left;
  const std::int64_t to = top_to_bottom ? bottom : right;
  const std::int64_t span = to - from;
  // The line counter is 16 bits wide: a span it cannot count to is refused.
  if (span < 0 || span >= std::numeric_limits<std::int16_t>::max()) return;
  const auto n = static_cast<std::int32_t>(span);
  for (std::int32_t i = 0; i <= n; ++i) {
    const std::uint32_t colour = RgbColour(Step(s.red, e.red, n, i), Step(s.green, e.green, n, i),
                                           Step(s.blue, e.blue, n, i));
    if (top_to_bottom) {
      const auto y = static_cast<float>(top + i);
      target.Line(static_cast<float>(left), y, static_cast<float>(right), y, colour);
    } else {
      const auto x = static_cast<float>(left + i);
      target.Line(x, static_cast<float>(top), x, static_cast<float>(bottom), colour);
    }
  }
}

void ClearAndPaintGradient(DrawingSurface& target, std::int32_t left, std::int32_t top,
                           std::int32_t right, std::int32_t bottom, std::uint32_t start_colour,
                           std::uint32_t end_colour, bool top_to_bottom) {
  target.Clear();
  PaintGradient(target, left, top, right, bottom, start_colour, end_colour, top_to_bottom);
}

namespace {

std::uint32_t ToPixel(std::uint32_t colour) {
  return 0xFF000000U | ((colour & 0xFFU) << 16) | (colour & 0xFF00U) | ((colour >> 16) & 0xFFU);
}

int ToPixelIndex(float twips) {
  return static_cast<int>(std::floor(twips / TwipsPixelSurface::kTwipsPerPixel));
}

}  // namespace

TwipsPixelSurface::TwipsPixelSurface(std::uint32_t* pixels, int width, int height,
                                     int stride_pixels, std::uint32_t background)
    : pixels_(pixels),
      width_(width),
      height_(height),
      stride_(stride_pixels),
      background_(background) {}

void TwipsPixelSurface::Clear() {
  for (int y = 0; y < height_; ++y) std::fill(Row(y), Row(y) + width_, ToPixel(background_));
}

void TwipsPixelSurface::Line(float x1, float y1, float x2, float y2, std::uint32_t colour) {
  int x = ToPixelIndex(x1), y = ToPixelIndex(y1);
  const int xe = ToPixelIndex(x2), ye = ToPixelIndex(y2);
  const std::uint32_t pixel = ToPixel(colour);
  if (y == ye) {
    // A row, as the window's gradient draws 6,736 of them: fill it at once.
    if (y < 0 || y >= height_) return;
    const int from = std::max(std::min(x, xe), 0);
    const int to = std::min(std::max(x, xe), width_ - 1);
    if (from > to) return;
    std::fill(Row(y) + from, Row(y) + to + 1, pixel);
    return;
  }
  // Otherwise Bresenham between the two end pixels, both included, clipped.
  const int dx = std::abs(xe - x), dy = -std::abs(ye - y);
  const int sx = x < xe ? 1 : -1, sy = y < ye ? 1 : -1;
  int err = dx + dy;
  for (;;) {
    if (x >= 0 && y >= 0 && x < width_ && y < height_) Row(y)[x] = pixel;
    if (x == xe && y == ye) break;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
}

}  // namespace brevio::forms

// The window background's two-colour gradient, drawn line by line in the
// surface's own units (twips for the main window).
#pragma once

#include <cstddef>
#include <cstdint>

namespace brevio::forms {

// Colours are 0x00BBGGRR: red in the low byte, blue in the third.
inline constexpr std::uint32_t RgbColour(int red, int green, int blue) {
  return static_cast<std::uint32_t>(red) | (static_cast<std::uint32_t>(green) << 8) |
         (static_cast<std::uint32_t>(blue) << 16);
}

// What the painter needs of a target: clear it, and draw a one-pixel solid line
// between two points given in the surface's units.
class DrawingSurface {
 public:
  virtual ~DrawingSurface() = default;
  virtual void Clear() = 0;
  virtual void Line(float x1, float y1, float x2, float y2, std::uint32_t colour) = 0;
};

// Lines i = 0..n (n = bottom - top, or right - left when !top_to_bottom), line i
// coloured start + (end - start) / (n + 1) * i per component, halves rounded to even.
// A negative span draws nothing; a span past the 16-bit line counter (32767 or
// more) draws nothing either rather than wrapping round.
void PaintGradient(DrawingSurface& target, std::int32_t left, std::int32_t top, std::int32_t right,
                   std::int32_t bottom, std::uint32_t start_colour, std::uint32_t end_colour,
                   bool top_to_bottom);

void ClearAndPaintGradient(DrawingSurface& target, std::int32_t left, std::int32_t top,
                           std::int32_t right, std::int32_t bottom, std::uint32_t start_colour,
                           std::uint32_t end_colour, bool top_to_bottom);

// Rounds to the nearest integer, halves to the even neighbour.
std::int32_t RoundHalfEven(double value);

// A persistent 32-bit image addressed in twips: point (x, y) lands on pixel
// (floor(x / 15), floor(y / 15)), so about fifteen lines share one pixel row and
// the last one drawn shows. Pixels are 0xFFRRGGBB words, rows top first (a Qt
// RGB32 image, a top-down Windows DIB section). Clear() fills with the
// background colour.
class TwipsPixelSurface : public DrawingSurface {
 public:
  static constexpr int kTwipsPerPixel = 15;

  TwipsPixelSurface(std::uint32_t* pixels, int width, int height, int stride_pixels,
                    std::uint32_t background);
  void Clear() override;
  void Line(float x1, float y1, float x2, float y2, std::uint32_t colour) override;

 private:
  std::uint32_t* Row(int y) { return pixels_ + static_cast<std::ptrdiff_t>(y) * stride_; }

  std::uint32_t* pixels_;
  int width_, height_, stride_;
  std::uint32_t background_;
};

}  // namespace brevio::forms

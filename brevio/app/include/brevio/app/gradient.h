// The window background's two-colour gradient, drawn line by line in the
// surface's own units (twips for the main window).
#pragma once

#include <cstdint>

class QImage;

namespace brevio::app {

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

// A persistent image addressed in twips: point (x, y) lands on pixel
// (floor(x / 15), floor(y / 15)), so about fifteen lines share one pixel row and
// the last one drawn shows. Clear() fills with the background colour.
class TwipsImageSurface : public DrawingSurface {
 public:
  static constexpr int kTwipsPerPixel = 15;

  TwipsImageSurface(QImage& image, std::uint32_t background);
  void Clear() override;
  void Line(float x1, float y1, float x2, float y2, std::uint32_t colour) override;

 private:
  QImage& image_;
  std::uint32_t background_;
};

}  // namespace brevio::app

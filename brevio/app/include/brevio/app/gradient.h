// The window background's gradient on a Qt image; the painter itself is
// toolkit-neutral (brevio/forms/gradient.h).
#pragma once

#include <QImage>

#include "brevio/forms/gradient.h"

namespace brevio::app {

using forms::ClearAndPaintGradient;
using forms::DrawingSurface;
using forms::PaintGradient;
using forms::RgbColour;
using forms::RoundHalfEven;

// An RGB32 image as a persistent twips surface.
class TwipsImageSurface : public forms::TwipsPixelSurface {
 public:
  TwipsImageSurface(QImage& image, std::uint32_t background)
      : TwipsPixelSurface(reinterpret_cast<std::uint32_t*>(image.bits()), image.width(),
                          image.height(), static_cast<int>(image.bytesPerLine() / 4), background) {}
};

}  // namespace brevio::app

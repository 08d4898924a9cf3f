// Small helpers of the Qt windows: twips geometry, colours, the line control
// and the icon.
#pragma once

#include <QColor>
#include <QIcon>
#include <QLine>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>

#include "brevio/forms/form_view.h"
#include "brevio/forms/layout.h"

namespace brevio::app {

// Left, top, width, height in twips -> pixels at 15 twips per pixel.
QRect FromTwips(const forms::TwipsRect& twips);

// A 0x00BBGGRR colour of the layout table.
QColor FromBgr(std::uint32_t colour);

// Alignment of ListView1's columns: "#" and "Source Files" left, the numbers right.
Qt::Alignment ColumnAlignment(int column);

// A line control: a one-pixel solid line between two points given in twips,
// clipped by its window. A level or upright line fills whole device pixels, so
// it neither vanishes nor leaves a seam beside its neighbour at a fractional
// scale; its widget reaches one pixel past the line on every side so that the
// rounded pixels stay inside it.
class LineControl : public QWidget {
 public:
  LineControl(const QString& name, const QLine& twips, const QColor& colour, QWidget* parent);
  QLine twips() const { return twips_; }
  QColor colour() const { return colour_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QLine twips_;
  QColor colour_;
};

// The program's icon, 32 x 32 and 16 x 16.
QIcon ProgramIcon();

}  // namespace brevio::app

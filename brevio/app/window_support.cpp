#include "brevio/app/window_support.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace brevio::app {

QRect FromTwips(const forms::TwipsRect& twips) {
  constexpr int k = forms::kTwipsPerPixelAt96;
  return {twips.left / k, twips.top / k, twips.width / k, twips.height / k};
}

QColor FromBgr(std::uint32_t colour) {
  return {static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
          static_cast<int>((colour >> 16) & 0xFF)};
}

Qt::Alignment ColumnAlignment(int column) {
  const bool right =
      column >= 0 && column < forms::kColumnCount && forms::kListColumns[column].right_aligned;
  return (right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

namespace {

// The device pixels [first, last) that window pixels `from` to `to` (both
// included) cover at `ratio` device pixels per window pixel. Window pixel p
// starts at device pixel round(p * ratio), so lines on neighbouring rows meet
// without a gap or an overlap at any scale.
struct DeviceSpan {
  int first, last;
};

DeviceSpan LineDeviceSpan(int from, int to, qreal ratio) {
  const auto edge = [ratio](int pixel) { return static_cast<int>(std::lround(pixel * ratio)); };
  return {edge(std::min(from, to)), edge(std::max(from, to) + 1)};
}

// A line is decoration: a screen reader passes over a separator, where it
// would stop at an unnamed pane.
QAccessibleInterface* LineAccessible(const QString&, QObject* object) {
  if (auto* line = dynamic_cast<LineControl*>(object))
    return new QAccessibleWidget(line, QAccessible::Separator);
  return nullptr;
}

}  // namespace

LineControl::LineControl(const QString& name, const QLine& twips, const QColor& colour,
                         QWidget* parent)
    : QWidget(parent), twips_(twips), colour_(colour) {
  setObjectName(name);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  static const bool accessible = (QAccessible::installFactory(LineAccessible), true);
  (void)accessible;
  const int x1 = std::min(twips.x1(), twips.x2()) / 15, x2 = std::max(twips.x1(), twips.x2()) / 15;
  const int y1 = std::min(twips.y1(), twips.y2()) / 15, y2 = std::max(twips.y1(), twips.y2()) / 15;
  setGeometry(x1 - 1, y1 - 1, x2 - x1 + 3, y2 - y1 + 3);
}

void LineControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int x1 = twips_.x1() / 15, y1 = twips_.y1() / 15;
  const int x2 = twips_.x2() / 15, y2 = twips_.y2() / 15;
  if (x1 != x2 && y1 != y2) {
    painter.setPen(colour_);
    painter.drawLine(x1 - x(), y1 - y(), x2 - x(), y2 - y());
    return;
  }
  // Whole device pixels, counted from the window's origin (which lies on one).
  const qreal ratio = devicePixelRatioF();
  const QPoint origin = mapTo(window(), QPoint(0, 0));
  const DeviceSpan across = LineDeviceSpan(x1, x2, ratio);
  const DeviceSpan down = LineDeviceSpan(y1, y2, ratio);
  const QRectF device(across.first, down.first, across.last - across.first, down.last - down.first);
  painter.fillRect(QRectF(device.topLeft() / ratio - origin, device.size() / ratio), colour_);
}

QIcon ProgramIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/brevio/brevio-32.png"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/brevio/brevio-16.png"), QSize(16, 16));
  return icon;
}

}  // namespace brevio::app

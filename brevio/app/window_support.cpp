#include "brevio/app/window_support.h"

#include <comrt_text.h>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace brevio::app {

QRect FromTwips(const QRect& twips) {
  return {twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15};
}

Qt::Alignment ColumnAlignment(int column) {
  return (column <= 1 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter;
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

std::string EncodePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

std::optional<std::uint64_t> FileLength(const QString& path) {
  if (path.isEmpty()) return std::nullopt;
  std::error_code ec;
  const std::filesystem::path p(EncodePath(path));
  if (!std::filesystem::is_regular_file(p, ec)) return std::nullopt;
  const auto len = std::filesystem::file_size(p, ec);
  if (ec) return std::nullopt;
  return len;
}

QString TrimSpaces(const QString& text) {
  const QStringView view(text);
  const std::u16string_view trimmed =
      comrt::ascii::TrimSpaces(std::u16string_view(view.utf16(), view.size()));
  return QStringView(trimmed.data(), static_cast<qsizetype>(trimmed.size())).toString();
}

QStringList SplitFileName(const QString& file_name) {
  if (file_name.isEmpty()) return {};
  return file_name.split(QChar(0));
}

QString TrimResultText(std::int32_t code, const QString& source) {
  switch (code) {
    case 0:
      return {};
    case 1:
      return QStringLiteral("There is no source file to trim: its path is blank.");
    case 2:
      return QStringLiteral("There is no target file to write: its path is blank.");
    case 3:
      return QStringLiteral("The source file was not found:\n") + source;
    default:
      return QStringLiteral("The file could not be trimmed (result %1).").arg(code);
  }
}

QString TarnexMissingText(std::int32_t hresult, const QString& library_folder) {
  const QString library = QDir::cleanPath(
      (library_folder.isEmpty() ? QStringLiteral("<folder of Brevio>") : library_folder) +
      QStringLiteral("/TARNEX.so"));
  return QStringLiteral(
             "The Tarnex library is missing or not registered, so Brevio cannot do this "
             "(error 0x%1).\n\nRegister it with:\nregsvr %2")
      .arg(static_cast<std::uint32_t>(hresult), 8, 16, QLatin1Char('0'))
      .arg(library);
}

}  // namespace brevio::app

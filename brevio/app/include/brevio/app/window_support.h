// Small helpers of the windows: twips geometry, the line control, the icon,
// file lengths and the plain-words texts of the messages.
#pragma once

#include <QColor>
#include <QIcon>
#include <QLine>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>

namespace brevio::app {

// Left, top, width, height in twips -> pixels at 15 twips per pixel.
QRect FromTwips(const QRect& twips);

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

// The path as the file system spells it (UTF-8 here).
std::string EncodePath(const QString& path);

// The length in bytes of a regular file; none when it is missing or not a file.
std::optional<std::uint64_t> FileLength(const QString& path);

// Removes spaces (code 32) at both ends, and nothing else: the platform's rule.
QString TrimSpaces(const QString& text);

// The dialog's file name split at every NUL; an empty name gives no pieces.
QStringList SplitFileName(const QString& file_name);

// Plain words for a trim result code; empty for 0 (done).
QString TrimResultText(std::int32_t code, const QString& source);

// What the window says when CTarnex cannot be created.
QString TarnexMissingText(std::int32_t hresult, const QString& library_folder);

}  // namespace brevio::app

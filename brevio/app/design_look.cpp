#include "brevio/app/design_look.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QPalette>
#include <QPointer>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

namespace brevio::app {
namespace {

constexpr const char* kDesignForm = "brevioDesignForm";

// A widget's style does not pass to its children, so the form's controls are
// given it one by one; child windows keep the desktop's look.
void TakeStyle(QWidget* widget, QStyle* style) {
  if (widget->style() != style) widget->setStyle(style);
  for (QObject* child : widget->children()) {
    auto* w = qobject_cast<QWidget*>(child);
    if (w != nullptr && !w->isWindow()) TakeStyle(w, style);
  }
}

// Hands the style to the form's controls when the form is polished (its
// controls exist by then and are polished after it), and to any control
// that joins it later.
class StyleKeeper : public QObject {
 public:
  StyleKeeper(QWidget* form, QStyle* style) : QObject(form), form_(form), style_(style) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == form_ && style_ != nullptr) {
      if (event->type() == QEvent::Polish) TakeStyle(form_, style_);
      if (event->type() == QEvent::ChildPolished) {
        auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child());
        if (child != nullptr && !child->isWindow()) TakeStyle(child, style_);
      }
    }
    return false;
  }

 private:
  QWidget* form_;
  QPointer<QStyle> style_;
};

// Fusion frames a check box a shade darker than the window face: under 2:1
// on a white list, where the design's boxes have a dark frame. It is drawn
// here from the palette's mid grey instead (4:1 on white).
class DesignStyleImpl : public QProxyStyle {
 public:
  explicit DesignStyleImpl(QStyle* fusion) : QProxyStyle(fusion) {}

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    const auto* box = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (element == PE_IndicatorCheckBox && box != nullptr) {
      QStyleOptionButton darker(*box);
      darker.palette.setColor(QPalette::Window, box->palette.color(QPalette::Mid));
      QProxyStyle::drawPrimitive(element, &darker, painter, widget);
      return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
  }
};

// A form that is a plain top-level widget is a window to a screen reader (a
// frame that it announces by its title), not an unnamed pane; dialogs and
// message boxes already say what they are.
QAccessibleInterface* FormAccessible(const QString& class_name, QObject* object) {
  auto* w = qobject_cast<QWidget*>(object);
  if (w != nullptr && w->isWindow() && class_name == QLatin1String("QWidget") &&
      w->property(kDesignForm).toBool()) {
    return new QAccessibleWidget(w, QAccessible::Window);
  }
  return nullptr;
}

}  // namespace

QFont DesignFont(int pixels) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixels);
  return font;
}

QPalette DesignPalette() {
  const QColor black(0, 0, 0), white(255, 255, 255), face(240, 240, 240);
  const QColor grey_text(109, 109, 109);  // still 5:1 on white and on the face
  QPalette p;
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    const bool disabled = group == QPalette::Disabled;
    const QColor text = disabled ? grey_text : black;
    p.setColor(group, QPalette::Window, face);
    p.setColor(group, QPalette::WindowText, text);
    p.setColor(group, QPalette::Base, white);
    p.setColor(group, QPalette::AlternateBase, QColor(246, 246, 246));
    p.setColor(group, QPalette::Text, text);
    p.setColor(group, QPalette::PlaceholderText, grey_text);
    p.setColor(group, QPalette::Button, face);
    p.setColor(group, QPalette::ButtonText, text);
    p.setColor(group, QPalette::BrightText, white);
    p.setColor(group, QPalette::Light, white);
    p.setColor(group, QPalette::Midlight, QColor(227, 227, 227));
    p.setColor(group, QPalette::Mid, QColor(160, 160, 160));
    p.setColor(group, QPalette::Dark, QColor(105, 105, 105));
    p.setColor(group, QPalette::Shadow, black);
    p.setColor(group, QPalette::Highlight, disabled ? QColor(204, 204, 204) : QColor(0, 84, 166));
    p.setColor(group, QPalette::HighlightedText, disabled ? grey_text : white);
    p.setColor(group, QPalette::Link, QColor(0, 0, 255));
    p.setColor(group, QPalette::LinkVisited, QColor(128, 0, 128));
    p.setColor(group, QPalette::ToolTipBase, QColor(255, 255, 225));
    p.setColor(group, QPalette::ToolTipText, black);
  }
  return p;
}

QStyle* DesignStyle() {
  static QPointer<QStyle> style;
  if (style.isNull()) {
    QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"));
    if (fusion == nullptr) return nullptr;
    style = new DesignStyleImpl(fusion);  // owns fusion
    style->setParent(qApp);               // lives as long as the program
  }
  return style;
}

void ApplyDesignLook(QWidget* form) {
  static const bool accessible = (QAccessible::installFactory(FormAccessible), true);
  (void)accessible;
  form->setProperty(kDesignForm, true);
  form->setPalette(DesignPalette());
  form->setFont(DesignFont());
  QStyle* style = DesignStyle();
  if (style == nullptr) return;
  TakeStyle(form, style);
  form->installEventFilter(new StyleKeeper(form, style));
}

}  // namespace brevio::app

#include "brevio/app/frm_about.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFont>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <functional>

#include "brevio/app/design_look.h"
#include "brevio/app/window_support.h"
#include "brevio/forms/layout.h"

namespace brevio::app {

class ClickableLabel : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void()> clicked;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        clicked) {
      clicked();
    }
  }
};

namespace {

// Verdana where it is installed, DejaVu Sans (same build) where it is not; in
// pixels, as the rest of the box, so the desktop's dpi cannot grow it.
QFont AboutFont(int pixels, bool bold, bool underline) {
  QFont font = DesignFont(pixels);
  font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
  font.setBold(bold);
  font.setUnderline(underline);
  return font;
}

// Label5 to a screen reader: a link it can follow, not just text.
class LinkAccessible : public QAccessibleWidget {
 public:
  explicit LinkAccessible(ClickableLabel* label)
      : QAccessibleWidget(label, QAccessible::Link), label_(label) {}

  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& action) override {
    if (action == pressAction() && label_->clicked) label_->clicked();
  }

 private:
  ClickableLabel* label_;
};

// Where the design put a control of the box, in pixels.
QRect Place(const char* name) {
  for (const forms::ControlPlace& place : forms::kAboutControls) {
    if (QLatin1String(place.name) == QLatin1String(name)) return FromTwips(place.twips);
  }
  return {};
}

QAccessibleInterface* LinkFactory(const QString&, QObject* object) {
  if (auto* label = dynamic_cast<ClickableLabel*>(object)) return new LinkAccessible(label);
  return nullptr;
}

}  // namespace

frmAbout::frmAbout(AboutHost& host)
    : QDialog(host.AboutParent(), Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                      Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      form_(std::make_unique<forms::AboutForm>(*this, [h = &host] { return h->tarnex(); })) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QString::fromUtf8(forms::kAboutTitle));
  setWindowIcon(ProgramIcon());
  ApplyDesignLook(this);
  setFixedSize(forms::kAboutWidthTwips / forms::kTwipsPerPixelAt96,
               forms::kAboutHeightTwips / forms::kTwipsPerPixelAt96);
  static const bool link_factory = (QAccessible::installFactory(LinkFactory), true);
  (void)link_factory;

  auto label = [this](const char* name) {
    auto* l = new QLabel(this);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(Place(name));
    return l;
  };

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry(Place("OKButton"));
  OKButton->setDefault(true);  // Enter closes; Esc closes as every dialog's cancel

  Label1 = label("Label1");
  Label1->setFont(AboutFont(13, true, false));  // 9.75 pt at 96 dpi
  Label2 = label("Label2");
  Label2->setWordWrap(true);
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  for (const forms::ControlPlace& place : forms::kAboutControls) {
    if (place.kind != forms::ControlKind::kLabel || *place.caption == '\0') continue;
    QLabel* fixed = label(place.name);  // "Website:", "Support:"
    fixed->setText(QString::fromUtf8(place.caption));
    fixed->adjustSize();
  }

  Label5 = new ClickableLabel(this);
  Label5->setObjectName(QStringLiteral("Label5"));
  Label5->setGeometry(Place("Label5"));
  Label5->setFont(AboutFont(11, false, true));  // 8.25 pt at 96 dpi
  QPalette link = Label5->palette();
  link.setColor(QPalette::WindowText, QColor(0, 0, 255));
  Label5->setPalette(link);
  Label5->clicked = [this] { form_->Label5_Click(); };

  Label6 = label("Label6");
  Label6->setFont(AboutFont(11, false, false));

  QLabel* Image1 = label("Image1");
  Image1->setPixmap(ProgramIcon().pixmap(32, 32));
  Image1->adjustSize();
  Image1->setAccessibleName(QStringLiteral("Brevio icon"));

  connect(OKButton, &QPushButton::clicked, this, [this] { form_->OKButton_Click(); });
  Load();
}

frmAbout::~frmAbout() = default;

QLabel* frmAbout::Find(forms::AboutControl control) const {
  switch (control) {
    case forms::AboutControl::Label1:
      return Label1;
    case forms::AboutControl::Label2:
      return Label2;
    case forms::AboutControl::Label5:
      return Label5;
    case forms::AboutControl::Label6:
      return Label6;
  }
  return nullptr;
}

void frmAbout::SetText(forms::AboutControl control, const std::string& text) {
  Find(control)->setText(QString::fromStdString(text));
}

std::string frmAbout::Text(forms::AboutControl control) const {
  return Find(control)->text().toStdString();
}

void frmAbout::Load() {
  form_->Form_Load();
  // Read out on their own, the two values say what they are.
  Label5->setAccessibleName(QStringLiteral("Web site ") + Label5->text());
  Label6->setAccessibleName(QStringLiteral("Support address ") + Label6->text());
  for (QLabel* l : {Label1, static_cast<QLabel*>(Label5), Label6}) l->adjustSize();
  OKButton->setFocus(Qt::OtherFocusReason);
}

}  // namespace brevio::app

#include "brevio/app/frm_about.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFont>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <functional>
#include <tuple>

#include "brevio/app/brevio_config.h"
#include "brevio/app/design_look.h"
#include "brevio/app/window_support.h"
#include "tarnex_client.h"

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

QAccessibleInterface* LinkFactory(const QString&, QObject* object) {
  if (auto* label = dynamic_cast<ClickableLabel*>(object)) return new LinkAccessible(label);
  return nullptr;
}

}  // namespace

frmAbout::frmAbout(AboutHost& host)
    : QDialog(host.AboutParent(), Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                      Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      host_(host) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("About Brevio"));
  setWindowIcon(ProgramIcon());
  ApplyDesignLook(this);
  setFixedSize(6030 / 15, 3195 / 15);
  static const bool link_factory = (QAccessible::installFactory(LinkFactory), true);
  (void)link_factory;

  auto label = [this](const char* name, QRect twips) {
    auto* l = new QLabel(this);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(FromTwips(twips));
    return l;
  };

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry(FromTwips({4560, 240, 1215, 375}));
  OKButton->setDefault(true);  // Enter closes; Esc closes as every dialog's cancel

  Label1 = label("Label1", {960, 240, 1605, 240});
  Label1->setFont(AboutFont(13, true, false));  // 9.75 pt at 96 dpi
  Label2 = label("Label2", {960, 720, 3375, 975});
  Label2->setWordWrap(true);
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  for (const auto& [name, caption, twips] :
       {std::tuple{"Label3", "Website:", QRect(960, 1920, 630, 195)},
        std::tuple{"Label4", "Support:", QRect(960, 2280, 600, 195)}}) {
    QLabel* fixed = label(name, twips);
    fixed->setText(QString::fromLatin1(caption));
    fixed->adjustSize();
  }

  Label5 = new ClickableLabel(this);
  Label5->setObjectName(QStringLiteral("Label5"));
  Label5->setGeometry(FromTwips({1800, 1920, 2610, 195}));
  Label5->setFont(AboutFont(11, false, true));  // 8.25 pt at 96 dpi
  QPalette link = Label5->palette();
  link.setColor(QPalette::WindowText, QColor(0, 0, 255));
  Label5->setPalette(link);
  Label5->clicked = [this] { Label5_Click(); };

  Label6 = label("Label6", {1800, 2280, 2385, 195});
  Label6->setFont(AboutFont(11, false, false));

  QLabel* Image1 = label("Image1", {240, 240, 480, 480});
  Image1->setPixmap(ProgramIcon().pixmap(32, 32));
  Image1->adjustSize();
  Image1->setAccessibleName(QStringLiteral("Brevio icon"));

  connect(OKButton, &QPushButton::clicked, this, &frmAbout::OKButton_Click);
  Load();
}

void frmAbout::Load() {
  Label1->setText(QString::fromUtf8(kProductTitle));
  Label2->setText(QStringLiteral(
      "This free software may trim your web pages like HTML, ASP, PHP, etc. Remove unwanted "
      "characters from your web pages, make your web page files clean and save bandwidth."));
  Label5->setText(QString::fromUtf8(BREVIO_WEB_SITE));
  Label6->setText(QString::fromUtf8(BREVIO_SUPPORT_ADDRESS));
  // Read out on their own, the two values say what they are.
  Label5->setAccessibleName(QStringLiteral("Web site ") + Label5->text());
  Label6->setAccessibleName(QStringLiteral("Support address ") + Label6->text());
  for (QLabel* l : {Label1, static_cast<QLabel*>(Label5), Label6}) l->adjustSize();
  OKButton->setFocus(Qt::OtherFocusReason);
}

void frmAbout::Label5_Click() {
  _CTarnex* t = host_.tarnex();
  if (t == nullptr) return;
  OpenWebNew(t, Label5->text());
}

void frmAbout::OKButton_Click() { accept(); }

}  // namespace brevio::app

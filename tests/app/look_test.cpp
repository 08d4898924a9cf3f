// Both windows opened under a dark desktop scheme and a large desktop font:
// they keep their light colours and small font, every caption fits its
// control, the etched separator stays two lines at any scale, and a screen
// reader finds every control by its name.
#include <QAccessible>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOption>
#include <cmath>
#include <vector>

#include "app_fixture.h"
#include "brevio/app/brevio_config.h"
#include "brevio/app/frm_about.h"
#include "brevio/app/window_support.h"

namespace brevio::app {
namespace {

using namespace testing_support;

QPalette DarkPalette() {
  QPalette p(QColor(53, 53, 53), QColor(53, 53, 53));
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(role, QColor(238, 238, 238));
  p.setColor(QPalette::Base, QColor(30, 30, 30));
  p.setColor(QPalette::Link, QColor(42, 130, 218));
  return p;
}

// WCAG 2 contrast ratio: 1 (same) to 21 (black on white).
double Contrast(const QColor& a, const QColor& b) {
  auto luminance = [](const QColor& c) {
    auto lin = [](double v) {
      return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QString Shown(const QString& caption) { return QString(caption).remove(QLatin1Char('&')); }

class Look : public AppTest {
 protected:
  void SetUp() override {
    saved_palette = QApplication::palette();
    saved_font = QApplication::font();
    QApplication::setPalette(DarkPalette());
    QFont large = saved_font;
    large.setPointSize(13);
    QApplication::setFont(large);
    AppTest::SetUp();
    about = new frmAbout(*window);
    about->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(about));
  }

  void TearDown() override {
    delete about;
    AppTest::TearDown();
    QApplication::setPalette(saved_palette);
    QApplication::setFont(saved_font);
  }

  // The controls of both windows, each with the window it lies on.
  std::vector<std::pair<QWidget*, QWidget*>> Controls() const {
    std::vector<std::pair<QWidget*, QWidget*>> controls;
    for (QWidget* form : {static_cast<QWidget*>(window.get()), static_cast<QWidget*>(about)}) {
      for (QWidget* w : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!w->isWindow() && dynamic_cast<LineControl*>(w) == nullptr)
          controls.emplace_back(w, form);
      }
    }
    return controls;
  }

  QPalette saved_palette;
  QFont saved_font;
  frmAbout* about = nullptr;
};

TEST_F(Look, EveryCaptionFitsItsControl) {
  for (const auto& [w, form] : Controls()) {
    const std::string name = w->objectName().toStdString();
    const QFontMetrics fm = w->fontMetrics();
    if (auto* b = qobject_cast<QPushButton*>(w)) {
      QStyleOptionButton opt;
      opt.initFrom(b);
      const QRect room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b);
      const int margin = b->style()->pixelMetric(QStyle::PM_ButtonMargin, &opt, b);
      EXPECT_LE(fm.horizontalAdvance(Shown(b->text())), room.width() - margin) << name;
      EXPECT_LE(fm.height(), room.height()) << name;
    } else if (auto* c = qobject_cast<QCheckBox*>(w)) {
      QStyleOptionButton opt;
      opt.initFrom(c);
      const QRect box = c->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, c);
      const QRect room = c->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, c);
      EXPECT_TRUE(c->rect().contains(box)) << name;
      EXPECT_LE(fm.horizontalAdvance(Shown(c->text())), room.width()) << name;
      EXPECT_LE(fm.height(), room.height()) << name;
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
      QStyleOptionFrame opt;
      opt.initFrom(e);
      opt.lineWidth = e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, e);
      EXPECT_LE(fm.height(),
                e->style()->subElementRect(QStyle::SE_LineEditContents, &opt, e).height())
          << name;
    } else if (auto* l = qobject_cast<QLabel*>(w); l && !l->text().isEmpty()) {
      const QRect room = l->contentsRect();
      if (l->wordWrap()) {
        EXPECT_LE(l->heightForWidth(room.width()), room.height()) << name;
      } else {
        EXPECT_LE(fm.horizontalAdvance(l->text()), room.width()) << name;
        EXPECT_LE(fm.height(), room.height()) << name;
      }
    }
    // Grown to its caption, a control still keeps off its neighbours and inside its window.
    for (const auto& [other, other_form] : Controls()) {
      if (other != w && other_form == form) {
        EXPECT_FALSE(w->geometry().intersects(other->geometry()))
            << name << " and " << other->objectName().toStdString();
      }
    }
    if (w->y() < form->height()) {
      EXPECT_LE(w->geometry().right(), form->width() - 1) << name;
    }
  }
  QHeaderView* header = List()->header();
  for (int c = 0; c < header->count(); ++c)
    EXPECT_LE(header->sectionSizeHint(c), header->sectionSize(c)) << "column " << c;
}

TEST_F(Look, TextAndGroundStayReadable) {
  // A check box too: an empty box whose frame melts into the list cannot be found.
  FrmMainTestPeer::AddFileToList(*window, Q(files.write("a.htm", "x")));
  QTreeWidgetItem* row = List()->topLevelItem(0);
  row->setText(0, QString());  // only the check box left in the cell
  const struct {
    const char* kind;
    QPalette::ColorRole text, ground;
  } pairs[] = {{"QLineEdit", QPalette::Text, QPalette::Base},
               {"QPushButton", QPalette::ButtonText, QPalette::Button},
               {"QLabel", QPalette::WindowText, QPalette::Window},
               {"QTreeWidget", QPalette::Text, QPalette::Base},
               {"QHeaderView", QPalette::ButtonText, QPalette::Button}};
  auto check = [&](QWidget* w) {
    for (const auto& p : pairs) {
      if (!w->inherits(p.kind)) continue;
      const QPalette& pal = w->palette();
      EXPECT_GE(Contrast(pal.color(p.text), pal.color(p.ground)), 4.5)
          << w->objectName().toStdString() << " " << p.kind;
    }
  };
  for (const auto& [w, form] : Controls()) check(w);
  check(List()->header());
  EXPECT_GE(Contrast(Find<QLabel>("Label5")->palette().color(QPalette::WindowText),
                     about->palette().color(QPalette::Window)),
            4.5);
  EXPECT_EQ(Find<QLineEdit>("txtOutput")->palette().color(QPalette::Base), QColor(171, 219, 254));

  const QImage cell = List()->viewport()->grab(List()->visualItemRect(row)).toImage();
  const QColor base = List()->palette().color(QPalette::Base);
  double strongest = 1;
  for (int y = 0; y < cell.height(); ++y)
    for (int x = 0; x < List()->columnWidth(0) * cell.devicePixelRatio(); ++x)
      strongest = std::max(strongest, Contrast(cell.pixelColor(x, y), base));
  EXPECT_GE(strongest, 3.0) << "the check box against the list";
}

TEST_F(Look, SeparatorIsTwoAdjacentLinesAtEveryScale) {
  const QRgb grey = qRgb(128, 128, 128), white = qRgb(255, 255, 255);
  for (const qreal scale : {1.0, 1.5, 2.0}) {
    QImage shot(window->size() * scale, QImage::Format_RGB32);
    shot.setDevicePixelRatio(scale);
    window->render(&shot);
    // Down one device column beside the list: gradient, grey, white, gradient.
    std::vector<std::pair<QRgb, int>> bands;
    const int x = static_cast<int>(5 * scale);
    for (int y = static_cast<int>(380 * scale); y < static_cast<int>(390 * scale); ++y) {
      const QRgb p = shot.pixel(x, y);
      const QRgb kind = (p == grey || p == white) ? p : 0;
      if (bands.empty() || bands.back().first != kind) bands.emplace_back(kind, 0);
      ++bands.back().second;
    }
    ASSERT_EQ(bands.size(), 4u) << "scale " << scale;
    EXPECT_EQ(bands[1].first, grey) << scale;
    EXPECT_EQ(bands[2].first, white) << scale;
    for (int b : {1, 2}) EXPECT_GE(bands[b].second, static_cast<int>(scale)) << scale;
  }
}

TEST_F(Look, ScreenReaderFindsEveryControlByName) {
  const QString description = Find<QLabel>("Label2")->text();
  const struct {
    const char* object;
    QAccessible::Role role;
    QString name;
  } rows[] = {
      {"frmMain", QAccessible::Window, kProductTitle},
      {"Line1", QAccessible::Separator, ""},
      {"txtOpen", QAccessible::EditableText, "Source file"},
      {"txtSave", QAccessible::EditableText, "Target file"},
      {"txtOutput", QAccessible::EditableText, "Output folder"},
      {"ListView1", QAccessible::Tree, "Files to trim"},
      {"cmdOpen", QAccessible::Button, "Open..."},
      {"cmdSave", QAccessible::Button, "Save..."},
      {"cmdTrim", QAccessible::Button, "Trim single file"},
      {"cmdOutput", QAccessible::Button, "Set Output Folder..."},
      {"chkKeep", QAccessible::CheckBox, "Keep preformatted text, scripts and attribute values"},
      {"cmdAdd", QAccessible::Button, "Add..."},
      {"cmdRemove", QAccessible::Button, "Remove"},
      {"cmdHelp", QAccessible::Button, "Help"},
      {"cmdAbout", QAccessible::Button, "About..."},
      {"cmdTrim2", QAccessible::Button, "Trim"},
      {"cmdExit", QAccessible::Button, "Exit"},
      {"lblLenOpen", QAccessible::StaticText, "Source file length"},
      {"frmAbout", QAccessible::Dialog, "About Brevio"},
      {"OKButton", QAccessible::Button, "OK"},
      {"Label1", QAccessible::StaticText, kProductTitle},
      {"Label2", QAccessible::StaticText, description},
      {"Label3", QAccessible::StaticText, "Website:"},
      {"Label5", QAccessible::Link, QStringLiteral("Web site " BREVIO_WEB_SITE)},
      {"Label6", QAccessible::StaticText,
       QStringLiteral("Support address " BREVIO_SUPPORT_ADDRESS)},
      {"Image1", QAccessible::Graphic, "Brevio icon"},
  };
  for (const auto& r : rows) {
    const std::string object = r.object;
    QWidget* w = object == "frmAbout"  ? about
                 : object == "frmMain" ? window.get()
                                       : Find<QWidget>(r.object);
    ASSERT_NE(w, nullptr);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    ASSERT_NE(a, nullptr) << r.object;
    EXPECT_EQ(a->role(), r.role) << r.object;
    EXPECT_EQ(a->text(QAccessible::Name), r.name) << r.object;
  }
  // The link is followed the way a screen reader presses it.
  QAccessibleInterface* link = QAccessible::queryAccessibleInterface(Find<QLabel>("Label5"));
  ASSERT_NE(link->actionInterface(), nullptr);
  link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  const auto calls = BrowserCalls(1);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NE(calls[0].find(BREVIO_WEB_SITE), std::string::npos) << calls[0];
}

TEST_F(Look, MessageBoxIsReadableToEyesAndScreenReaders) {
  QString description, label_name;
  double contrast = 0;
  int pixels = 0;
  WhenModal([&](QWidget* m) {
    QAccessibleInterface* box = QAccessible::queryAccessibleInterface(m);
    description = box->text(QAccessible::Description);
    for (int i = 0; i < box->childCount(); ++i) {
      if (box->child(i)->role() == QAccessible::StaticText && label_name.isEmpty())
        label_name = box->child(i)->text(QAccessible::Name);
    }
    contrast =
        Contrast(m->palette().color(QPalette::WindowText), m->palette().color(QPalette::Window));
    pixels = m->font().pixelSize();
    qobject_cast<QMessageBox*>(m)->button(QMessageBox::Ok)->click();
  });
  Click("cmdTrim2");
  const QString text = QStringLiteral("Please select an output folder to save the trimmed files.");
  EXPECT_EQ(description, text);
  EXPECT_EQ(label_name, text);
  EXPECT_GE(contrast, 4.5);
  EXPECT_EQ(pixels, 11);
}

}  // namespace
}  // namespace brevio::app

// The window as it opens: layout, tab order, access keys, background, icon,
// and the library-missing path.
#include <QGuiApplication>
#include <QScreen>

#include "app_fixture.h"
#include "brevio/app/gradient.h"
#include "brevio/app/window_support.h"
#include "brevio/version.h"

namespace brevio::app {
namespace {

using namespace testing_support;

class Layout : public AppTest {};

TEST_F(Layout, WindowPropertiesAndEveryControl) {
  EXPECT_EQ(window->windowTitle(), QString::fromUtf8(kProductTitle));
  EXPECT_EQ(window->size(), QSize(593, 449));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(window->windowIcon().isNull());
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE((window->frameGeometry().center() - screen.center()).manhattanLength(), 8);

  // Every control of the design where the design puts it (pixels at 96 dpi)
  // with its caption, inside the client area except the single-file group,
  // which lies wholly below the visible edge.
  const struct {
    const char* name;
    QPoint at;
    const char* caption;  // null: the list, which has none
  } design[] = {
      {"txtOpen", {64, 536}, "C:\\Important\\share2\\index.html"},
      {"cmdOpen", {384, 536}, "Open..."},
      {"txtSave", {64, 568}, ""},
      {"cmdSave", {384, 568}, "Save..."},
      {"lblLenOpen", {456, 536}, "File Len:"},
      {"lblLenSave", {456, 568}, "File Len:"},
      {"cmdTrim", {272, 608}, "Trim"},
      {"ListView1", {16, 16}, nullptr},
      {"txtOutput", {16, 344}, ""},
      {"cmdOutput", {448, 344}, "Set Output &Folder..."},
      {"chkKeep", {16, 364}, "Keep &preformatted text, scripts and attribute values"},
      {"cmdAdd", {16, 400}, "&Add..."},
      {"cmdRemove", {112, 400}, "&Remove"},
      {"cmdHelp", {208, 400}, "&Help"},
      {"cmdAbout", {304, 400}, "A&bout..."},
      {"cmdTrim2", {400, 400}, "&Trim"},
      {"cmdExit", {496, 400}, "&Exit"},
  };
  const QRect client = window->rect();
  QString access_keys;  // each at most once, or Alt would only reach the first
  for (const auto& d : design) {
    QWidget* w = Find<QWidget>(d.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->pos(), d.at) << d.name;
    if (d.at.y() < client.height()) {
      EXPECT_TRUE(client.contains(w->geometry())) << d.name;
    } else {
      EXPECT_GE(w->y(), client.height()) << d.name;
    }
    QString text;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) text = e->text();
    if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
    if (d.caption != nullptr) {
      EXPECT_EQ(text, QString::fromUtf8(d.caption)) << d.name;
    }
    if (const qsizetype amp = text.indexOf(QLatin1Char('&')); amp >= 0) {
      const QChar key = text.at(amp + 1).toLower();
      EXPECT_FALSE(access_keys.contains(key)) << d.name << " repeats Alt+" << key.toLatin1();
      access_keys += key;
    }
  }
  // The list above the output row above one row of buttons, read left to right.
  const char* row[] = {"cmdAdd", "cmdRemove", "cmdHelp", "cmdAbout", "cmdTrim2", "cmdExit"};
  EXPECT_LT(List()->geometry().bottom(), Find<QWidget>("txtOutput")->y());
  EXPECT_LT(Find<QWidget>("txtOutput")->geometry().bottom(), Find<QWidget>(row[0])->y());
  // The check box in the band between the output row and the separator.
  const QRect keep = Find<QWidget>("chkKeep")->geometry();
  EXPECT_LT(Find<QWidget>("txtOutput")->geometry().bottom(), keep.top());
  EXPECT_LT(keep.bottom(), 384);  // the separator's first line
  for (std::size_t i = 1; i < std::size(row); ++i) {
    const QRect left = Find<QWidget>(row[i - 1])->geometry(),
                right = Find<QWidget>(row[i])->geometry();
    EXPECT_EQ(right.y(), left.y()) << row[i];
    EXPECT_LT(left.right(), right.x()) << row[i];
  }
  EXPECT_EQ(Find<QLineEdit>("txtOutput")->palette().color(QPalette::Base), QColor(171, 219, 254));

  QTreeWidget* list = List();
  const struct {
    const char* caption;
    Qt::Alignment alignment;
  } columns[] = {{"#", Qt::AlignLeft},
                 {"Source Files", Qt::AlignLeft},
                 {"Source Sizes", Qt::AlignRight},
                 {"Target Sizes", Qt::AlignRight},
                 {"Compression", Qt::AlignRight}};
  ASSERT_EQ(list->columnCount(), static_cast<int>(std::size(columns)));
  for (int c = 0; c < list->columnCount(); ++c) {
    EXPECT_EQ(list->headerItem()->text(c), QString::fromUtf8(columns[c].caption));
    EXPECT_EQ(Qt::Alignment(list->headerItem()->textAlignment(c)) & Qt::AlignHorizontal_Mask,
              columns[c].alignment);
  }
  EXPECT_EQ(list->topLevelItemCount(), 0);
  EXPECT_FALSE(list->rootIsDecorated());
}

TEST_F(Layout, FocusStartsInTheHiddenGroupAndTabWalksTheOrder) {
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  const char* order[] = {"txtOpen",   "cmdOpen",   "txtSave", "cmdSave", "cmdTrim",   "ListView1",
                         "txtOutput", "cmdOutput", "chkKeep", "cmdAdd",  "cmdRemove", "cmdHelp",
                         "cmdAbout",  "cmdTrim2",  "cmdExit", "txtOpen"};
  for (const char* name : order) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_EQ(focus->objectName(), QString::fromLatin1(name));
    QTest::keyClick(focus, Qt::Key_Tab);
  }
}

TEST_F(Layout, BackgroundIsTheGradientOverTheClientArea) {
  const QImage& bg = window->background();
  ASSERT_EQ(bg.size(), QSize(593, 449));
  // Top to bottom over the client area, from the design's RGB(235, 246, 255)
  // to its RGB(153, 211, 254): each row one colour, each channel never
  // rising on the way down, and the corners as designed (the last band
  // within one step of the end colour).
  const auto near = [](QRgb got, QRgb want, int slack) {
    return std::abs(qRed(got) - qRed(want)) <= slack &&
           std::abs(qGreen(got) - qGreen(want)) <= slack &&
           std::abs(qBlue(got) - qBlue(want)) <= slack;
  };
  EXPECT_EQ(bg.pixel(0, 0), qRgb(235, 246, 255));
  EXPECT_EQ(bg.pixel(592, 0), qRgb(235, 246, 255));
  EXPECT_PRED3(near, bg.pixel(0, 448), qRgb(153, 211, 254), 2) << std::hex << bg.pixel(0, 448);
  EXPECT_EQ(bg.pixel(592, 448), bg.pixel(0, 448));
  for (int y = 1; y < bg.height(); ++y) {
    const QRgb above = bg.pixel(296, y - 1), here = bg.pixel(296, y);
    ASSERT_EQ(bg.pixel(0, y), here) << y;
    ASSERT_LE(qRed(here), qRed(above)) << y;
    ASSERT_LE(qGreen(here), qGreen(above)) << y;
    ASSERT_LE(qBlue(here), qBlue(above)) << y;
  }
  // On screen: the gradient where no control lies, and the etched separator.
  const QImage shown = window->grab().toImage();
  const qreal ratio = shown.devicePixelRatio();
  auto at = [&](int x, int y) { return shown.pixel(int(x * ratio), int(y * ratio)); };
  EXPECT_EQ(at(5, 440), bg.pixel(5, 440));
  EXPECT_EQ(at(5, 5), bg.pixel(5, 5));
  for (int x : {0, 296, 592}) {
    EXPECT_EQ(at(x, 384), qRgb(128, 128, 128)) << x;
    EXPECT_EQ(at(x, 385), qRgb(255, 255, 255)) << x;
  }
  if (const char* dir = std::getenv("BREVIO_SNAPSHOT_DIR"))
    shown.save(QString::fromLocal8Bit(dir) + "/frmMain.png");
}

// Drawn at 96, 120 and 144 dots per inch, the check box is as wide as with
// room to spare and clear of its top and bottom edges: nothing of its box or
// caption is cut off.
TEST_F(Layout, KeepBoxIsWholeAtEveryScale) {
  QCheckBox* keep = Find<QCheckBox>("chkKeep");
  const QSize designed = keep->size();
  // What the box draws, in device pixels, and the rows it has.
  const auto ink = [keep](qreal scale) {
    const QRgb ground = qRgb(255, 0, 255);
    QImage shot(keep->size() * scale, QImage::Format_RGB32);
    shot.setDevicePixelRatio(scale);
    shot.fill(ground);
    keep->render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);  // no background
    QRect drawn;
    for (int y = 0; y < shot.height(); ++y) {
      for (int x = 0; x < shot.width(); ++x) {
        if (shot.pixel(x, y) != ground) drawn |= QRect(x, y, 1, 1);
      }
    }
    return std::pair(drawn, shot.height());
  };
  for (const qreal scale : {1.0, 1.25, 1.5}) {
    keep->resize(designed * 2);
    const QRect whole = ink(scale).first;
    keep->resize(designed);
    const auto [shown, rows] = ink(scale);
    ASSERT_FALSE(whole.isEmpty()) << scale;
    EXPECT_EQ(shown.width(), whole.width()) << scale;
    EXPECT_GT(shown.top(), 0) << scale;
    EXPECT_LT(shown.bottom(), rows - 1) << scale;
  }
}

TEST_F(Layout, AccessKeysPressTheirButtons) {
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  // Through the window system, where access keys are matched; the button then
  // clicks itself a moment later, so each check waits for its effect.
  auto press = [&](Qt::Key key) {
    window->activateWindow();  // a closed box hands the activation back only later
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window->windowHandle(), key, Qt::AltModifier);
  };
  // Alt+T: Trim with nothing set says so.
  Box box;
  WhenModal([&](QWidget* m) { ReadAndClose(m, box); });
  press(Qt::Key_T);
  EXPECT_TRUE(QTest::qWaitFor([&] { return box.shown; }));
  EXPECT_EQ(box.text, QStringLiteral("Please select an output folder to save the trimmed files."));
  // Alt+A, Alt+F, Alt+B open their dialogs.
  const struct {
    Qt::Key key;
    const char* dialog;
  } dialogs[] = {{Qt::Key_A, "dlgFile"}, {Qt::Key_F, "dlgChooseFolder"}, {Qt::Key_B, "frmAbout"}};
  for (const auto& d : dialogs) {
    QString seen;
    WhenModal([&](QWidget* m) {
      seen = m->objectName();
      m->close();
    });
    press(d.key);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !seen.isEmpty(); }));
    EXPECT_EQ(seen, QString::fromLatin1(d.dialog));
    QTest::qWait(20);  // let the handler return from its dialog
  }
  // Alt+P ticks the check box and unticks it again.
  auto* keep = Find<QCheckBox>("chkKeep");
  for (const bool ticked : {true, false}) {
    press(Qt::Key_P);
    EXPECT_TRUE(QTest::qWaitFor([&] { return keep->isChecked() == ticked; })) << ticked;
  }
  // Alt+H opens the help page, Alt+R removes ticked rows, Alt+E ends.
  press(Qt::Key_H);
  EXPECT_EQ(BrowserCalls(1).size(), 1u);
  FrmMainTestPeer::AddFileToList(*window, Q(files.write("a.htm", "x")));
  List()->topLevelItem(0)->setCheckState(0, Qt::Checked);
  press(Qt::Key_R);
  EXPECT_TRUE(QTest::qWaitFor([&] { return List()->topLevelItemCount() == 0; }));
  press(Qt::Key_E);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }));
}

TEST_F(Layout, ExitAndTheCloseBoxBothEnd) {
  for (bool by_button : {true, false}) {
    if (!window->isVisible()) window->ShowCentred();
    if (by_button) {
      Click("cmdExit");
    } else {
      window->close();
    }
    EXPECT_FALSE(window->isVisible());
  }
}

// ---------------------------------------------------------------- library missing

class LibraryMissing : public AppTest {
 protected:
  bool RegisterLibrary() const override { return false; }
};

// The box names the library where this build keeps it, and how to register it.
TEST_F(LibraryMissing, TheBoxSaysWhereTheLibraryLiesAndHowToRegisterIt) {
  const Box box = ClickForBox("cmdHelp");
  EXPECT_EQ(box.icon, QMessageBox::Warning);
  EXPECT_EQ(box.title, QStringLiteral("Brevio"));
  EXPECT_TRUE(box.text.contains(QStringLiteral("not registered"))) << box.text.toStdString();
  EXPECT_TRUE(box.text.contains(QStringLiteral("regsvr ") + BinFolder() + "/TARNEX.so"))
      << box.text.toStdString();
  EXPECT_TRUE(BrowserCalls(0).empty());
}

TEST(TarnexCreator, RegistersTheLibraryBesideAnInstalledProgram) {
  brevio::testing::TempDir config;
  setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
  comrt::ComPtr<_CTarnex> missing;
  EXPECT_EQ(TarnexCreator(Q(config.path())).Create(missing), REGDB_E_CLASSNOTREG);
  comrt::ComPtr<_CTarnex> created;
  ASSERT_EQ(TarnexCreator(BinFolder()).Create(created), S_OK);
  EXPECT_TRUE(created);
  EXPECT_TRUE(std::filesystem::exists(config / "comrt" / "registry.reg"));
  comrt::ComPtr<_CTarnex> again;  // registered now: no folder needed
  EXPECT_EQ(TarnexCreator(QString()).Create(again), S_OK);
}

}  // namespace
}  // namespace brevio::app

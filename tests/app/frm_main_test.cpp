// The Qt face of frmMain driven through its real controls, dialogs and boxes;
// the behaviour behind them has its own suite (tests/forms).
#include <QGuiApplication>
#include <QLocale>
#include <QMimeData>
#include <QThread>
#include <QUrl>

#include "app_fixture.h"
#include "brevio/app/brevio_config.h"

namespace brevio::app {
namespace {

using namespace testing_support;

// 1000 bytes in, 640 out: ten lines of 100 bytes whose trim keeps 62 + CR LF.
std::string Page1000() {
  std::string page;
  for (int i = 0; i < 10; ++i) page += std::string(62, 'x') + std::string(36, ' ') + "\r\n";
  return page;
}

class Window : public AppTest {
 protected:
  QString Text(const char* name) const {
    if (auto* e = window->findChild<QLineEdit*>(QString::fromLatin1(name))) return e->text();
    return Find<QLabel>(name)->text();
  }
  QStringList Column(int column) const {
    QStringList cells;
    for (int i = 0; i < List()->topLevelItemCount(); ++i)
      cells << List()->topLevelItem(i)->text(column);
    return cells;
  }
  QStringList Ticked() const {
    QStringList numbers;
    for (int i = 0; i < List()->topLevelItemCount(); ++i) {
      if (List()->topLevelItem(i)->checkState(0) == Qt::Checked)
        numbers << List()->topLevelItem(i)->text(0);
    }
    return numbers;
  }
  // Sends a drag of these local paths over the list and drops it; true when accepted.
  bool Drop(const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    data.setUrls(urls);
    QWidget* target = List()->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.ignore();  // as the window system hands it over
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    drop.ignore();
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
  }
};

TEST_F(Window, ABatchThroughTheRealButtonsDialogsAndBoxes) {
  for (const char* n : {"a.htm", "b.php"}) files.write(n, Page1000());
  AddThroughDialog(files.path(), {"a.htm", "b.php"});
  ASSERT_EQ(List()->topLevelItemCount(), 2);
  EXPECT_EQ(List()->topLevelItem(0)->toolTip(1), Q(files.path()) + "/" + Column(1)[0]);
  EXPECT_EQ(Column(2), (QStringList{"1000", "1000"}));
  const auto out = files.path() / "out";
  std::filesystem::create_directory(out);
  WhenModal([&](QWidget* m) {
    EXPECT_EQ(m->windowTitle(), QStringLiteral("Please choose a folder to save the output files"));
    TypeAndAccept(m, Q(out));
  });
  Click("cmdOutput");
  EXPECT_EQ(Text("txtOutput"), Q(out));

  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  Box box;
  WhenModal([&](QWidget* m) { ReadAndClose(m, box); });
  Click("cmdTrim2");
  const QCursor* during = QGuiApplication::overrideCursor();
  EXPECT_EQ(during != nullptr ? during->shape() : Qt::ArrowCursor, Qt::WaitCursor);
  EXPECT_TRUE(Find<QLineEdit>("txtOutput")->isReadOnly());
  EXPECT_FALSE(Drop({Q(files / "a.htm")})) << "no drops while a run lasts";
  ASSERT_TRUE(QTest::qWaitFor([&] { return box.shown; }, kRunEndsMs));
  QLocale::setDefault(saved);
  ExpectBrevioInfo(box, QStringLiteral("Trim Finished."));
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(Find<QLineEdit>("txtOutput")->isReadOnly());
  EXPECT_EQ(Column(3), (QStringList{"640", "640"}));
  EXPECT_EQ(Column(4), (QStringList{"64,00%", "64,00%"}));
  if (const char* dir = std::getenv("BREVIO_SNAPSHOT_DIR")) {
    window->grab().save(QString::fromLocal8Bit(dir) + "/frmMain-run.png");
  }
}

TEST_F(Window, ClosingDuringARunFinishesTheCurrentFileThenEnds) {
  const auto out = files.path() / "out";
  std::filesystem::create_directory(out);
  for (const char* n : {"1.htm", "2.htm", "3.htm"})
    FrmMainTestPeer::AddFileToList(*window, Q(files.write(n, Page1000())));
  Find<QLineEdit>("txtOutput")->setText(Q(out));
  Click("cmdTrim2");
  // The next file waits for this row to be shown, however long that takes.
  QThread::msleep(200);
  window->close();  // no Trim Finished. box: the program ends instead
  EXPECT_TRUE(window->isVisible()) << "the first file is still on its way";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, kRunEndsMs));
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(Column(3), (QStringList{"640", " ", " "}));
}

TEST_F(Window, TheSingleFileGroupThroughTheRealDialogs) {
  files.write("src.htm", std::string(321, ' ') + "a\r\n");
  WhenModal([&](QWidget* m) { TypeAndAccept(m, Q(files / "src.htm")); });
  Click("cmdOpen");
  EXPECT_EQ(Text("txtOpen"), Q(files / "src.htm"));
  EXPECT_EQ(Text("lblLenOpen"), QStringLiteral("File Len:    324"));
  QString suggested;
  WhenModal([&](QWidget* m) {
    suggested = m->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
    TypeAndAccept(m, Q(files / "out"));
  });
  Click("cmdSave");
  EXPECT_EQ(suggested, QStringLiteral("src.htm"));
  Click("cmdTrim");
  EXPECT_EQ(Text("lblLenSave"), QStringLiteral("File Len: 3"));
  EXPECT_EQ(Find<QLabel>("lblLenSave")->width(), Find<QLabel>("lblLenSave")->sizeHint().width());
  Find<QLineEdit>("txtSave")->setText(Q(files / "no" / "d.htm"));
  const Box box = ClickForBox("cmdTrim");
  EXPECT_EQ(box.icon, QMessageBox::Warning);
  EXPECT_EQ(box.text, QStringLiteral("The folder %1 does not exist.").arg(Q(files / "no")));
}

// Enter presses the focused button as Space does, in view or not.
TEST_F(Window, EnterPressesTheFocusedButton) {
  const struct {
    const char* button;
    Qt::Key key;
    const char* opens;  // class of the modal window the button opens
  } cases[] = {
      {"cmdOpen", Qt::Key_Return, "QFileDialog"},   {"cmdSave", Qt::Key_Enter, "QFileDialog"},
      {"cmdTrim", Qt::Key_Return, "QMessageBox"},   {"cmdAdd", Qt::Key_Return, "QFileDialog"},
      {"cmdOutput", Qt::Key_Return, "QFileDialog"}, {"cmdTrim2", Qt::Key_Enter, "QMessageBox"},
      {"cmdAbout", Qt::Key_Return, "QDialog"},
  };
  for (const auto& c : cases) {
    QString opened;
    WhenModal([&](QWidget* m) {
      opened = QString::fromLatin1(m->metaObject()->className());
      m->close();
    });
    auto* button = Find<QPushButton>(c.button);
    button->setFocus();
    QTest::keyClick(button, c.key, c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); })) << c.button;
    EXPECT_EQ(opened, QString::fromLatin1(c.opens)) << c.button;
    brevio::testing::CancelPendingModals();
  }
}

TEST_F(Window, SpaceTicksDeleteRemovesAndAMouseTickMakesTheRowCurrent) {
  auto* list = List();
  auto click = [list](int row, Qt::KeyboardModifiers mods = {}) {
    const QRect cell = list->visualItemRect(list->topLevelItem(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, cell.center());
  };
  auto tick_box = [list](int row) {
    // The check box sits at the start of the "#" cell.
    const QRect cell = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(cell.left() + cell.height() / 2 + 2, cell.center().y()));
  };
  auto key = [list](Qt::Key k, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(list, k, mods); };
  const struct {
    const char* what;
    std::function<void()> act;
    QStringList ticked, rows;
    QString current;
  } cases[] = {
      {"space on the size cell",
       [&] {
         list->setCurrentItem(list->topLevelItem(1), 3);
         key(Qt::Key_Space);
       },
       {"2"},
       {"1", "2", "3", "4"},
       "2"},
      {"space twice",
       [&] {
         list->setCurrentItem(list->topLevelItem(1), 3);
         key(Qt::Key_Space);
         key(Qt::Key_Space);
       },
       {},
       {"1", "2", "3", "4"},
       "2"},
      {"shift selection, one space ticks them all",
       [&] {
         click(0);
         key(Qt::Key_Down, Qt::ShiftModifier);
         key(Qt::Key_Down, Qt::ShiftModifier);
         key(Qt::Key_Space);
       },
       {"1", "2", "3"},
       {"1", "2", "3", "4"},
       "3"},
      {"mouse tick",
       [&] {
         click(0);
         tick_box(2);
         key(Qt::Key_Down);
         key(Qt::Key_Space);
       },
       {"3", "4"},
       {"1", "2", "3", "4"},
       "4"},
      {"delete takes the ticked rows, not the selected one",
       [&] {
         list->topLevelItem(1)->setCheckState(0, Qt::Checked);
         list->topLevelItem(3)->setCheckState(0, Qt::Checked);
         click(0);
         key(Qt::Key_Delete);
       },
       {},
       {"1", "3"},
       "1"},
      {"delete with nothing ticked takes the selection",
       [&] {
         click(1);
         click(2, Qt::ControlModifier);
         key(Qt::Key_Delete);
       },
       {},
       {"1", "4"},
       ""},
  };
  const QString page = Q(files.write("a.htm", "x"));
  for (const auto& c : cases) {
    list->clear();
    for (int i = 0; i < 4; ++i) FrmMainTestPeer::AddFileToList(*window, page);
    list->setFocus();
    c.act();
    EXPECT_EQ(Ticked(), c.ticked) << c.what;
    EXPECT_EQ(Column(0), c.rows) << c.what;
    if (!c.current.isEmpty()) {
      ASSERT_NE(list->currentItem(), nullptr) << c.what;
      EXPECT_EQ(list->currentItem()->text(0), c.current) << c.what;
    }
  }
}

TEST_F(Window, FilesAndFoldersDroppedOnTheListAreAdded) {
  std::filesystem::create_directories(files / "site" / "deeper");
  for (const char* n : {"site/b.php", "site/a.HTML", "site/notes.txt", "site/c.asp",
                        "site/deeper/d.htm", "one.txt"})
    files.write(n, "x");
  EXPECT_FALSE(Drop({})) << "nothing to add";
  ASSERT_TRUE(Drop({Q(files / "one.txt"), Q(files / "site")}));
  EXPECT_EQ(Column(1), (QStringList{"one.txt", "a.HTML", "b.php", "c.asp"}));
  EXPECT_EQ(Column(0), (QStringList{"1", "2", "3", "4"}));
}

TEST_F(Window, HelpOpensTheShippedPageInANewBrowserWindowEachTime) {
  Click("cmdHelp");
  _CTarnex* first = window->tarnex();
  Click("cmdHelp");
  EXPECT_EQ(window->tarnex(), first) << "one object serves every call";
  const auto calls = BrowserCalls(2);
  ASSERT_EQ(calls.size(), 2u);
  const std::string want = (HelpSite() + QStringLiteral("/tools/brevio_help.htm")).toStdString();
  EXPECT_EQ(calls[0], want);
  EXPECT_EQ(calls[1], want);
  if (std::string(BREVIO_HELP_SITE).empty()) {
    ASSERT_EQ(want.rfind("file://", 0), 0u);
    EXPECT_TRUE(std::filesystem::is_regular_file(want.substr(7))) << want;
  }
}

TEST_F(Window, AboutBoxShowsItsTextsAndItsLinkOpensExactlyWhatIsShown) {
  QStringList texts;
  QString title;
  bool still_open = false;
  WhenModal([&](QWidget* about) {
    title = about->windowTitle();
    if (const char* dir = std::getenv("BREVIO_SNAPSHOT_DIR")) {
      about->grab().save(QString::fromLocal8Bit(dir) + "/frmAbout.png");
    }
    EXPECT_EQ(about->size(), QSize(402, 213));
    for (const char* n : {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6"})
      texts << about->findChild<QLabel*>(QString::fromLatin1(n))->text();
    EXPECT_FALSE(about->findChild<QLabel*>(QStringLiteral("Image1"))->pixmap().isNull());
    auto* description = about->findChild<QLabel*>(QStringLiteral("Label2"));
    EXPECT_LE(description->heightForWidth(description->width()), description->height())
        << "the description fits its box";
    auto* link = about->findChild<QLabel*>(QStringLiteral("Label5"));
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(link->font().underline());
    EXPECT_TRUE(QStringList({"Verdana", "DejaVu Sans"}).contains(QFontInfo(link->font()).family()))
        << QFontInfo(link->font()).family().toStdString();
    QTest::mouseClick(link, Qt::LeftButton);
    QTest::mouseClick(link, Qt::LeftButton);
    // The other labels do nothing.
    QTest::mouseClick(about->findChild<QLabel*>(QStringLiteral("Label6")), Qt::LeftButton);
    still_open = about->isVisible();
    about->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
  });
  Click("cmdAbout");
  EXPECT_EQ(title, QStringLiteral("About Brevio"));
  ASSERT_EQ(texts.size(), 6);
  EXPECT_EQ(texts[0], QString::fromUtf8(kProductTitle));
  EXPECT_TRUE(texts[1].startsWith(QStringLiteral("This free software may trim your web pages")));
  EXPECT_EQ(texts[2], QStringLiteral("Website:"));
  EXPECT_EQ(texts[3], QStringLiteral("Support:"));
  EXPECT_EQ(texts[4], QStringLiteral(BREVIO_WEB_SITE));
  EXPECT_EQ(texts[5], QStringLiteral(BREVIO_SUPPORT_ADDRESS));
  EXPECT_TRUE(still_open);
  EXPECT_EQ(BrowserCalls(2), (std::vector<std::string>{BREVIO_WEB_SITE, BREVIO_WEB_SITE}));
  // The object the link created is the one the window goes on with.
  _CTarnex* from_about = window->tarnex();
  Click("cmdHelp");
  EXPECT_EQ(window->tarnex(), from_about);
}

TEST_F(Window, AboutBoxClosesWithEscEnterOkAndTheCloseBox) {
  const std::function<void(QWidget*)> closers[] = {
      [](QWidget* m) { QTest::keyClick(m, Qt::Key_Escape); },
      [](QWidget* m) { QTest::keyClick(m, Qt::Key_Return); },
      [](QWidget* m) { m->findChild<QPushButton*>(QStringLiteral("OKButton"))->click(); },
      [](QWidget* m) { m->close(); },
  };
  for (const auto& close : closers) {
    bool opened = false;
    WhenModal([&](QWidget* m) {
      opened = m->objectName() == QStringLiteral("frmAbout");
      close(m);
    });
    Click("cmdAbout");  // returns only once the box is closed
    EXPECT_TRUE(opened);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
  EXPECT_TRUE(BrowserCalls(0).empty());
}

}  // namespace
}  // namespace brevio::app

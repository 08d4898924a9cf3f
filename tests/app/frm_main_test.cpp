// The Qt face of frmMain driven through its real controls, dialogs and boxes;
// the behaviour behind them has its own suite (tests/forms).
#include <QAccessible>
#include <QGuiApplication>
#include <QLocale>
#include <QMimeData>
#include <QToolTip>
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
  files.write("a.htm", Page1000());
  std::filesystem::create_directory(files / "site");
  files.write("site/b.php", Page1000());
  files.write("site/notes.txt", "x");
  AddThroughDialog(files.path(), {"a.htm"});
  EXPECT_FALSE(Drop({})) << "nothing to add";
  ASSERT_TRUE(Drop({Q(files / "site")}));
  EXPECT_EQ(Column(1), (QStringList{"a.htm", "b.php"}));
  EXPECT_EQ(List()->topLevelItem(0)->toolTip(1), Q(files / "a.htm"));
  EXPECT_EQ(Column(2), (QStringList{"1000", "1000"}));
  const auto out = files.path() / "out";
  std::filesystem::create_directory(out);
  WhenModal([&](QWidget* m) {
    EXPECT_EQ(m->windowTitle(), QStringLiteral("Please choose a folder to save the output files"));
    TypeAndAccept(m, Q(out));
  });
  Click("cmdOutput");
  EXPECT_EQ(Find<QLineEdit>("txtOutput")->text(), Q(out));

  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  Box box;
  WhenModal([&](QWidget* m) { ReadAndClose(m, box); });
  Click("cmdTrim2");
  const QCursor* during = QGuiApplication::overrideCursor();
  EXPECT_EQ(during != nullptr ? during->shape() : Qt::ArrowCursor, Qt::WaitCursor);
  EXPECT_TRUE(Find<QLineEdit>("txtOutput")->isReadOnly());
  EXPECT_FALSE(Find<QCheckBox>("chkKeep")->isEnabled());
  EXPECT_FALSE(Drop({Q(files / "a.htm")})) << "no drops while a run lasts";
  ASSERT_TRUE(QTest::qWaitFor([&] { return box.shown; }, kRunEndsMs));
  QLocale::setDefault(saved);
  EXPECT_EQ(box.icon, QMessageBox::Information);
  EXPECT_EQ(box.text, QStringLiteral("Trim Finished."));
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(Find<QLineEdit>("txtOutput")->isReadOnly());
  EXPECT_TRUE(Find<QCheckBox>("chkKeep")->isEnabled());
  EXPECT_EQ(Column(3), (QStringList{"640", "640"}));
  EXPECT_EQ(Column(4), (QStringList{"64,00%", "64,00%"}));
  if (const char* dir = std::getenv("BREVIO_SNAPSHOT_DIR")) {
    window->grab().save(QString::fromLocal8Bit(dir) + "/frmMain-run.png");
  }
}

// The single-file trim follows chkKeep as a click leaves it: unticked, the
// rule alone; ticked, the pre block stays as it is.
TEST_F(Window, TheKeepBoxDecidesWhatATrimKeeps) {
  const QString src = Q(files.write("src.htm", "<pre>\r\n  x   y\r\n</pre>\r\n  <b>  z  </b>\r\n"));
  const auto dst = files.path() / "dst.htm";
  const struct {
    bool ticked;
    const char* want;
  } cases[] = {
      {false, "<pre>\r\nx y\r\n</pre>\r\n<b> z </b>\r\n"},
      {true, "<pre>\r\n  x   y\r\n</pre>\r\n<b> z </b>\r\n"},
      {false, "<pre>\r\nx y\r\n</pre>\r\n<b> z </b>\r\n"},
  };
  auto* keep = Find<QCheckBox>("chkKeep");
  EXPECT_FALSE(keep->isChecked()) << "unticked at start";
  Find<QLineEdit>("txtOpen")->setText(src);
  Find<QLineEdit>("txtSave")->setText(Q(dst));
  for (const auto& c : cases) {
    if (keep->isChecked() != c.ticked) {
      QTest::mouseClick(keep, Qt::LeftButton, {}, QPoint(8, keep->height() / 2));
    }
    ASSERT_EQ(keep->isChecked(), c.ticked);
    Click("cmdTrim");
    EXPECT_EQ(brevio::testing::ReadFile(dst), c.want) << "ticked " << c.ticked;
  }
}

// Enter presses the focused button as Space does, in view or not.
TEST_F(Window, EnterPressesTheFocusedButton) {
  const struct {
    const char* button;
    Qt::Key key;
    const char* opens;  // class of the modal window the button opens
  } cases[] = {
      {"cmdOpen", Qt::Key_Return, "QFileDialog"},
      {"cmdTrim2", Qt::Key_Enter, "QMessageBox"},
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
    FrmMainTestPeer::ClearList(*window);
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

// A file manager's drop: raw text/uri-list with the name's bytes
// percent-encoded. The byte 0xE9 is not UTF-8; a file whose name holds U+FFFD
// in its place lies beside it and must not be taken for it.
TEST_F(Window, ADropOfRawBytesTrimsThatVeryFile) {
  std::filesystem::create_directory(files / "out");
  files.write("caf\xE9.htm", "  A  \r\n");
  files.write("caf\xEF\xBF\xBD.htm", "  B  \r\n");
  QMimeData data;
  data.setData(QStringLiteral("text/uri-list"),
               QByteArray("# from a file manager\r\nfile://") +
                   QByteArray::fromStdString(files.path().string()) + "/caf%E9.htm\r\n");
  QWidget* target = List()->viewport();
  QDropEvent drop(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QDragEnterEvent enter(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  ASSERT_TRUE(enter.isAccepted());
  QApplication::sendEvent(target, &drop);
  EXPECT_EQ(Column(1), QStringList{QStringLiteral("'caf'$'\\351''.htm'")});
  Find<QLineEdit>("txtOutput")->setText(Q(files / "out"));
  Box box;
  WhenModal([&](QWidget* m) { ReadAndClose(m, box); });
  Click("cmdTrim2");
  ASSERT_TRUE(QTest::qWaitFor([&] { return box.shown; }, kRunEndsMs));
  EXPECT_EQ(box.text, QStringLiteral("Trim Finished."));
  EXPECT_EQ(brevio::testing::ReadFile(files / "out" / "caf\xE9.htm"), "A\r\n");
  EXPECT_FALSE(std::filesystem::exists(files / "out" / "caf\xEF\xBF\xBD.htm"));
}

// Trimming into the sources' own folder asks first; Enter takes the
// default, No, and nothing is written.
TEST_F(Window, InPlaceIsAskedWithNoTheDefault) {
  FrmMainTestPeer::AddFileToList(*window, Q(files.write("a.htm", Page1000())));
  Find<QLineEdit>("txtOutput")->setText(Q(files.path()));
  QString asked;
  bool no_is_default = false;
  WhenModal([&](QWidget* m) {
    auto* box = qobject_cast<QMessageBox*>(m);
    ASSERT_NE(box, nullptr);
    asked = box->text();
    no_is_default = box->defaultButton() == box->button(QMessageBox::No);
    QTest::keyClick(box, Qt::Key_Return);
  });
  Click("cmdTrim2");
  EXPECT_EQ(asked, QStringLiteral("1 of the listed files are in the output folder and will be "
                                  "replaced by their trimmed text. Trim them in place?"));
  EXPECT_TRUE(no_is_default);
  EXPECT_FALSE(window->running());
  EXPECT_EQ(std::filesystem::file_size(files / "a.htm"), 1000u);
}

// The reason of a failed row reaches a screen reader as the cell's
// description, without a pointer; the box says to select the row.
TEST_F(Window, AFailedRowsReasonIsItsAccessibleDescription) {
  QAccessible::setActive(true);
  const QString gone = Q(files / "gone.htm");
  FrmMainTestPeer::AddFileToList(*window, gone);
  std::filesystem::create_directory(files / "out");
  Find<QLineEdit>("txtOutput")->setText(Q(files / "out"));
  Box box;
  WhenModal([&](QWidget* m) { ReadAndClose(m, box); });
  Click("cmdTrim2");
  ASSERT_TRUE(QTest::qWaitFor([&] { return box.shown; }, kRunEndsMs));
  EXPECT_EQ(box.text, QStringLiteral("1 of 1 files could not be trimmed. Select a row marked "
                                     "failed to see why."));
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(List());
  ASSERT_NE(list, nullptr);
  ASSERT_NE(list->tableInterface(), nullptr);
  QAccessibleInterface* cell = list->tableInterface()->cellAt(0, 3);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->text(QAccessible::Name), QStringLiteral("failed"));
  EXPECT_EQ(cell->text(QAccessible::Description),
            QStringLiteral("The source file was not found:\n") + gone);
  // The keyboard coming back to the list with Tab shows the current row's reason.
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  List()->setCurrentItem(List()->topLevelItem(0));
  Find<QLineEdit>("txtOutput")->setFocus(Qt::TabFocusReason);
  QToolTip::hideText();
  List()->setFocus(Qt::TabFocusReason);
  EXPECT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 1000));
  EXPECT_EQ(QToolTip::text(), QStringLiteral("The source file was not found:\n") + gone);
}

TEST_F(Window, HelpOpensTheShippedPage) {
  Click("cmdHelp");
  const std::string want = (HelpSite() + QStringLiteral("/tools/brevio_help.htm")).toStdString();
  EXPECT_EQ(BrowserCalls(1), std::vector<std::string>{want});
  if (std::string(BREVIO_HELP_SITE).empty()) {
    ASSERT_EQ(want.rfind("file://", 0), 0u);
    EXPECT_TRUE(std::filesystem::is_regular_file(want.substr(7))) << want;
  }
}

// With no browser that starts (the one named fails at once, and no other
// is on PATH), Help says so and where the page lies.
TEST_F(Window, HelpWithoutABrowserSaysWhereThePageIs) {
  setenv("BROWSER", "/bin/false", 1);
  const std::string path = std::getenv("PATH");
  setenv("PATH", files.path().c_str(), 1);
  const Box box = ClickForBox("cmdHelp");
  setenv("PATH", path.c_str(), 1);
  std::string page = (HelpSite() + QStringLiteral("/tools/brevio_help.htm")).toStdString();
  if (page.rfind("file://", 0) == 0) page.erase(0, 7);
  EXPECT_EQ(box.icon, QMessageBox::Warning);
  EXPECT_EQ(box.text.toStdString(),
            "The help page could not be opened: no web browser could be started for it.\n\n"
            "It is here:\n" +
                page);
}

TEST_F(Window, AboutBoxShowsTheLinkAndOpensExactlyWhatItShows) {
  QString shown;
  WhenModal([&](QWidget* about) {
    if (const char* dir = std::getenv("BREVIO_SNAPSHOT_DIR")) {
      about->grab().save(QString::fromLocal8Bit(dir) + "/frmAbout.png");
    }
    EXPECT_EQ(about->size(), QSize(402, 213));
    auto* link = about->findChild<QLabel*>(QStringLiteral("Label5"));
    shown = link->text();
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(link->font().underline());
    QTest::mouseClick(link, Qt::LeftButton);
    // The other labels do nothing.
    QTest::mouseClick(about->findChild<QLabel*>(QStringLiteral("Label6")), Qt::LeftButton);
    about->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
  });
  Click("cmdAbout");
  EXPECT_EQ(shown, QStringLiteral(BREVIO_WEB_SITE));
  EXPECT_EQ(BrowserCalls(1), (std::vector<std::string>{BREVIO_WEB_SITE}));
}

}  // namespace
}  // namespace brevio::app

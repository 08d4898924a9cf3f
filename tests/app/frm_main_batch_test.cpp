// The batch list and the batch run, driven through the real dialogs and boxes.
#include <QGuiApplication>
#include <QLocale>
#include <QMimeData>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include "app_fixture.h"

namespace brevio::app {
namespace {

using namespace testing_support;

// 1000 bytes in, 640 out: ten lines of 100 bytes whose trim keeps 62 + CR LF.
std::string Page1000() {
  std::string line = std::string(62, 'x') + std::string(36, ' ') + "\r\n";
  std::string page;
  for (int i = 0; i < 10; ++i) page += line;
  return page;
}

class Batch : public AppTest {
 protected:
  QStringList Row(int i) const {
    QStringList cells;
    for (int c = 0; c < 5; ++c) cells << List()->topLevelItem(i)->text(c);
    return cells;
  }
  QString Tip(int i, int column) const { return List()->topLevelItem(i)->toolTip(column); }
  void Tick(int i) { List()->topLevelItem(i)->setCheckState(0, Qt::Checked); }
  void SetOutput(const std::filesystem::path& folder) {
    Find<QLineEdit>("txtOutput")->setText(Q(folder));
  }
  // Starts a run and waits until its last row is back; returns the box it ends with.
  Box RunBatch() {
    Box box;
    WhenModal([&](QWidget* m) { ReadAndClose(m, box); });
    Click("cmdTrim2");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->running(); }, kRunEndsMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return box.shown; }, kRunEndsMs));
    return box;
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

TEST_F(Batch, AddOneFile) {
  files.write("index.htm", std::string(1234, 'a'));
  AddThroughDialog(files.path(), {"index.htm"});
  ASSERT_EQ(List()->topLevelItemCount(), 1);
  EXPECT_EQ(Row(0), (QStringList{"1", "index.htm", "1234", " ", " "}));
  EXPECT_EQ(Tip(0, 1), Q(files / "index.htm"));
  EXPECT_EQ(List()->topLevelItem(0)->checkState(0), Qt::Unchecked);
  EXPECT_TRUE(List()->topLevelItem(0)->flags() & Qt::ItemIsUserCheckable);
}

TEST_F(Batch, AddSeveralFilesContinuesTheNumbersAndAllowsDuplicates) {
  for (const char* n : {"a.htm", "b.asp", "c.php"}) files.write(n, n);
  AddThroughDialog(files.path(), {"a.htm"});
  AddThroughDialog(files.path(), {"a.htm", "b.asp", "c.php"});
  ASSERT_EQ(List()->topLevelItemCount(), 4);
  QStringList names;
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Row(i)[0], QString::number(i + 1));
    EXPECT_EQ(Tip(i, 1), Q(files.path()) + "/" + Row(i)[1]) << "folder, one separator, name";
    EXPECT_EQ(Row(i)[2], QString::number(Row(i)[1].size()));
    names << Row(i)[1];
  }
  names.sort();
  EXPECT_EQ(names, (QStringList{"a.htm", "a.htm", "b.asp", "c.php"}));

  // Names typed with their folders, from two folders: each row keeps its own path.
  std::filesystem::create_directory(files / "sub");
  const QString other = Q(files.write("sub/d.htm", "d"));
  AddThroughDialog(files.path(), {Q(files / "a.htm"), other});
  ASSERT_EQ(List()->topLevelItemCount(), 6);
  EXPECT_EQ((QStringList{Tip(4, 1), Tip(5, 1)}), (QStringList{Q(files / "a.htm"), other}));
  EXPECT_EQ(Row(5)[1], QStringLiteral("d.htm"));
}

TEST_F(Batch, AddCancelledChangesNothing) {
  FrmMainTestPeer::AddFileToList(*window, Q(files.write("a.htm", "x")));
  WhenModal(PressCancel);
  Click("cmdAdd");
  EXPECT_EQ(List()->topLevelItemCount(), 1);
}

TEST_F(Batch, AFileGoneBeforeItIsMeasuredKeepsNameAndPathOnly) {
  FrmMainTestPeer::AddFileToList(*window, Q(files / "gone.htm"));
  EXPECT_EQ(Row(0), (QStringList{"1", "gone.htm", "", "", ""}));
  EXPECT_EQ(Tip(0, 1), Q(files / "gone.htm"));
}

TEST_F(Batch, RemoveTickedRowsKeepsNumbers) {
  const QString p = Q(files.write("a.htm", "x"));
  const struct {
    std::vector<int> ticked;
    QStringList left;
  } cases[] = {{{}, {"1", "2", "3"}}, {{1}, {"1", "3"}}, {{0, 2}, {"2"}}, {{0, 1, 2}, {}}};
  for (const auto& c : cases) {
    List()->clear();
    for (int i = 0; i < 3; ++i) FrmMainTestPeer::AddFileToList(*window, p);
    for (int i : c.ticked) Tick(i);
    Click("cmdRemove");
    QStringList numbers;
    for (int i = 0; i < List()->topLevelItemCount(); ++i) numbers << Row(i)[0];
    EXPECT_EQ(numbers, c.left);
  }
  // After removing the second of three, one more file is numbered 3 again.
  List()->clear();
  for (int i = 0; i < 3; ++i) FrmMainTestPeer::AddFileToList(*window, p);
  Tick(1);
  Click("cmdRemove");
  FrmMainTestPeer::AddFileToList(*window, p);
  EXPECT_EQ(Row(2)[0], QStringLiteral("3"));
}

TEST_F(Batch, SetOutputFolderChooseAndCancel) {
  const auto out = files.path() / "out";
  std::filesystem::create_directory(out);
  WhenModal([&](QWidget* m) {
    EXPECT_EQ(m->windowTitle(), QStringLiteral("Please choose a folder to save the output files"));
    TypeAndAccept(m, Q(out));
  });
  Click("cmdOutput");
  EXPECT_EQ(Find<QLineEdit>("txtOutput")->text(), Q(out));
  WhenModal(PressCancel);
  Click("cmdOutput");
  EXPECT_EQ(Find<QLineEdit>("txtOutput")->text(), Q(out)) << "cancel keeps the folder";
}

TEST_F(Batch, TheTwoChecksComeFirst) {
  const struct {
    const char* folder;
    bool rows;
    const char* message;
  } cases[] = {
      {"", false, "Please select an output folder to save the trimmed files."},
      {"   ", true, "Please select an output folder to save the trimmed files."},
      {"/tmp", false, "Please add some files to the listview to trim."},
  };
  const QString page = Q(files.write("a.htm", "  a  "));
  for (const auto& c : cases) {
    List()->clear();
    if (c.rows) FrmMainTestPeer::AddFileToList(*window, page);
    Find<QLineEdit>("txtOutput")->setText(QString::fromLatin1(c.folder));
    ExpectBrevioInfo(ClickForBox("cmdTrim2"), QString::fromLatin1(c.message));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  }
  EXPECT_EQ(brevio::testing::ReadFile(files / "a.htm"), "  a  ");
}

TEST_F(Batch, RunTrimsEveryRowAndFillsSizesAndRatios) {
  const auto out = files.path() / "out";
  std::filesystem::create_directory(out);
  const struct {
    const char* name;
    std::string content;
    QString target_size, ratio;
  } cases[] = {
      {"page.htm", Page1000(), "640", "64.00%"},
      {"half.php", "a\r\n", "3", "100.00%"},
      {"tiny.asp", std::string(197, ' ') + "a\r\n", "3", "1.50%"},
      {"empty.htm", "", "0", " "},  // nothing to divide by: the cell keeps its text
  };
  for (const auto& c : cases)
    FrmMainTestPeer::AddFileToList(*window, Q(files.write(c.name, c.content)));
  SetOutput(out.string() + "/");  // a trailing separator changes nothing

  Box box;
  WhenModal([&](QWidget* m) { ReadAndClose(m, box); });
  Click("cmdTrim2");
  const QCursor* during = QGuiApplication::overrideCursor();
  EXPECT_EQ(during != nullptr ? during->shape() : Qt::ArrowCursor, Qt::WaitCursor);
  ASSERT_TRUE(QTest::qWaitFor([&] { return box.shown; }, kRunEndsMs));
  ExpectBrevioInfo(box, QStringLiteral("Trim Finished."));
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Row(i)[3], cases[i].target_size) << cases[i].name;
    EXPECT_EQ(Row(i)[4], cases[i].ratio) << cases[i].name;
    EXPECT_EQ(Row(i)[2], QString::number(cases[i].content.size()));
    EXPECT_TRUE(std::filesystem::exists(out / cases[i].name));
  }
  EXPECT_EQ(std::filesystem::file_size(out / "page.htm"), 640u);
  if (const char* dir = std::getenv("BREVIO_SNAPSHOT_DIR")) {
    window->grab().save(QString::fromLocal8Bit(dir) + "/frmMain-run.png");
  }
}

TEST_F(Batch, RatioUsesTheLocaleDecimalSeparator) {
  const QLocale saved;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  FrmMainTestPeer::AddFileToList(*window, Q(files.write("page.htm", Page1000())));
  const auto out = files.path() / "out";
  std::filesystem::create_directory(out);
  SetOutput(out);
  RunBatch();
  QLocale::setDefault(saved);
  EXPECT_EQ(Row(0)[4], QStringLiteral("64,00%"));
}

TEST_F(Batch, InPlaceRatioIsAgainstTheSizeBeforeTheTrim) {
  FrmMainTestPeer::AddFileToList(*window, Q(files.write("page.htm", Page1000())));
  SetOutput(files.path());
  RunBatch();
  EXPECT_EQ(Row(0), (QStringList{"1", "page.htm", "1000", "640", "64.00%"}));
  EXPECT_EQ(std::filesystem::file_size(files / "page.htm"), 640u);
  // Again: the row shows the sizes this trim saw, never the size when it was added.
  RunBatch();
  EXPECT_EQ(Row(0), (QStringList{"1", "page.htm", "640", "640", "100.00%"}));
}

TEST_F(Batch, FailedRowsSayWhyInPlainWordsAndTheRunEndsWithAWarning) {
  const auto out = files.path() / "out";
  std::filesystem::create_directory(out);
  const QString not_a_folder = Q(files.write("plain.txt", "x"));
  const QString no_folder = Q(out / "no" / "such");
  const QString gone = Q(files / "gone.htm");
  const struct {
    QString output;
    bool remove_source;
    QString ok_row, gone_row, box;
  } cases[] = {
      {Q(out), true, "640", QStringLiteral("The source file was not found:\n") + gone,
       "1 of 2 files could not be trimmed. Hover over a row marked failed to see why."},
      {no_folder, false, "failed", QStringLiteral("The folder %1 does not exist.").arg(no_folder),
       "2 of 2 files could not be trimmed. Hover over a row marked failed to see why."},
      {not_a_folder, false, "failed", not_a_folder + QStringLiteral(" is not a folder."),
       "2 of 2 files could not be trimmed. Hover over a row marked failed to see why."},
  };
  FrmMainTestPeer::AddFileToList(*window, Q(files.write("ok.htm", Page1000())));
  FrmMainTestPeer::AddFileToList(*window, Q(files.write("gone.htm", Page1000())));
  for (const auto& c : cases) {
    // A good run first: a failure must replace its results, not sit beside them.
    files.write("gone.htm", Page1000());
    SetOutput(out);
    ExpectBrevioInfo(RunBatch(), QStringLiteral("Trim Finished."));
    EXPECT_EQ(Column(3), (QStringList{"640", "640"}));
    EXPECT_EQ(Tip(1, 3), QString());

    if (c.remove_source) std::filesystem::remove(files / "gone.htm");
    SetOutput(c.output.toStdString());
    const Box box = RunBatch();
    EXPECT_EQ(box.icon, QMessageBox::Warning);
    EXPECT_EQ(box.text, c.box);
    EXPECT_EQ(Column(3), (QStringList{c.ok_row, "failed"}));
    EXPECT_EQ(Row(1)[4], QStringLiteral(" ")) << "no ratio of a stale target";
    EXPECT_EQ(Tip(1, 3), c.gone_row);
  }
}

TEST_F(Batch, WhileARunLastsTheListAndTheFolderStayAsTheyAre) {
  const auto out = files.path() / "out";
  std::filesystem::create_directory(out);
  for (const char* n : {"1.htm", "2.htm", "3.htm"})
    FrmMainTestPeer::AddFileToList(*window, Q(files.write(n, Page1000())));
  Tick(0);
  List()->setCurrentItem(List()->topLevelItem(1));
  SetOutput(out);
  int boxes = 0;
  WhenModal([&](QWidget* m) {
    ++boxes;
    qobject_cast<QMessageBox*>(m)->button(QMessageBox::Ok)->click();
  });
  Click("cmdTrim2");
  ASSERT_TRUE(window->running());
  // A second Trim, Remove, Add, Set Output Folder, Delete and a drop do nothing;
  // the folder box takes no typing.
  for (const char* b : {"cmdTrim2", "cmdRemove", "cmdAdd", "cmdOutput"}) Click(b);
  QTest::keyClick(List(), Qt::Key_Delete);
  EXPECT_FALSE(Drop({Q(files / "1.htm")}));
  auto* output = Find<QLineEdit>("txtOutput");
  EXPECT_TRUE(output->isReadOnly());
  QTest::keyClicks(output, "/elsewhere");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->running() && boxes == 1; }, kRunEndsMs));
  EXPECT_EQ(boxes, 1) << "one Trim Finished., nothing else opened";
  EXPECT_EQ(List()->topLevelItemCount(), 3);
  EXPECT_EQ(output->text(), Q(out));
  EXPECT_FALSE(output->isReadOnly());
  EXPECT_EQ(Column(3), (QStringList{"640", "640", "640"}));
}

TEST_F(Batch, AboutDuringARunDoesNotPauseIt) {
  const auto out = files.path() / "out";
  std::filesystem::create_directory(out);
  for (const char* n : {"1.htm", "2.htm", "3.htm"})
    FrmMainTestPeer::AddFileToList(*window, Q(files.write(n, Page1000())));
  SetOutput(out);
  bool ended_under_about = false;
  Box box;
  WhenModal([&](QWidget* about) {
    WhenModal([&](QWidget* m) { ReadAndClose(m, box); }, about);
    Click("cmdTrim2");  // the run starts behind the box and must go on
    ended_under_about =
        QTest::qWaitFor([&] { return !window->running() && box.shown; }, kRunEndsMs);
    about->close();
  });
  Click("cmdAbout");
  EXPECT_TRUE(ended_under_about);
  EXPECT_EQ(box.text, QStringLiteral("Trim Finished."));
}

TEST_F(Batch, ClosingDuringARunFinishesTheCurrentFileThenEnds) {
  const auto out = files.path() / "out";
  std::filesystem::create_directory(out);
  for (const char* n : {"1.htm", "2.htm", "3.htm"})
    FrmMainTestPeer::AddFileToList(*window, Q(files.write(n, Page1000())));
  SetOutput(out);
  Click("cmdTrim2");
  // The next file waits for this row to be shown, however long that takes.
  QThread::msleep(200);
  window->close();  // no Trim Finished. box: the program ends instead
  EXPECT_TRUE(window->isVisible()) << "the first file is still on its way";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->running(); }, kRunEndsMs));
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(Row(0)[3], QStringLiteral("640"));
  EXPECT_TRUE(std::filesystem::exists(out / "1.htm"));
  EXPECT_FALSE(std::filesystem::exists(out / "2.htm"));
}

// ---------------------------------------------------------------- keyboard, mouse, drops

TEST_F(Batch, SpaceTicksDeleteRemovesAndAMouseTickMakesTheRowCurrent) {
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

TEST_F(Batch, FilesAndFoldersDroppedOnTheListAreAdded) {
  std::filesystem::create_directories(files / "site" / "deeper");
  for (const char* n : {"site/b.php", "site/a.HTML", "site/notes.txt", "site/c.asp",
                        "site/deeper/d.htm", "one.txt"})
    files.write(n, "x");
  EXPECT_FALSE(Drop({})) << "nothing to add";
  ASSERT_TRUE(Drop({Q(files / "one.txt"), Q(files / "site")}));
  EXPECT_EQ(Column(1), (QStringList{"one.txt", "a.HTML", "b.php", "c.asp"}));
  EXPECT_EQ(Tip(0, 1), Q(files / "one.txt")) << "a dropped file is taken whatever its name";
  EXPECT_EQ(Tip(3, 1), Q(files / "site" / "c.asp"));
  EXPECT_EQ(Column(0), (QStringList{"1", "2", "3", "4"}));
}

}  // namespace
}  // namespace brevio::app

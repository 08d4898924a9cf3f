// The batch list and the batch run, driven through the real dialogs and boxes.
#include <QGuiApplication>
#include <QLocale>
#include <QTimer>

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

  std::optional<Qt::CursorShape> during;
  QTimer::singleShot(0, [&] {
    if (const QCursor* c = QGuiApplication::overrideCursor()) during = c->shape();
  });
  ExpectBrevioInfo(ClickForBox("cmdTrim2"), QStringLiteral("Trim Finished."));
  EXPECT_EQ(during, Qt::WaitCursor);
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
  ClickForBox("cmdTrim2");
  QLocale::setDefault(saved);
  EXPECT_EQ(Row(0)[4], QStringLiteral("64,00%"));
}

TEST_F(Batch, InPlaceWhenTheOutputIsTheSourceFolder) {
  FrmMainTestPeer::AddFileToList(*window, Q(files.write("page.htm", Page1000())));
  SetOutput(files.path());
  ClickForBox("cmdTrim2");
  EXPECT_EQ(Row(0), (QStringList{"1", "page.htm", "1000", "640", "100.00%"}));
  EXPECT_EQ(std::filesystem::file_size(files / "page.htm"), 640u);
}

TEST_F(Batch, FailedRowsSayFailedWithTheReasonAndALaterRunClearsIt) {
  const auto out = files.path() / "out";
  std::filesystem::create_directory(out);
  FrmMainTestPeer::AddFileToList(*window, Q(files.write("ok.htm", Page1000())));
  FrmMainTestPeer::AddFileToList(*window, Q(files.write("gone.htm", Page1000())));
  SetOutput(out);
  ClickForBox("cmdTrim2");
  ASSERT_EQ(Row(1)[3], QStringLiteral("640"));

  // The source goes; its old target stays behind and must not pass for a result.
  std::filesystem::remove(files / "gone.htm");
  ExpectBrevioInfo(ClickForBox("cmdTrim2"), QStringLiteral("Trim Finished."));
  EXPECT_EQ(Row(0)[3], QStringLiteral("640"));
  EXPECT_EQ(Row(1)[3], QStringLiteral("failed"));
  EXPECT_EQ(Row(1)[4], QStringLiteral(" "));
  EXPECT_TRUE(Tip(1, 3).contains(QStringLiteral("not found"))) << Tip(1, 3).toStdString();

  // A missing output folder fails every row, with the engine's reason.
  SetOutput(files.path() / "no" / "such");
  ClickForBox("cmdTrim2");
  EXPECT_EQ(Row(0)[3], QStringLiteral("failed"));
  EXPECT_FALSE(Tip(0, 3).isEmpty());

  // Back to a good folder and source: the failure marks go.
  files.write("gone.htm", Page1000());
  SetOutput(out);
  ClickForBox("cmdTrim2");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Row(i)[3], QStringLiteral("640"));
    EXPECT_EQ(Row(i)[4], QStringLiteral("64.00%"));
    EXPECT_TRUE(Tip(i, 3).isEmpty());
  }
}

TEST_F(Batch, ButtonsWaitWhileARunIsUnderWay) {
  const auto out = files.path() / "out";
  std::filesystem::create_directory(out);
  for (int i = 0; i < 3; ++i)
    FrmMainTestPeer::AddFileToList(*window, Q(files.write("p.htm", Page1000())));
  Tick(0);
  SetOutput(out);
  int boxes = 0;
  bool was_running = false;
  QTimer::singleShot(0, [&] {
    // Between two files: a second Trim, Remove, Add and Set Output Folder do nothing.
    was_running = window->running();
    Click("cmdTrim2");
    Click("cmdRemove");
    Click("cmdAdd");
    Click("cmdOutput");
  });
  std::function<void(QWidget*)> count = [&](QWidget* m) {
    ++boxes;
    qobject_cast<QMessageBox*>(m)->button(QMessageBox::Ok)->click();
  };
  WhenModal(count);
  Click("cmdTrim2");
  EXPECT_TRUE(was_running);
  EXPECT_EQ(boxes, 1) << "one Trim Finished., nothing else opened";
  EXPECT_EQ(List()->topLevelItemCount(), 3);
  EXPECT_EQ(Find<QLineEdit>("txtOutput")->text(), Q(out));
}

TEST_F(Batch, ClosingDuringARunFinishesTheCurrentFileThenEnds) {
  const auto out = files.path() / "out";
  std::filesystem::create_directory(out);
  for (const char* n : {"1.htm", "2.htm", "3.htm"})
    FrmMainTestPeer::AddFileToList(*window, Q(files.write(n, Page1000())));
  SetOutput(out);
  QTimer::singleShot(0, [&] { window->close(); });
  Click("cmdTrim2");  // no Trim Finished. box: the program ends instead
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(std::filesystem::exists(out / "1.htm"));
  EXPECT_FALSE(std::filesystem::exists(out / "3.htm"));
}

}  // namespace
}  // namespace brevio::app

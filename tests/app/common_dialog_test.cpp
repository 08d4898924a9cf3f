#include "brevio/app/common_dialog.h"

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "tests/support/modal_driver.h"
#include "tests/support/temp_dir.h"

namespace brevio::app {
namespace {

using brevio::testing::TempDir;
using brevio::testing::WhenModal;

QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

using brevio::testing::PressCancel;
using brevio::testing::TypeAndAccept;

class CommonDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { brevio::testing::StartModalWatchdog(); }
  void TearDown() override {
    brevio::testing::CancelPendingModals();
    EXPECT_EQ(brevio::testing::VisibleTopLevels(), 0);
  }
  TempDir dir;
  CommonDialog dlg{nullptr};
};

TEST(CommonDialogFilters, PairsBecomeQtNameFilters) {
  const struct {
    const char* filter;
    QStringList want;
  } cases[] = {
      {"HTML Files(*.htm;*.html)|*.htm;*.html|All Files(*.*)|*.*",
       {"HTML Files(*.htm;*.html) (*.htm *.html)", "All Files(*.*) (*.*)"}},
      {"ASP Files(*.asp)|*.asp", {"ASP Files(*.asp) (*.asp)"}},
      {"", {}},
      {"Lonely description", {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CommonDialog::NameFilters(QString::fromLatin1(c.filter)), c.want) << c.filter;
}

TEST_F(CommonDialogTest, OpenReturnsTheChosenFullPath) {
  dir.write("page.htm", "x");
  dlg.Flags = kOfnFileMustExist | kOfnExplorer | kOfnLongNames;
  dlg.FileName = Q(dir / "page.htm");  // opens where the last name was
  WhenModal([&](QWidget* m) {
    EXPECT_EQ(qobject_cast<QFileDialog*>(m)->fileMode(), QFileDialog::ExistingFile);
    TypeAndAccept(m, QStringLiteral("page.htm"));
  });
  dlg.ShowOpen();
  EXPECT_EQ(dlg.FileName, Q(dir / "page.htm"));
}

TEST_F(CommonDialogTest, MultiSelectGivesFolderThenNamesSeparatedByNul) {
  for (const char* n : {"a.htm", "b.php", "c.asp"}) dir.write(n, "x");
  dlg.Flags = kOfnAllowMultiSelect | kOfnFileMustExist;
  dlg.MaxFileSize = 32767;
  dlg.FileName = Q(dir / "a.htm");
  WhenModal([&](QWidget* m) { TypeAndAccept(m, QStringLiteral("\"c.asp\" \"a.htm\" \"b.php\"")); });
  dlg.ShowOpen();
  QStringList pieces = dlg.FileName.split(QChar(0));
  ASSERT_EQ(pieces.size(), 4);
  EXPECT_EQ(pieces.takeFirst(), Q(dir.path()));
  pieces.sort();  // the names come in the dialog's own order
  EXPECT_EQ(pieces, (QStringList{"a.htm", "b.php", "c.asp"}));
}

TEST_F(CommonDialogTest, MultiSelectWithOneFileGivesItsPlainPath) {
  dir.write("one.html", "x");
  dlg.Flags = kOfnAllowMultiSelect | kOfnFileMustExist;
  dlg.FileName = Q(dir / "one.html");
  WhenModal([&](QWidget* m) { TypeAndAccept(m, QStringLiteral("one.html")); });
  dlg.ShowOpen();
  EXPECT_EQ(dlg.FileName, Q(dir / "one.html"));
}

TEST_F(CommonDialogTest, CancelIsReportedOnlyWhenAskedFor) {
  const struct {
    bool cancel_error;
    bool throws;
  } cases[] = {{true, true}, {false, false}};
  for (const auto& c : cases) {
    dlg.CancelError = c.cancel_error;
    dlg.FileName = QStringLiteral("kept");
    WhenModal(PressCancel);
    int number = 0;
    try {
      dlg.ShowOpen();
    } catch (const CommonDialogError& e) {
      number = e.number();
    }
    EXPECT_EQ(number, c.throws ? kCancelErrorNumber : 0);
    // With CancelError the name stays; without, Cancel hands back an empty name.
    EXPECT_EQ(dlg.FileName, c.throws ? QStringLiteral("kept") : QString());
  }
}

TEST_F(CommonDialogTest, FileMustExistRefusesAMissingName) {
  dlg.CancelError = true;
  dlg.Flags = kOfnFileMustExist;
  dlg.FileName = Q(dir / "seed");
  bool still_open = false;
  WhenModal([&](QWidget* m) {
    TypeAndAccept(m, QStringLiteral("missing.htm"));
    still_open = m->isVisible();
    // Qt may say why in a box of its own; close whatever is on top, then cancel.
    if (QWidget* box = QApplication::activeModalWidget(); box != m && box != nullptr) box->close();
    PressCancel(m);
  });
  EXPECT_THROW(dlg.ShowOpen(), CommonDialogError);
  EXPECT_TRUE(still_open);
}

TEST_F(CommonDialogTest, SaveAsksBeforeOverwritingOnlyWithThePromptFlag) {
  dir.write("old.htm", "x");
  const struct {
    std::uint32_t flags;
    bool asks;
  } cases[] = {{kOfnOverwritePrompt | kOfnExplorer, true}, {kOfnExplorer, false}};
  for (const auto& c : cases) {
    dlg.Flags = c.flags;
    dlg.FileName = Q(dir / "old.htm");
    bool asked = false;
    WhenModal([&](QWidget* m) {
      if (c.asks) {
        WhenModal(
            [&](QWidget* box) {
              asked = qobject_cast<QMessageBox*>(box) != nullptr;
              qobject_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click();
            },
            m);
      }
      TypeAndAccept(m, QStringLiteral("old.htm"));
    });
    dlg.ShowSave();
    EXPECT_EQ(asked, c.asks);
    EXPECT_EQ(dlg.FileName, Q(dir / "old.htm"));
  }
}

TEST_F(CommonDialogTest, SaveTakesANameWithoutExtensionAsTyped) {
  dlg.Flags = kOfnOverwritePrompt;
  dlg.FileName = Q(dir / "seed.htm");
  WhenModal([&](QWidget* m) { TypeAndAccept(m, QStringLiteral("noext")); });
  dlg.ShowSave();
  EXPECT_EQ(dlg.FileName, Q(dir / "noext"));
}

TEST_F(CommonDialogTest, ANameLongerThanTheBufferIsAnError) {
  dir.write("longer-than-ten.htm", "x");
  dlg.MaxFileSize = 10;
  dlg.FileName = Q(dir / "longer-than-ten.htm");
  WhenModal([&](QWidget* m) { TypeAndAccept(m, QStringLiteral("longer-than-ten.htm")); });
  try {
    dlg.ShowOpen();
    ADD_FAILURE() << "no error";
  } catch (const CommonDialogError& e) {
    EXPECT_EQ(e.number(), kBufferTooSmallNumber);
  }
  EXPECT_TRUE(dlg.FileName.isEmpty());
}

// Typed names are taken as typed, wherever they lie and whatever the filter
// shows. "@" in a typed name or an expected path stands for the temp folder.
TEST_F(CommonDialogTest, TypedNamesAreTakenAsTyped) {
  const struct {
    const char* what;
    const char* filter;
    const char* typed;
    QStringList want;     // FileNames
    const char* classic;  // FileName, '|' for NUL
  } cases[] = {
      {"two folders, a same-named file in the first",
       "",
       R"("@/dirA/a.htm" "@/dirB/same.htm")",
       {"@/dirA/a.htm", "@/dirB/same.htm"},
       "|@/dirA/a.htm|@/dirB/same.htm"},
      {"hidden by the filter",
       "HTML Files(*.htm;*.html)|*.htm;*.html",
       R"("a.html" "b.php")",
       {"@/dirA/a.html", "@/dirA/b.php"},
       "@/dirA|a.html|b.php"},
      {"in the typed order",
       "",
       R"("b.php" "a.html")",
       {"@/dirA/b.php", "@/dirA/a.html"},
       "@/dirA|b.php|a.html"},
  };
  std::filesystem::create_directories(dir / "dirA");
  std::filesystem::create_directories(dir / "dirB");
  for (const char* n :
       {"dirA/a.htm", "dirA/same.htm", "dirA/a.html", "dirA/b.php", "dirB/same.htm"})
    dir.write(n, "x");
  const QString root = Q(dir.path());
  auto fill = [&](QString s) { return s.replace(QLatin1Char('@'), root); };
  for (const auto& c : cases) {
    dlg.Flags = kOfnAllowMultiSelect | kOfnFileMustExist;
    dlg.MaxFileSize = 32767;
    dlg.Filter = QString::fromLatin1(c.filter);
    dlg.FileName = Q(dir / "dirA" / "a.htm");
    WhenModal([&](QWidget* m) { TypeAndAccept(m, fill(QString::fromLatin1(c.typed))); });
    dlg.ShowOpen();
    QStringList want;
    for (const QString& w : c.want) want << fill(w);
    EXPECT_EQ(dlg.FileNames, want) << c.what;
    EXPECT_EQ(dlg.FileName,
              fill(QString::fromLatin1(c.classic)).replace(QLatin1Char('|'), QChar(0)))
        << c.what;
  }
}

TEST_F(CommonDialogTest, AMissingTypedNameKeepsTheDialogOpen) {
  dir.write("a.html", "x");
  dlg.CancelError = true;
  dlg.Flags = kOfnAllowMultiSelect | kOfnFileMustExist;
  dlg.Filter = QStringLiteral("HTML Files(*.htm;*.html)|*.htm;*.html");
  dlg.FileName = Q(dir / "a.html");
  QString said;
  WhenModal([&](QWidget* m) {
    WhenModal(
        [&](QWidget* box) {
          said = qobject_cast<QMessageBox*>(box)->text();
          box->close();
        },
        m);
    TypeAndAccept(m, QStringLiteral(R"("a.html" "gone.php")"));
    PressCancel(m);
  });
  EXPECT_THROW(dlg.ShowOpen(), CommonDialogError);
  EXPECT_TRUE(said.startsWith(QStringLiteral("gone.php\n"))) << said.toStdString();
  EXPECT_TRUE(dlg.FileNames.isEmpty());
}

// More names than the classic string holds: all of them still come back, and
// the classic string keeps the whole pieces that fit.
TEST_F(CommonDialogTest, ALargeSelectionIsChosenWhole) {
  constexpr int kFiles = 2000;
  QStringList want;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name =
        "a-page-with-a-rather-long-descriptive-file-name-" + std::to_string(i) + ".htm";
    dir.write(name, "x");
    want << Q(dir / name);
  }
  dlg.Flags = kOfnAllowMultiSelect | kOfnFileMustExist;
  dlg.MaxFileSize = 32767;
  dlg.FileName = want.front();
  WhenModal([&](QWidget* m) {
    auto* view = m->findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return view->model()->rowCount(view->rootIndex()) == kFiles; }, 10000));
    // As after a click into the list: the name box loses the focus, and Qt
    // writes the selection into it.
    auto* edit = m->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    edit->clearFocus();
    view->selectAll();
    EXPECT_TRUE(edit->text().startsWith(QLatin1Char('"')));
    m->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
  });
  dlg.ShowOpen();
  QStringList got = dlg.FileNames;
  got.sort();
  want.sort();
  EXPECT_EQ(got, want);
  QStringList pieces = dlg.FileName.split(QChar(0));
  EXPECT_LE(dlg.FileName.size(), dlg.MaxFileSize);
  ASSERT_GT(pieces.size(), 100);
  EXPECT_EQ(pieces.takeFirst(), Q(dir.path()));
  for (const QString& p : pieces)
    EXPECT_TRUE(want.contains(Q(dir.path()) + QLatin1Char('/') + p)) << p.toStdString();
}

}  // namespace
}  // namespace brevio::app

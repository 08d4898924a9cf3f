#include "brevio/app/common_dialog.h"

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "brevio/forms/file_dialog.h"
#include "tests/support/modal_driver.h"
#include "tests/support/temp_dir.h"

namespace brevio::app {
namespace {

using forms::kOfnAllowMultiSelect;
using forms::kOfnExplorer;
using forms::kOfnFileMustExist;
using forms::kOfnOverwritePrompt;

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
  // Shows the dialog as the window logic asks for it; the paths chosen, or
  // nothing after Cancel.
  std::optional<QStringList> Show(bool save, std::uint32_t flags, const QString& initial,
                                  const char* filter = "") {
    return dlg.Run({save, flags, filter, initial.toStdString()});
  }

  TempDir dir;
  CommonDialog dlg{nullptr};
};

TEST_F(CommonDialogTest, OpensAtTheLastNameAndReturnsTheChosenFullPath) {
  dir.write("page.htm", "x");
  QString suggested;
  WhenModal([&](QWidget* m) {
    EXPECT_EQ(qobject_cast<QFileDialog*>(m)->fileMode(), QFileDialog::ExistingFile);
    suggested = m->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
    TypeAndAccept(m, QStringLiteral("page.htm"));
  });
  EXPECT_EQ(Show(false, kOfnFileMustExist | kOfnExplorer, Q(dir / "page.htm")),
            QStringList{Q(dir / "page.htm")});
  EXPECT_EQ(suggested, QStringLiteral("page.htm"));
  WhenModal(PressCancel);
  EXPECT_EQ(Show(false, kOfnFileMustExist, Q(dir / "page.htm")), std::nullopt);
}

TEST_F(CommonDialogTest, SaveAsksBeforeOverwritingOnlyWithThePromptFlag) {
  dir.write("old.htm", "x");
  const struct {
    std::uint32_t flags;
    bool asks;
  } cases[] = {{kOfnOverwritePrompt | kOfnExplorer, true}, {kOfnExplorer, false}};
  for (const auto& c : cases) {
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
    EXPECT_EQ(Show(true, c.flags, Q(dir / "old.htm")), QStringList{Q(dir / "old.htm")});
    EXPECT_EQ(asked, c.asks);
  }
}

TEST_F(CommonDialogTest, SaveTakesANameWithoutExtensionAsTyped) {
  WhenModal([&](QWidget* m) { TypeAndAccept(m, QStringLiteral("noext")); });
  EXPECT_EQ(Show(true, kOfnOverwritePrompt, Q(dir / "seed.htm")), QStringList{Q(dir / "noext")});
}

// Typed names are taken as typed, wherever they lie and whatever the filter
// shows. "@" in a typed name or an expected path stands for the temp folder.
TEST_F(CommonDialogTest, TypedNamesAreTakenAsTyped) {
  const struct {
    const char* what;
    const char* filter;
    const char* typed;
    QStringList want;
  } cases[] = {
      {"two folders, a same-named file in the first",
       "",
       R"("@/dirA/a.htm" "@/dirB/same.htm")",
       {"@/dirA/a.htm", "@/dirB/same.htm"}},
      {"hidden by the filter",
       "HTML Files(*.htm;*.html)|*.htm;*.html",
       R"("a.html" "b.php")",
       {"@/dirA/a.html", "@/dirA/b.php"}},
      {"in the typed order", "", R"("b.php" "a.html")", {"@/dirA/b.php", "@/dirA/a.html"}},
      {"a name holding a quote", "", R"("q"x.htm" "a.html")", {"@/dirA/q\"x.htm", "@/dirA/a.html"}},
  };
  std::filesystem::create_directories(dir / "dirA");
  std::filesystem::create_directories(dir / "dirB");
  for (const char* n : {"dirA/a.htm", "dirA/same.htm", "dirA/a.html", "dirA/b.php", "dirB/same.htm",
                        "dirA/q\"x.htm"})
    dir.write(n, "x");
  const QString root = Q(dir.path());
  auto fill = [&](QString s) { return s.replace(QLatin1Char('@'), root); };
  for (const auto& c : cases) {
    WhenModal([&](QWidget* m) { TypeAndAccept(m, fill(QString::fromLatin1(c.typed))); });
    QStringList want;
    for (const QString& w : c.want) want << fill(w);
    EXPECT_EQ(
        Show(false, kOfnAllowMultiSelect | kOfnFileMustExist, Q(dir / "dirA" / "a.htm"), c.filter),
        want)
        << c.what;
  }
}

TEST_F(CommonDialogTest, AMissingTypedNameKeepsTheDialogOpen) {
  dir.write("a.html", "x");
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
  EXPECT_EQ(Show(false, kOfnAllowMultiSelect | kOfnFileMustExist, Q(dir / "a.html"),
                 "HTML Files(*.htm;*.html)|*.htm;*.html"),
            std::nullopt);
  EXPECT_TRUE(said.startsWith(QStringLiteral("gone.php\n"))) << said.toStdString();
}

// More names than the name box's default limit: all of them come back.
TEST_F(CommonDialogTest, ALargeSelectionIsChosenWhole) {
  constexpr int kFiles = 2000;
  QStringList want;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name =
        "a-page-with-a-rather-long-descriptive-file-name-" + std::to_string(i) + ".htm";
    dir.write(name, "x");
    want << Q(dir / name);
  }
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
  std::optional<QStringList> got =
      Show(false, kOfnAllowMultiSelect | kOfnFileMustExist, want.front());
  ASSERT_TRUE(got);
  got->sort();
  want.sort();
  EXPECT_EQ(*got, want);
}

}  // namespace
}  // namespace brevio::app

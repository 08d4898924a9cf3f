#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>
#include <functional>

#include "tarnex/services/folders.h"
#include "tests/support/temp_dir.h"
#include "tests/tarnex/services/case_name.h"
#include "tests/tarnex/services/modal_driver.h"

namespace {

namespace fs = std::filesystem;
using brevio::testing::TempDir;
using tarnex::testing::ModalDriver;
using tarnex::testing::NoWindowOpen;

class FolderGuiTest : public testing::Test {
 protected:
  void TearDown() override { EXPECT_TRUE(NoWindowOpen()); }
};

// Types `path` into the chooser and confirms it; records what it saw.
struct ChooserSeen {
  QString title;
  QWidget* parent = nullptr;
  bool directories_only = false;
};

std::string Choose(const QString& path, std::int32_t hwnd, ChooserSeen* seen, bool cancel = false) {
  ModalDriver driver([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->objectName(), tarnex::kChooseFolderDialogName);
    seen->title = dialog->windowTitle();
    seen->parent = dialog->parentWidget();
    seen->directories_only = dialog->fileMode() == QFileDialog::Directory &&
                             dialog->testOption(QFileDialog::ShowDirsOnly);
    if (cancel) {
      dialog->reject();
      return;
    }
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(path);
    QMetaObject::invokeMethod(dialog, "accept");
  });
  std::string result = tarnex::ChooseFolder(hwnd);
  EXPECT_EQ(driver.count(), 1);
  return result;
}

TEST_F(FolderGuiTest, ChooserReturnsTheFolderAsChosen) {
  TempDir dir;
  fs::create_directories(dir / "out dir");
  struct Case {
    QString typed;
    std::string result;
  } cases[] = {
      {QString::fromStdString((dir / "out dir").string()), (dir / "out dir").string()},
      {QString::fromStdString((dir / "out dir").string() + "/"), (dir / "out dir").string()},
      {"/", "/"},
  };
  for (const Case& c : cases) {
    ChooserSeen seen;
    EXPECT_EQ(Choose(c.typed, 0, &seen), c.result) << c.typed.toStdString();
    EXPECT_EQ(seen.title, "Please choose a folder to save the output files");
    EXPECT_TRUE(seen.directories_only);
    EXPECT_EQ(seen.parent, nullptr);
  }
}

TEST_F(FolderGuiTest, CancelGivesEmptyAndTheOwnerIsTheWindowOfTheHandle) {
  QWidget owner;
  owner.show();
  const auto hwnd = static_cast<std::int32_t>(owner.winId());
  ChooserSeen seen;
  EXPECT_EQ(Choose({}, hwnd, &seen, /*cancel=*/true), "");
  EXPECT_EQ(seen.parent, &owner);
  EXPECT_EQ(Choose({}, hwnd + 1000, &seen, true), "");  // unknown handle: no owner
  EXPECT_EQ(seen.parent, nullptr);
  owner.close();
}

// Whatever folder a file dialog showed before, the chooser opens at the root
// with nothing selected, and confirming at once takes the root: never the
// folder the files were just added from.
TEST_F(FolderGuiTest, ChooserStartsAtTheRootWithNothingSelected) {
  TempDir dir;
  fs::create_directories(dir / "sources");
  const QString sources = QString::fromStdString((dir / "sources").string());
  const struct {
    const char* what;
    std::function<void()> before;
  } cases[] = {
      {"after a file dialog in the sources",
       [&] {
         QFileDialog visited(nullptr, QString(), sources);
         visited.setOption(QFileDialog::DontUseNativeDialog);
         ModalDriver driver([](QWidget* m) { QMetaObject::invokeMethod(m, "reject"); });
         visited.exec();
       }},
      {"after the chooser picked the sources",
       [&] {
         ChooserSeen seen;
         EXPECT_EQ(Choose(sources, 0, &seen), sources.toStdString());
       }},
  };
  for (const auto& c : cases) {
    c.before();
    QString shown = QStringLiteral("(not shown)");
    QString typed;
    qsizetype selected = -1;
    bool can_confirm = false;
    ModalDriver driver([&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      ASSERT_NE(dialog, nullptr);
      shown = dialog->directory().absolutePath();
      typed = dialog->findChild<QLineEdit*>("fileNameEdit")->text();
      selected = dialog->findChild<QListView*>("listView")->selectionModel()->selectedRows().size();
      // Enter presses the default button.
      QPushButton* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
      can_confirm = ok->isEnabled() && ok->isDefault();
      ok->click();
    });
    EXPECT_EQ(tarnex::ChooseFolder(0), "/") << c.what;
    EXPECT_EQ(shown.toStdString(), "/") << c.what;
    EXPECT_EQ(typed.toStdString(), "") << c.what;
    EXPECT_EQ(selected, 0) << c.what;
    EXPECT_TRUE(can_confirm) << c.what;
  }
}

struct MakeDirCase {
  const char* what;
  std::string dir;                  // "T" stands for the temp folder
  std::vector<std::string> exist;   // folders made first ("=file" suffix makes a file)
  std::vector<std::string> expect;  // folders that must exist afterwards
  bool error;
};

class MakeDirGuiTest : public FolderGuiTest, public testing::WithParamInterface<MakeDirCase> {};

TEST_P(MakeDirGuiTest, CreatesLevelsOrReportsTheFirstFailure) {
  const MakeDirCase& c = GetParam();
  TempDir tmp;
  auto fill = [&](std::string s) {
    if (s.rfind("T", 0) == 0) s.replace(0, 1, tmp.path().string());
    return s;
  };
  for (const std::string& e : c.exist) {
    if (e.size() > 5 && e.substr(e.size() - 5) == "=file") {
      tmp.write(e.substr(0, e.size() - 5), "x");
    } else {
      fs::create_directories(tmp / e);
    }
  }
  const std::string dir = fill(c.dir);
  QString text, title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  ModalDriver driver([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->objectName(), tarnex::kMakeDirErrorBoxName);
    text = box->text();
    title = box->windowTitle();
    icon = box->icon();
    buttons = box->standardButtons();
    box->button(QMessageBox::Ok)->click();
  });
  tarnex::MakeDirLevels(dir);
  EXPECT_EQ(driver.count(), c.error ? 1 : 0) << c.what;
  if (c.error) {
    EXPECT_EQ(text.toStdString(), "Create directory error: " + dir) << c.what;
    EXPECT_EQ(title, "Error");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, QMessageBox::Ok);
  }
  for (const std::string& e : c.expect)
    EXPECT_TRUE(fs::is_directory(tmp / e)) << c.what << ": " << e;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MakeDirGuiTest,
    testing::Values(MakeDirCase{"all levels exist", "T/a/b", {"a/b"}, {"a/b"}, false},
                    MakeDirCase{"missing levels made top down", "T/a/b/c", {"a"}, {"a/b/c"}, false},
                    MakeDirCase{"doubled separators", "T//a//b", {}, {"a/b"}, false},
                    MakeDirCase{"blank piece skipped", "T/a/ /b/  /", {}, {"a/b"}, false},
                    MakeDirCase{"trailing separator", "T/a/", {}, {"a"}, false},
                    MakeDirCase{"spaces inside a name kept", "T/ a b/c ", {}, {" a b/c "}, false},
                    MakeDirCase{
                        "a level exists as a file", "T/a/f/g", {"a", "a/f=file"}, {"a"}, true},
                    MakeDirCase{"stops at the first failure", "T/f/x", {"f=file"}, {}, true},
                    MakeDirCase{"empty path does nothing", "", {}, {}, false},
                    MakeDirCase{"only separators do nothing", "/ //", {}, {}, false}),
    tarnex::testing::CaseName());

TEST_F(FolderGuiTest, RelativePathIsTakenFromTheCurrentFolder) {
  TempDir tmp;
  const fs::path old = fs::current_path();
  fs::current_path(tmp.path());
  tarnex::MakeDirLevels("r1/r2");
  fs::current_path(old);
  EXPECT_TRUE(fs::is_directory(tmp / "r1" / "r2"));
}

}  // namespace

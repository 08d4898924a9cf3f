#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>
#include <functional>

#include "tarnex/services/desktop.h"
#include "tests/support/modal_driver.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using brevio::testing::TempDir;
using brevio::testing::WhenModal;

class FolderGuiTest : public testing::Test {
 protected:
  void SetUp() override { brevio::testing::StartModalWatchdog(); }
  void TearDown() override {
    brevio::testing::CancelPendingModals();
    EXPECT_EQ(brevio::testing::VisibleTopLevels(), 0);
  }
};

// Types `path` into the chooser and confirms it; records what it saw.
struct ChooserSeen {
  QString title;
  QWidget* parent = nullptr;
  bool directories_only = false;
};

std::string Choose(const QString& path, std::int32_t hwnd, ChooserSeen* seen, bool cancel = false) {
  int shown = 0;
  WhenModal([&](QWidget* modal) {
    ++shown;
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
  EXPECT_EQ(shown, 1);
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
         WhenModal([](QWidget* m) { QMetaObject::invokeMethod(m, "reject"); });
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
    WhenModal([&](QWidget* modal) {
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

TEST_F(FolderGuiTest, ErrorBoxIsCriticalTitledErrorWithOk) {
  QString text, title, name;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  int shown = 0;
  WhenModal([&](QWidget* modal) {
    ++shown;
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    name = box->objectName();
    text = box->text();
    title = box->windowTitle();
    icon = box->icon();
    buttons = box->standardButtons();
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_TRUE(tarnex::ShowErrorBox("Create directory error: /x/\u00e9", "msgSomething"));
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(text.toStdString(), "Create directory error: /x/\u00e9");
  EXPECT_EQ(name, "msgSomething");
  EXPECT_EQ(title, "Error");
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(buttons, QMessageBox::Ok);
}

}  // namespace

// What every window test starts from: a scratch registry with TARNEX.so
// registered in it (unless a test wants it missing), a recording browser, and
// a main window shown as at start.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest/QTest>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "brevio/app/frm_main.h"
#include "tests/support/modal_driver.h"
#include "tests/support/recorded_starts.h"
#include "tests/support/temp_dir.h"

namespace brevio::app {

// Fills the list without a dialog: a file dropped on it is added as Add adds it.
class FrmMainTestPeer {
 public:
  static void AddFileToList(frmMain& w, const QString& path) {
    w.form().ListView1_Drop({path.toStdString()});
  }
  // Empties the list through the form, which keeps the rows.
  static void ClearList(frmMain& w) {
    for (std::size_t r = 0; r < w.form().rows().size(); ++r)
      w.form().ListView1_Tick(static_cast<int>(r), true);
    w.form().cmdRemove_Click();
  }
};

namespace testing_support {

using brevio::testing::TempDir;
using brevio::testing::WhenModal;

inline QString Q(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

inline QString BinFolder() { return QCoreApplication::applicationDirPath(); }

// Registers build/bin/TARNEX.so into the registry that XDG_CONFIG_HOME points at.
inline bool RegisterTarnex() {
  const QString path = BinFolder() + QStringLiteral("/TARNEX.so");
  const comrt::ServerCall call =
      comrt::CallServerExport(QFile::encodeName(path).toStdString(), "DllRegisterServer");
  return call.step == comrt::ServerStep::kCall && SUCCEEDED(call.hr);
}

using brevio::testing::PressCancel;
using brevio::testing::TypeAndAccept;

// What a message box said; the box is closed with OK.
struct Box {
  bool shown = false;
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

inline void ReadAndClose(QWidget* modal, Box& box) {
  auto* m = qobject_cast<QMessageBox*>(modal);
  ASSERT_NE(m, nullptr) << modal->metaObject()->className();
  box = {true, m->windowTitle(), m->text(), m->icon()};
  m->button(QMessageBox::Ok)->click();
}

class AppTest : public ::testing::Test {
 protected:
  // How long a batch run may take to end: a few small files, but on a loaded
  // machine under the sanitizers the worker thread can wait seconds for a core.
  static constexpr int kRunEndsMs = brevio::testing::kModalPatienceMs;

  void SetUp() override {
    // Closing the window must not stop the dialogs' loops of a later test.
    QApplication::setQuitOnLastWindowClosed(false);
    brevio::testing::StartModalWatchdog();
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    setenv("BROWSER", BREVIO_RECORD_ARGS, 1);
    std::filesystem::create_directory(config / "browser");
    setenv("BREVIO_RECORD_DIR", (config / "browser").c_str(), 1);
    if (RegisterLibrary()) {
      ASSERT_TRUE(RegisterTarnex());
    }
    window = std::make_unique<frmMain>(TarnexCreator(QString()));
    window->ShowCentred();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  void TearDown() override {
    brevio::testing::CancelPendingModals();
    if (window) window->close();
    window.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(brevio::testing::VisibleTopLevels(), 0);
  }

  virtual bool RegisterLibrary() const { return true; }

  template <class T>
  T* Find(const char* name) const {
    T* w = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QTreeWidget* List() const { return Find<QTreeWidget>("ListView1"); }
  void Click(const char* button) { Find<QPushButton>(button)->click(); }

  // Clicks a button whose handler opens one modal box, reads and closes it.
  Box ClickForBox(const char* button) {
    Box box;
    WhenModal([&](QWidget* m) { ReadAndClose(m, box); });
    Click(button);
    return box;
  }

  // Adds files through the real Add dialog: names in one folder.
  void AddThroughDialog(const std::filesystem::path& folder, const QStringList& names) {
    QString typed;
    for (const QString& n : names)
      typed += (names.size() > 1 ? QStringLiteral("\"%1\" ").arg(n) : n);
    WhenModal([&](QWidget* m) {
      auto* d = qobject_cast<QFileDialog*>(m);
      ASSERT_NE(d, nullptr);
      d->setDirectory(Q(folder));
      d->selectNameFilter(d->nameFilters().constLast());  // All Files
      // Wait until the folder is listed, as a person sees the files before picking.
      auto* view = d->findChild<QListView*>(QStringLiteral("listView"));
      ASSERT_NE(view, nullptr);
      EXPECT_TRUE(QTest::qWaitFor(
          [&] { return view->model()->rowCount(view->rootIndex()) >= names.size(); }));
      TypeAndAccept(m, typed.trimmed());
    });
    Click("cmdAdd");
  }

  // Arguments the recording browser was started with, waiting (bounded) for `count`.
  std::vector<std::string> BrowserCalls(std::size_t count) const {
    std::vector<std::string> args;
    for (int tries = 0; tries < 500; ++tries) {
      args.clear();
      for (const auto& start : brevio::testing::ReadRecordedStarts(config / "browser"))
        args.insert(args.end(), start.argv.begin() + 1, start.argv.end());
      if (args.size() >= count) break;
      QTest::qWait(10);
    }
    return args;
  }

  TempDir config;
  TempDir files;
  std::unique_ptr<frmMain> window;
};

}  // namespace testing_support
}  // namespace brevio::app

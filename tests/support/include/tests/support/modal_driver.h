// Drives modal dialogs and boxes the way a person would: wait until one is up,
// then act on it.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <QtTest/QTest>
#include <functional>
#include <memory>
#include <ostream>

// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace brevio::testing {

// How long a dialog may take to come up, or stay up unattended. Generous: on a
// loaded machine under the sanitizers a short run behind a dialog can take
// seconds. The bound only keeps a missed dialog from hanging a test.
inline constexpr int kModalPatienceMs = 60000;

// Runs `action` on the next modal widget that is not `previous`, once it is
// shown. Polls from the event loop, so call it before the code that opens the
// dialog. Gives up after kModalPatienceMs (the test then fails on its own
// checks; the dialog is closed so the test cannot hang).
// Owns the waiting timers, so a test can drop those still waiting when it ends.
inline QObject& PendingModals() {
  static QObject owner;
  return owner;
}

inline void CancelPendingModals() {
  const auto timers = PendingModals().findChildren<QTimer*>();
  for (QTimer* t : timers) delete t;
}

inline void WhenModal(std::function<void(QWidget*)> action, QWidget* previous = nullptr) {
  constexpr int kPollMs = 10;
  auto remaining = std::make_shared<int>(kModalPatienceMs / kPollMs);
  auto timer = new QTimer(&PendingModals());
  timer->setInterval(kPollMs);
  QObject::connect(timer, &QTimer::timeout, [timer, remaining, previous, action] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != previous && modal->isVisible()) {
      timer->stop();
      timer->deleteLater();
      action(modal);
      return;
    }
    if (--*remaining == 0) {
      timer->stop();
      timer->deleteLater();
      // Nobody came to act: close whatever dialog is up so the test cannot hang.
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->isModal()) w->close();
      }
    }
  });
  timer->start();
}

// A net under every GUI test: a modal widget nobody has acted on for
// kModalPatienceMs is reported and closed, so a missed dialog fails a test
// instead of hanging it.
inline void StartModalWatchdog() {
  static QTimer* watchdog = nullptr;
  if (watchdog != nullptr) return;
  watchdog = new QTimer;
  auto stale = std::make_shared<std::pair<QWidget*, int>>(nullptr, 0);
  QObject::connect(watchdog, &QTimer::timeout, [stale] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal != stale->first) {
      *stale = {modal, 0};
      return;
    }
    if (++stale->second < kModalPatienceMs / 1000) return;
    QString text = modal->windowTitle();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) text += QStringLiteral(": ") + box->text();
    ADD_FAILURE() << "a " << modal->metaObject()->className()
                  << " stayed open: " << text.toStdString();
    modal->close();
    *stale = {nullptr, 0};
  });
  watchdog->start(1000);
}

// Types into a file dialog's name box and presses its accept button. Waits for
// the folder listing first: the dialog applies its initial selection once the
// listing arrives, and that would override what was typed.
inline void TypeAndAccept(QWidget* modal, const QString& text) {
  auto* dialog = qobject_cast<QFileDialog*>(modal);
  ASSERT_NE(dialog, nullptr) << (modal ? modal->metaObject()->className() : "none");
  if (auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"))) {
    (void)QTest::qWaitFor([&] { return view->model()->rowCount(view->rootIndex()) > 0; }, 2000);
    QTest::qWait(20);
  }
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(edit, nullptr);
  edit->setText(text);
  auto* buttons = dialog->findChild<QDialogButtonBox*>();
  ASSERT_NE(buttons, nullptr);
  QPushButton* ok =
      buttons->button(dialog->acceptMode() == QFileDialog::AcceptSave ? QDialogButtonBox::Save
                                                                      : QDialogButtonBox::Open);
  ASSERT_NE(ok, nullptr);
  ok->click();
}

inline void PressCancel(QWidget* modal) {
  auto* dialog = qobject_cast<QFileDialog*>(modal);
  ASSERT_NE(dialog, nullptr);
  dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
}

// Every top-level widget that is still visible.
inline int VisibleTopLevels() {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) n += w->isVisible() ? 1 : 0;
  return n;
}

}  // namespace brevio::testing

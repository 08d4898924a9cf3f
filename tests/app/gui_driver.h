// Drives modal dialogs and boxes the way a person would: wait until one is up,
// then act on it.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <ostream>

// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace brevio::testing {

// Runs `action` on the next modal widget that is not `previous`, once it is
// shown. Polls from the event loop, so call it before the code that opens the
// dialog. Gives up after a few seconds (the test then fails on its own checks;
// the dialog is closed so the test cannot hang).
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
  auto remaining = std::make_shared<int>(500);
  auto timer = new QTimer(&PendingModals());
  timer->setInterval(10);
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
      if (modal != nullptr) modal->close();
    }
  });
  timer->start();
}

// Every top-level widget that is still visible.
inline int VisibleTopLevels() {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) n += w->isVisible() ? 1 : 0;
  return n;
}

}  // namespace brevio::testing

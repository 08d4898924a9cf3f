#pragma once
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace tarnex::testing {

// Polls for the active modal widget while a modal call runs and hands each
// one that appears to `handle`, which must close it. The count tells how
// many appeared.
class ModalDriver {
 public:
  explicit ModalDriver(std::function<void(QWidget*)> handle) : handle_(std::move(handle)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != last_) {
        last_ = modal;
        ++count_;
        handle_(modal);
      }
    });
    timer_.start(10);
  }
  int count() const { return count_; }

 private:
  std::function<void(QWidget*)> handle_;
  QTimer timer_;
  QWidget* last_ = nullptr;
  int count_ = 0;
};

// No window of any test may stay open after it.
inline bool NoWindowOpen() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible()) return false;
  }
  return true;
}

}  // namespace tarnex::testing

#include "tarnex/services/window_order.h"

#include <QWidget>

#include "tarnex/services/widgets.h"

namespace tarnex {

void SetTopWindow(std::int32_t hwnd, std::int16_t topmost) {
  QWidget* w = detail::TopLevelById(hwnd);
  if (w == nullptr) return;
  const bool on = topmost == -1;  // only the automation "true" pins the window
  if (w->windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
  // Changing a window flag hides the window and may move it: put both back.
  const QRect geometry = w->geometry();
  const bool visible = w->isVisible();
  w->setWindowFlag(Qt::WindowStaysOnTopHint, on);
  w->setGeometry(geometry);
  if (visible) {
    w->show();
  } else {
    // A hidden window comes back without a native window; make it again so
    // that the handle the caller holds keeps naming it.
    w->winId();
  }
}

}  // namespace tarnex

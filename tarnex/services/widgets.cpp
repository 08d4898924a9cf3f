#include "tarnex/services/widgets.h"

#include <QApplication>
#include <QWidget>

namespace tarnex::detail {

QApplication* WidgetApp() { return qobject_cast<QApplication*>(QCoreApplication::instance()); }

QWidget* TopLevelById(std::int32_t hwnd) {
  if (hwnd == 0 || WidgetApp() == nullptr) return nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    const WId id = w->internalWinId();
    // Handles cross the interface as 32 bits; compare them that way.
    if (id != 0 && static_cast<std::int32_t>(static_cast<std::uint32_t>(id)) == hwnd) return w;
  }
  return nullptr;
}

}  // namespace tarnex::detail

#pragma once
#include <cstdint>

class QApplication;
class QWidget;

namespace tarnex::detail {

// The running QApplication, or null for a command-line host (no instance, or
// only a QCoreApplication/QGuiApplication).
QApplication* WidgetApp();

// The top-level widget of this process whose window id, taken as 32 bits,
// equals `hwnd`; null for 0, an unknown id or no QApplication. Only windows
// that already have a native id are looked at: asking for one would create it.
QWidget* TopLevelById(std::int32_t hwnd);

}  // namespace tarnex::detail

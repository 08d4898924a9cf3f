#pragma once
#include <cstdint>
#include <string>

// What CTarnex does on the desktop: the folder chooser, the error box and
// window order. Three builds of one interface: with Qt Widgets (desktop_qt.cpp),
// for a host without a display (desktop_none.cpp), and on Windows with the
// platform's shell and window calls (desktop_win.cpp, paths with '\\'). The Qt
// build behaves like the one without a display when the process has no
// QApplication.
namespace tarnex {

// Object names, so that tests and people debugging find the dialogs.
inline constexpr const char* kChooseFolderDialogName = "dlgChooseFolder";
inline constexpr const char* kMakeDirErrorBoxName = "msgMakeDirError";

// Shows a modal folder chooser owned by the top-level window whose id is
// `hwnd` (none for 0 or an unknown id) and returns the chosen folder: "/" for
// the root, no trailing '/' otherwise; "" on cancel or without a display.
// It opens at the file-system root with nothing selected, whatever folder a
// file dialog showed before.
std::string ChooseFolder(std::int32_t hwnd);

// Shows `text` in a modal critical box titled "Error" with an OK button,
// named `object_name`. Returns false, showing nothing, without a display:
// the caller then tells its error stream.
bool ShowErrorBox(const std::string& text, const char* object_name);

// Keeps the top-level window of this process whose window id is `hwnd`
// above other windows (topmost == -1, the automation "true") or returns it
// to the ordinary band (any other value). Position, size and visibility are
// kept. Without a display, or for an unknown handle, nothing happens.
void SetTopWindow(std::int32_t hwnd, std::int16_t topmost);

}  // namespace tarnex

#pragma once
#include <cstdint>
#include <string>

namespace tarnex {

// Object names, so that tests and people debugging find the dialogs.
inline constexpr const char* kChooseFolderDialogName = "dlgChooseFolder";
inline constexpr const char* kMakeDirErrorBoxName = "msgMakeDirError";

// Shows a modal folder chooser owned by the top-level window whose id is
// `hwnd` (none for 0 or an unknown id) and returns the chosen folder: "/" for
// the root, no trailing '/' otherwise; "" on cancel or when the process has
// no QApplication. It opens at the file-system root with nothing selected,
// whatever folder a file dialog showed before.
std::string ChooseFolder(std::int32_t hwnd);

// Makes sure every level of `dir` exists, creating missing ones from the top
// down. On the first failure shows "Create directory error: " + dir in a
// critical box titled "Error" (or writes that line to stderr without a
// QApplication) and stops.
void MakeDirLevels(const std::string& dir);

}  // namespace tarnex

// dlgFile: the window's one file dialog, with the members the handlers use.
// The toolkit shows it (MainView::RunFileDialog); this keeps what the
// handlers read and set, and fills FileName the way the platform does.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "brevio/forms/form_view.h"

namespace brevio::forms {

inline constexpr std::uint32_t kOfnOverwritePrompt = 0x2;
inline constexpr std::uint32_t kOfnAllowMultiSelect = 0x200;
inline constexpr std::uint32_t kOfnFileMustExist = 0x1000;
inline constexpr std::uint32_t kOfnExplorer = 0x80000;
inline constexpr std::uint32_t kOfnLongNames = 0x200000;

inline constexpr int kCancelErrorNumber = 32755;
inline constexpr int kBufferTooSmallNumber = 20476;

// What ShowOpen/ShowSave throw: Cancel (when CancelError is set) or, for one
// chosen file, a path longer than MaxFileSize (FileNames still holds it).
class CommonDialogError : public std::runtime_error {
 public:
  explicit CommonDialogError(int number);
  int number() const { return number_; }

 private:
  int number_;
};

class FileDialog {
 public:
  bool CancelError = false;
  std::uint32_t Flags = 0;
  std::string Filter;
  // After an accepted dialog: one file's full path, or (several files) their
  // folder, then each name, NUL between the pieces. Files from several
  // folders give an empty folder piece followed by full paths. A
  // multi-select Open keeps only the whole pieces that fit in MaxFileSize
  // (never a folder alone) and does not fail for the length; otherwise a path
  // longer than MaxFileSize throws kBufferTooSmallNumber. Kept between uses:
  // the dialog opens where it names.
  std::string FileName;
  // Full path of every chosen file, in the order chosen, never cut short;
  // empty after Cancel. Read this rather than splitting FileName.
  std::vector<std::string> FileNames;
  int MaxFileSize = 256;

  void ShowOpen(MainView& view) { Show(view, false); }
  void ShowSave(MainView& view) { Show(view, true); }

  // "HTML Files(*.htm;*.html)|*.htm;*.html|All Files(*.*)|*.*" as
  // (description, patterns) pairs; a description without patterns is dropped.
  static std::vector<std::pair<std::string, std::string>> FilterPairs(const std::string& filter);

 private:
  void Show(MainView& view, bool save);
};

}  // namespace brevio::forms

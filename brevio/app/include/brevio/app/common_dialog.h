// dlgFile: the window's one file dialog, with the members the handlers use.
// Qt's own widget dialog (not the desktop's), so tests can drive it.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <stdexcept>

class QWidget;

namespace brevio::app {

// Open-dialog flags that take effect; the others (Explorer style, long names)
// describe what every Qt dialog already is.
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

class CommonDialog {
 public:
  explicit CommonDialog(QWidget* owner) : owner_(owner) {}

  bool CancelError = false;
  std::uint32_t Flags = 0;
  QString Filter;  // "description|pattern;pattern|description|pattern..."
  // Kept between uses; the dialog opens where it names. After an accepted
  // dialog: one file's full path, or (several files) their folder, then each
  // name, NUL between the pieces. Files from several folders give an empty
  // folder piece followed by full paths, so folder + "/" + piece still names
  // each file. A multi-select Open keeps only the whole pieces that fit in
  // MaxFileSize (never a folder alone) and does not fail for the length;
  // otherwise a path longer than MaxFileSize throws kBufferTooSmallNumber.
  QString FileName;
  // Full path of every chosen file, in the order chosen, never cut short;
  // empty after Cancel. Read this rather than splitting FileName.
  QStringList FileNames;
  int MaxFileSize = 256;

  void ShowOpen() { Show(false); }
  void ShowSave() { Show(true); }

  // The dialog's object name while it is shown, for tests and debugging.
  static constexpr const char* kObjectName = "dlgFile";

  // "HTML Files(*.htm;*.html)|*.htm;*.html|All Files(*.*)|*.*" as Qt name filters.
  static QStringList NameFilters(const QString& filter);

 private:
  void Show(bool save);

  QWidget* owner_;
  QString last_folder_;
};

}  // namespace brevio::app

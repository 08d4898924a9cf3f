#include "brevio/app/common_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace brevio::app {

CommonDialogError::CommonDialogError(int number)
    : std::runtime_error(number == kCancelErrorNumber ? "Cancel was selected."
                                                      : "The file name buffer is too small."),
      number_(number) {}

QStringList CommonDialog::NameFilters(const QString& filter) {
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList result;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    // Qt reads the patterns from the last parentheses; the description keeps its own.
    result << parts[i] + QStringLiteral(" (") + patterns.simplified() + QLatin1Char(')');
  }
  return result;
}

void CommonDialog::Show(bool save) {
  QFileDialog dialog(owner_);
  dialog.setObjectName(QString::fromLatin1(kObjectName));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  const QStringList filters = NameFilters(Filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);

  if (save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, (Flags & kOfnOverwritePrompt) == 0);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (Flags & kOfnAllowMultiSelect) {
      dialog.setFileMode(QFileDialog::ExistingFiles);
    } else if (Flags & kOfnFileMustExist) {
      dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
      dialog.setFileMode(QFileDialog::AnyFile);
    }
  }

  // The last name chosen is where the next dialog opens, as with the platform control.
  if (!FileName.isEmpty() && !FileName.contains(QChar(0))) {
    const QFileInfo info(FileName);
    dialog.setDirectory(info.absolutePath());
    dialog.selectFile(info.fileName());
  } else if (!last_folder_.isEmpty()) {
    dialog.setDirectory(last_folder_);
  }

  if (dialog.exec() != QDialog::Accepted) {
    if (CancelError) throw CommonDialogError(kCancelErrorNumber);
    FileName.clear();
    return;
  }

  const QStringList picked = dialog.selectedFiles();
  QString name;
  if (picked.size() == 1) {
    name = QDir::toNativeSeparators(picked.front());
  } else if (!picked.isEmpty()) {
    // Several files: the folder, then each name, NUL between the pieces.
    name = QDir::toNativeSeparators(QFileInfo(picked.front()).absolutePath());
    for (const QString& file : picked) name += QChar(0) + QFileInfo(file).fileName();
  }
  last_folder_ = dialog.directory().absolutePath();
  if (name.size() > MaxFileSize) {
    FileName.clear();
    throw CommonDialogError(kBufferTooSmallNumber);
  }
  FileName = name;
}

}  // namespace brevio::app

// The Qt face of dlgFile: shows the Open or Save dialog the window logic asks
// for and hands back the chosen paths. Qt's own widget dialog (not the
// desktop's), so tests can drive it.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

#include "brevio/forms/file_dialog.h"

class QWidget;

namespace brevio::app {

class CommonDialog {
 public:
  explicit CommonDialog(QWidget* owner) : owner_(owner) {}

  // Full paths in the order chosen, or nothing after Cancel. The dialog opens
  // at request.initial_name (a file is selected in its folder), else where the
  // last accepted one was left.
  std::optional<QStringList> Run(const forms::FileDialogRequest& request);

  // The dialog's object name while it is shown, for tests and debugging.
  static constexpr const char* kObjectName = "dlgFile";

  // "HTML Files(*.htm;*.html)|*.htm;*.html|All Files(*.*)|*.*" as Qt name filters.
  static QStringList NameFilters(const std::string& filter);

 private:
  QWidget* owner_;
  QString last_folder_;
};

}  // namespace brevio::app

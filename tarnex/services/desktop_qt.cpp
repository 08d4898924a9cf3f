// The desktop operations with Qt Widgets. A process without a QApplication
// (a command-line client) gets the answers of a host without a display.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QWidget>

#include "tarnex/services/desktop.h"

namespace tarnex {
namespace {

// The running QApplication, or null for a command-line host (no instance, or
// only a QCoreApplication/QGuiApplication).
QApplication* WidgetApp() { return qobject_cast<QApplication*>(QCoreApplication::instance()); }

// The top-level widget of this process whose window id, taken as 32 bits,
// equals `hwnd`; null for 0, an unknown id or no QApplication. Only windows
// that already have a native id are looked at: asking for one would create it.
QWidget* TopLevelById(std::int32_t hwnd) {
  if (hwnd == 0 || WidgetApp() == nullptr) return nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    const WId id = w->internalWinId();
    // Handles cross the interface as 32 bits; compare them that way.
    if (id != 0 && static_cast<std::int32_t>(static_cast<std::uint32_t>(id)) == hwnd) return w;
  }
  return nullptr;
}

}  // namespace

std::string ChooseFolder(std::int32_t hwnd) {
  if (WidgetApp() == nullptr) return {};
  QFileDialog dialog(TopLevelById(hwnd),
                     QStringLiteral("Please choose a folder to save the output files"));
  dialog.setObjectName(QString::fromLatin1(kChooseFolderDialogName));
  // Qt's own dialog looks the same on every desktop and can be driven by tests.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // Start at the top of the name space with nothing selected. Left alone, Qt
  // opens in the folder any file dialog visited last (shared in the process
  // and kept in its settings): that is the folder files were just added from,
  // and confirming it at once would write the output over the sources.
  // Confirming without a selection takes the folder shown, so it must be one
  // nobody keeps pages in.
  dialog.setDirectory(QDir::rootPath());
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return {};
  // cleanPath leaves "/" for the root and drops any other trailing separator.
  const QString folder = QDir::cleanPath(chosen.first());
  if (!QFileInfo(folder).isDir()) return {};
  const QByteArray bytes = QFile::encodeName(folder);
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

bool ShowErrorBox(const std::string& text, const char* object_name) {
  if (WidgetApp() == nullptr) return false;
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Ok);
  box.setObjectName(QString::fromLatin1(object_name));
  box.exec();
  return true;
}

void SetTopWindow(std::int32_t hwnd, std::int16_t topmost) {
  QWidget* w = TopLevelById(hwnd);
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

#include "tarnex/services/folders.h"

#include <sys/stat.h>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <cerrno>
#include <cstdio>

#include "tarnex/services/widgets.h"

namespace tarnex {
namespace {

void ReportMakeDirError(const std::string& dir) {
  const std::string text = "Create directory error: " + dir;
  if (detail::WidgetApp() == nullptr) {
    // A command-line host has no way to show a box: tell its error stream.
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    return;
  }
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Ok);
  box.setObjectName(QString::fromLatin1(kMakeDirErrorBoxName));
  box.exec();
}

// The level exists as a folder afterwards (made now or already there).
bool EnsureFolder(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (errno != ENOENT) return false;
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  // Someone else may have made it in the meantime.
  return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string ChooseFolder(std::int32_t hwnd) {
  if (detail::WidgetApp() == nullptr) return {};
  QFileDialog dialog(detail::TopLevelById(hwnd),
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

void MakeDirLevels(const std::string& dir_in) {
  // The file system and the box see the text up to its first NUL.
  const std::string dir = dir_in.substr(0, dir_in.find('\0'));
  // An absolute path keeps its root. (The Windows rule drops empty pieces and
  // with them a leading separator, which there means "the current drive";
  // on Linux it means the root, and dropping it would build the tree under
  // the current folder instead.)
  std::string running = !dir.empty() && dir.front() == '/' ? "/" : "";
  std::size_t start = 0;
  while (start < dir.size()) {
    const std::size_t slash = dir.find('/', start);
    const std::size_t end = slash == std::string::npos ? dir.size() : slash;
    const std::string_view piece = std::string_view(dir).substr(start, end - start);
    start = end + 1;
    if (piece.find_first_not_of(' ') == std::string_view::npos) continue;  // blank pieces
    running.append(piece).append("/");
    if (!EnsureFolder(running)) {
      ReportMakeDirError(dir);
      return;
    }
  }
}

}  // namespace tarnex

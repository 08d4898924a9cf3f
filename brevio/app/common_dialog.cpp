#include "brevio/app/common_dialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringList>
#include <cstdint>
#include <limits>

namespace brevio::app {
namespace {

// The names in the name box, in Qt's syntax: the whole text is one name
// unless it starts and ends with a quote; then it is quoted names with
// spaces between. A quote inside a name stays in it: only a quote at the
// start, at the end or next to the spaces between names closes one.
QStringList SplitTypedNames(const QString& text) {
  const QString trimmed = text.trimmed();
  const auto quote = QLatin1Char('"');
  if (trimmed.size() < 2 || !trimmed.startsWith(quote) || !trimmed.endsWith(quote)) {
    return text.isEmpty() ? QStringList{} : QStringList{text};
  }
  static const QRegularExpression kBetween(QStringLiteral("\"\\s+\""));
  QStringList names;
  for (const QString& name : trimmed.mid(1, trimmed.size() - 2).split(kBetween)) {
    if (!name.isEmpty()) names << name;
  }
  return names;
}

// Whether the name box holds just the selected files' names, in any order.
bool NamesTheSelection(const QString& text, const QStringList& selected) {
  if (selected.isEmpty()) return false;
  QStringList typed = selected.size() == 1 ? QStringList{text} : SplitTypedNames(text);
  QStringList names;
  for (const QString& path : selected) names << QFileInfo(path).fileName();
  typed.sort();
  names.sort();
  return typed == names;
}

// How Qt writes a selection into the name box: one plain name, or several
// quoted names separated by spaces.
QString SelectionText(const QStringList& paths) {
  if (paths.size() == 1) return QFileInfo(paths.front()).fileName();
  QStringList quoted;
  for (const QString& path : paths)
    quoted << QLatin1Char('"') + QFileInfo(path).fileName() + QLatin1Char('"');
  return quoted.join(QLatin1Char(' '));
}

// Qt's widget dialog, except that an Open dialog takes what the name box says.
// Qt prefers the view's selection, which misses typed names that the filter
// hides or that lie in another folder.
class FileDialog : public QFileDialog {
 public:
  explicit FileDialog(QWidget* owner) : QFileDialog(owner) {
    setOption(DontUseNativeDialog);
    // Qt writes a selection into the name box as quoted names; the box's
    // default limit of 32767 characters would cut a large selection short.
    if (auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
      edit->setMaxLength(std::numeric_limits<int>::max());
      // After Qt's own check, which splits names at every quote and so greys
      // Open for a name that holds one.
      connect(edit, &QLineEdit::textChanged, this, &FileDialog::AllowQuotedNames);
    }
  }

  // What was chosen, full paths in the order given; valid after exec() accepted.
  const QStringList& chosen() const { return chosen_; }

  void accept() override {
    if (acceptMode() == AcceptSave) {
      // Qt's own checks (overwrite prompt) and its single typed name serve here.
      QFileDialog::accept();
      chosen_ = selectedFiles();
      return;
    }
    auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    const QString text = edit != nullptr ? edit->text() : QString();
    const QStringList selected = selectedFiles();
    if (text.isEmpty() || text == SelectionText(selected) || NamesTheSelection(text, selected)) {
      // The box shows the selection: take the view's paths, which also keep
      // names that hold a quote.
      if (selected.isEmpty()) return;
      Take(selected, edit);
      return;
    }
    QStringList names = SplitTypedNames(text);
    // Without multi-select several quoted names are one (missing) name.
    if (fileMode() != ExistingFiles && names.size() > 1) names = QStringList{text};
    QStringList paths;
    for (const QString& name : names) paths << Resolve(name);
    Take(paths, edit);
  }

 private:
  void AllowQuotedNames(const QString& text) {
    if (acceptMode() != AcceptOpen || fileMode() != ExistingFiles) return;
    const QStringList names = SplitTypedNames(text);
    if (names.size() < 2) return;
    for (const QString& name : names) {
      if (!QFileInfo::exists(Resolve(name))) return;
    }
    if (auto* buttons = findChild<QDialogButtonBox*>()) {
      if (QPushButton* open = buttons->button(QDialogButtonBox::Open)) open->setEnabled(true);
    }
  }

  QString Resolve(const QString& name) const {
    if (QDir::isAbsolutePath(name)) return name;
    QString inside = directory().absolutePath() + QLatin1Char('/') + name;
    if (QFileInfo::exists(inside)) return inside;
    if (name == QLatin1String("~")) return QDir::homePath();
    if (name.startsWith(QLatin1String("~/"))) return QDir::homePath() + name.mid(1);
    return inside;
  }

  // Accepts `paths` unless one is a folder (then that folder is entered, as
  // Qt does) or one is missing where files must exist (then the dialog says so
  // and stays open).
  void Take(const QStringList& paths, QLineEdit* edit) {
    const bool must_exist = fileMode() != AnyFile;
    for (const QString& path : paths) {
      const QFileInfo info(path);
      if (info.isDir()) {
        setDirectory(info.absoluteFilePath());
        if (edit != nullptr) edit->clear();
        return;
      }
      if (must_exist && !info.exists()) {
        QMessageBox::warning(
            this, windowTitle(),
            tr("%1\nFile not found.\nPlease verify the correct file name was given.")
                .arg(info.fileName()));
        return;
      }
    }
    chosen_ = paths;
    done(Accepted);  // Qt's accept() would check its own reading of the names again
  }

  QStringList chosen_;
};

}  // namespace

QStringList CommonDialog::NameFilters(const std::string& filter) {
  QStringList result;
  for (const auto& [description, patterns] : forms::FileDialog::FilterPairs(filter)) {
    // Qt reads the patterns from the last parentheses; the description keeps its own.
    result << QString::fromStdString(description) + QStringLiteral(" (") +
                  QString::fromStdString(patterns)
                      .replace(QLatin1Char(';'), QLatin1Char(' '))
                      .simplified() +
                  QLatin1Char(')');
  }
  return result;
}

std::optional<QStringList> CommonDialog::Run(const forms::FileDialogRequest& request) {
  FileDialog dialog(owner_);
  dialog.setObjectName(QString::fromLatin1(kObjectName));
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  const QStringList filters = NameFilters(request.filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);

  const std::uint32_t flags = request.flags;
  if (request.save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, (flags & forms::kOfnOverwritePrompt) == 0);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (flags & forms::kOfnAllowMultiSelect) {
      dialog.setFileMode(QFileDialog::ExistingFiles);
    } else if (flags & forms::kOfnFileMustExist) {
      dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
      dialog.setFileMode(QFileDialog::AnyFile);
    }
  }

  // Set a folder always: a dialog left alone opens in Qt's shared "last
  // visited" folder, which the folder chooser also moves.
  const QString initial = QString::fromStdString(request.initial_name);
  if (!initial.isEmpty() && QFileInfo(initial).isDir()) {
    dialog.setDirectory(initial);
  } else if (!initial.isEmpty()) {
    const QFileInfo info(initial);
    dialog.setDirectory(info.absolutePath());
    dialog.selectFile(info.fileName());
  } else {
    dialog.setDirectory(last_folder_.isEmpty() ? QDir::currentPath() : last_folder_);
  }

  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  last_folder_ = dialog.directory().absolutePath();
  QStringList chosen;
  for (const QString& path : dialog.chosen()) chosen << QDir::toNativeSeparators(path);
  return chosen;
}

}  // namespace brevio::app

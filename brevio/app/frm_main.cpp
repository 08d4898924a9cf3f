#include "brevio/app/frm_main.h"

#include <dlfcn.h>

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QThread>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <type_traits>
#include <utility>
#include <variant>

#include "brevio/app/brevio_config.h"
#include "brevio/app/design_look.h"
#include "brevio/app/frm_about.h"
#include "brevio/app/gradient.h"
#include "brevio/app/message_box.h"
#include "brevio/app/window_support.h"
#include "brevio/engine/file_trim.h"
#include "brevio/engine/ratio_format.h"
#include "plain_reason.h"
#include "tarnex_client.h"

namespace brevio::app {
namespace {

constexpr std::uint32_t kGradientStart = 0xFFF6EB;  // RGB(235, 246, 255)
constexpr std::uint32_t kGradientEnd = 16700313;    // RGB(153, 211, 254)
constexpr int kClientWidthTwips = 8895;
constexpr int kClientHeightTwips = 6735;

const QString kHtmlFilter =
    QStringLiteral("HTML Files(*.htm;*.html)|*.htm;*.html|All Files(*.*)|*.*");
const QString kAddFilter = QStringLiteral(
    "HTML Files(*.htm;*.html)|*.htm;*.html|ASP Files(*.asp)|*.asp|PHP Files(*.php)|*.php|"
    "All Files(*.*)|*.*");

// What a folder dropped on the list contributes: the files the Add dialog's
// patterns show, one level deep, by name.
const QStringList kAddPatterns = {QStringLiteral("*.htm"), QStringLiteral("*.html"),
                                  QStringLiteral("*.asp"), QStringLiteral("*.php")};

// A caption as a screen reader should say it: without the access-key marker.
QString WithoutAccessKey(QString caption) { return caption.remove(QLatin1Char('&')); }

// The local files among dropped URLs; empty when there are none.
QStringList LocalFiles(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  const QList<QUrl> urls = data->urls();
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  return paths;
}

}  // namespace

// ---------------------------------------------------------------- CTarnex

QString TarnexCreator::InstalledLibraryFolder() {
  return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/brevio"));
}

HRESULT TarnexCreator::Create(comrt::ComPtr<_CTarnex>& out) const {
  HRESULT hr = CoCreateInstance(CLSID_CTarnex, nullptr, CLSCTX_INPROC_SERVER, IID__CTarnex,
                                reinterpret_cast<void**>(out.put()));
  if (hr != REGDB_E_CLASSNOTREG || library_folder_.isEmpty()) return hr;
  // First start of an installed copy: register the library that came with it, in
  // process, the way regsvr would, then try once more.
  const QString library = library_folder_ + QStringLiteral("/TARNEX.so");
  if (!QFileInfo(library).isFile()) return hr;
  const comrt::ServerCall registered =
      comrt::CallServerExport(QFile::encodeName(library).toStdString(), "DllRegisterServer");
  if (FAILED(registered.hr)) return hr;
  return CoCreateInstance(CLSID_CTarnex, nullptr, CLSCTX_INPROC_SERVER, IID__CTarnex,
                          reinterpret_cast<void**>(out.put()));
}

QString HelpSite() {
  QString configured = QString::fromUtf8(BREVIO_HELP_SITE);
  if (!configured.isEmpty()) return configured;
  const QString folder =
      QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/brevio"));
  return QStringLiteral("file://") + folder;
}

_CTarnex* frmMain::tarnex() {
  if (m_cTarnex) return m_cTarnex.get();
  comrt::ComPtr<_CTarnex> created;
  const HRESULT hr = m_creator.Create(created);
  if (FAILED(hr) || !created) {
    // Point at the library where it actually lies: lib/brevio when installed,
    // beside the program in a build tree.
    QString folder = m_creator.library_folder();
    if (!QFileInfo(folder + QStringLiteral("/TARNEX.so")).isFile()) {
      folder = QCoreApplication::applicationDirPath();
    }
    ShowWarning(this, TarnexMissingText(hr, folder));
    return nullptr;
  }
  m_cTarnex = std::move(created);
  return m_cTarnex.get();
}

// ---------------------------------------------------------------- the window

frmMain::frmMain(TarnexCreator creator, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_creator(std::move(creator)) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QString::fromUtf8(kProductTitle));
  setWindowIcon(ProgramIcon());
  ApplyDesignLook(this);
  setFixedSize(kClientWidthTwips / 15, kClientHeightTwips / 15);
  BuildControls();
  Form_Load();
}

frmMain::~frmMain() {
  // A file the worker has started is finished; nothing that it posts back is
  // delivered once the window is gone.
  m_cancel = true;
  m_rowShown.Release();
  if (m_worker) {
    m_worker->quit();
    m_worker->wait();
  }
  if (m_running) QGuiApplication::restoreOverrideCursor();
}

namespace {

// One control of the form, in twips as designed. `slot` says its kind and
// where the window keeps it; a button's click goes to `click`.
struct ControlEntry {
  std::variant<QLineEdit * frmMain::*, QPushButton * frmMain::*, QLabel * frmMain::*> slot;
  const char* name;
  const char* caption;
  QRect twips;
  const char* accessible = nullptr;  // buttons say their caption
};

}  // namespace

void frmMain::BuildControls() {
  // Created in tab order; the single-file group lies below the visible edge.
  static const ControlEntry kSingleFile[] = {
      {&frmMain::txtOpen,
       "txtOpen",
       "C:\\Important\\share2\\index.html",
       {960, 8040, 4695, 285},
       "Source file"},
      {&frmMain::cmdOpen, "cmdOpen", "Open...", {5760, 8040, 735, 285}},
      {&frmMain::txtSave, "txtSave", "", {960, 8520, 4695, 285}, "Target file"},
      {&frmMain::cmdSave, "cmdSave", "Save...", {5760, 8520, 735, 285}},
      {&frmMain::lblLenOpen,
       "lblLenOpen",
       "File Len:",
       {6840, 8040, 600, 195},
       "Source file length"},
      {&frmMain::lblLenSave,
       "lblLenSave",
       "File Len:",
       {6840, 8520, 600, 195},
       "Target file length"},
      {&frmMain::cmdTrim, "cmdTrim", "Trim", {4080, 9120, 1695, 375}},
  };
  static const ControlEntry kBatch[] = {
      {&frmMain::txtOutput, "txtOutput", "", {240, 5160, 6375, 285}, "Output folder"},
      {&frmMain::cmdOutput, "cmdOutput", "Set Output &Folder...", {6720, 5160, 1935, 285}},
      {&frmMain::cmdAdd, "cmdAdd", "&Add...", {240, 6000, 1215, 330}},
      {&frmMain::cmdRemove, "cmdRemove", "&Remove", {1680, 6000, 1215, 330}},
      {&frmMain::cmdHelp, "cmdHelp", "&Help", {3120, 6000, 1215, 330}},
      {&frmMain::cmdAbout, "cmdAbout", "A&bout...", {4560, 6000, 1215, 330}},
      {&frmMain::cmdTrim2, "cmdTrim2", "&Trim", {6000, 6000, 1215, 330}},
      {&frmMain::cmdExit, "cmdExit", "&Exit", {7440, 6000, 1215, 330}},
  };
  const auto create = [this](const ControlEntry& entry) {
    const QString caption = QString::fromLatin1(entry.caption);
    QWidget* made = std::visit(
        [&](auto slot) -> QWidget* {
          using Control = std::remove_pointer_t<std::remove_reference_t<decltype(this->*slot)>>;
          auto* control = new Control(caption, this);
          this->*slot = control;
          return control;
        },
        entry.slot);
    made->setObjectName(QString::fromLatin1(entry.name));
    made->setGeometry(FromTwips(entry.twips));
    made->setAccessibleName(entry.accessible != nullptr ? QString::fromLatin1(entry.accessible)
                                                        : WithoutAccessKey(caption));
    if (auto* label = qobject_cast<QLabel*>(made)) label->adjustSize();  // sized to the text
    if (qobject_cast<QPushButton*>(made) != nullptr) made->installEventFilter(this);  // Enter
  };
  for (const ControlEntry& entry : kSingleFile) create(entry);
  BuildList();
  for (const ControlEntry& entry : kBatch) create(entry);

  QPalette output = txtOutput->palette();
  output.setColor(QPalette::Base, QColor(171, 219, 254));
  txtOutput->setPalette(output);
  Line1 = new LineControl(QStringLiteral("Line1"), {-720, 5760, 9840, 5760}, QColor(128, 128, 128),
                          this);
  Line2 = new LineControl(QStringLiteral("Line2"), {-600, 5775, 9960, 5775}, QColor(255, 255, 255),
                          this);
  ConnectControls();
}

void frmMain::BuildList() {
  ListView1 = new QTreeWidget(this);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView1->setGeometry(FromTwips({240, 240, 8415, 4815}));
  ListView1->setAccessibleName(QStringLiteral("Files to trim"));
  ListView1->setRootIsDecorated(false);
  ListView1->setUniformRowHeights(true);
  ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
  // Long paths in one folder differ at their ends: keep both ends in view.
  ListView1->setTextElideMode(Qt::ElideMiddle);
  ListView1->installEventFilter(this);
  ListView1->viewport()->installEventFilter(this);
  ListView1->viewport()->setAcceptDrops(true);
  ListView1->header()->setStretchLastSection(false);
  ListView1->setColumnCount(5);
  ListView1->setHeaderLabels({QStringLiteral("#"), QStringLiteral("Source Files"),
                              QStringLiteral("Source Sizes"), QStringLiteral("Target Sizes"),
                              QStringLiteral("Compression")});
  const int widths[] = {61, 160, 100, 100, 100};
  for (int c = 0; c < 5; ++c) {
    ListView1->setColumnWidth(c, widths[c]);
    ListView1->headerItem()->setTextAlignment(c, ColumnAlignment(c));
  }
  FitNumberColumn();
}

void frmMain::ConnectControls() {
  QWidget* order[] = {txtOpen,   cmdOpen, txtSave,   cmdSave, cmdTrim,  ListView1, txtOutput,
                      cmdOutput, cmdAdd,  cmdRemove, cmdHelp, cmdAbout, cmdTrim2,  cmdExit};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  const std::pair<QPushButton*, void (frmMain::*)()> clicks[] = {
      {cmdOpen, &frmMain::cmdOpen_Click},     {cmdSave, &frmMain::cmdSave_Click},
      {cmdTrim, &frmMain::cmdTrim_Click},     {cmdAdd, &frmMain::cmdAdd_Click},
      {cmdRemove, &frmMain::cmdRemove_Click}, {cmdOutput, &frmMain::cmdOutput_Click},
      {cmdTrim2, &frmMain::cmdTrim2_Click},   {cmdHelp, &frmMain::cmdHelp_Click},
      {cmdAbout, &frmMain::cmdAbout_Click},   {cmdExit, &frmMain::cmdExit_Click},
  };
  for (const auto& [button, handler] : clicks)
    connect(button, &QPushButton::clicked, this, handler);
}

void frmMain::FitNumberColumn() {
  // "#" holds a check box and up to five digits in the list's own font; the
  // name column gives up what it needs, so the columns keep their total.
  QStyleOptionViewItem option;
  option.initFrom(ListView1);
  option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
  option.text = QStringLiteral("99999");
  option.font = ListView1->font();
  const int needed = ListView1->style()
                         ->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), ListView1)
                         .width();
  const int total = ListView1->columnWidth(kColNumber) + ListView1->columnWidth(kColSource);
  const int number = std::max(61, needed);
  ListView1->setColumnWidth(kColNumber, number);
  ListView1->setColumnWidth(kColSource, total - number);
}

void frmMain::Form_Load() {
  // The client size in twips, rounded as the drawing surface hands it over.
  const std::int32_t width = RoundHalfEven(static_cast<double>(this->width()) * 15.0);
  const std::int32_t height = RoundHalfEven(static_cast<double>(this->height()) * 15.0);
  m_background = QImage(size(), QImage::Format_RGB32);
  TwipsImageSurface surface(m_background, RgbColour(240, 240, 240));
  ClearAndPaintGradient(surface, 0, 0, width, height, kGradientStart, kGradientEnd, true);
}

void frmMain::paintEvent(QPaintEvent*) {
  // Only ever restores the image painted at load.
  QPainter painter(this);
  painter.drawImage(0, 0, m_background);
}

void frmMain::ShowCentred() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  FitNumberColumn();  // the font may have changed since the list was built
  show();
  activateWindow();
  txtOpen->setFocus(Qt::OtherFocusReason);
}

void frmMain::closeEvent(QCloseEvent* event) {
  if (m_running) {
    // The current file finishes; its row comes back, then the window closes.
    m_closeRequested = true;
    m_cancel = true;
    event->ignore();
    return;
  }
  if (m_about) m_about->close();
  event->accept();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (auto* button = qobject_cast<QPushButton*>(watched)) {
      // A command button takes Enter as it takes Space.
      if (plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        button->click();
        return true;
      }
      return false;
    }
    if (watched == ListView1 && plain && key->key() == Qt::Key_Space) {
      ToggleSelectedChecks();
      return true;
    }
    if (watched == ListView1 && plain && key->key() == Qt::Key_Delete) {
      if (!m_running) RemoveRows(true);
      return true;
    }
    return false;
  }
  if (watched != ListView1->viewport()) return false;
  if (type == QEvent::MouseButtonRelease) {
    // A tick with the mouse makes its row the current one, so Space goes on from there.
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (QTreeWidgetItem* row = ListView1->itemAt(mouse->position().toPoint())) {
      if (row != ListView1->currentItem()) {
        ListView1->setCurrentItem(row, kColSource, QItemSelectionModel::NoUpdate);
      }
    }
    return false;
  }
  if (type == QEvent::DragEnter || type == QEvent::DragMove) {
    auto* drag = static_cast<QDragMoveEvent*>(event);
    if (!m_running && !LocalFiles(drag->mimeData()).isEmpty()) {
      drag->acceptProposedAction();
    } else {
      drag->ignore();
    }
    return true;
  }
  if (type == QEvent::Drop) {
    auto* drop = static_cast<QDropEvent*>(event);
    const QStringList paths = LocalFiles(drop->mimeData());
    if (m_running || paths.isEmpty()) {
      drop->ignore();
      return true;
    }
    drop->acceptProposedAction();
    AddDropped(paths);
    return true;
  }
  return false;
}

// ---------------------------------------------------------------- single file

void frmMain::PickSingleFile(QLineEdit* box, bool save) {
  try {
    dlgFile.CancelError = true;
    dlgFile.Flags = (save ? kOfnOverwritePrompt : kOfnFileMustExist) | kOfnExplorer | kOfnLongNames;
    dlgFile.Filter = kHtmlFilter;
    if (save) {
      dlgFile.ShowSave();
    } else {
      dlgFile.ShowOpen();
    }
    box->setText(dlgFile.FileName);
  } catch (const CommonDialogError&) {
    // Cancel (or a name too long for the dialog) leaves the box as it was.
  }
}

void frmMain::cmdOpen_Click() {
  PickSingleFile(txtOpen, false);
  if (const auto len = FileLength(txtOpen->text())) {
    lblLenOpen->setText(QStringLiteral("File Len:    ") + QString::number(*len));
    lblLenOpen->adjustSize();
  }
}

void frmMain::cmdSave_Click() { PickSingleFile(txtSave, true); }

void frmMain::cmdTrim_Click() {
  const QString source = txtOpen->text();
  const QString target = txtSave->text();
  QString problem;
  try {
    problem = TrimResultText(TrimFile(EncodePath(source), EncodePath(target)), source);
  } catch (const std::exception& e) {
    problem = PlainReason(e);
  }
  if (const auto len = FileLength(source)) {
    lblLenOpen->setText(QStringLiteral("File Len: ") + QString::number(*len));
    lblLenOpen->adjustSize();
  }
  if (const auto len = FileLength(target)) {
    lblLenSave->setText(QStringLiteral("File Len: ") + QString::number(*len));
    lblLenSave->adjustSize();
  }
  if (!problem.isEmpty()) ShowWarning(this, problem);
}

// ---------------------------------------------------------------- batch list

void frmMain::cmdAdd_Click() {
  if (m_running) return;
  dlgFile.CancelError = true;
  dlgFile.FileName.clear();
  dlgFile.FileNames.clear();
  dlgFile.Flags = kOfnAllowMultiSelect | kOfnFileMustExist | kOfnExplorer | kOfnLongNames;
  dlgFile.Filter = kAddFilter;
  dlgFile.MaxFileSize = 32767;
  try {
    dlgFile.ShowOpen();
  } catch (const CommonDialogError& e) {
    // A selection too long for FileName is still whole in FileNames.
    if (e.number() == kCancelErrorNumber) return;
  }
  // Every chosen path as the dialog gave it: names typed from several folders
  // keep their own folders.
  AddFiles(dlgFile.FileNames);
}

void frmMain::AddFiles(const QStringList& paths) {
  if (paths.isEmpty() || tarnex() == nullptr) return;
  for (const QString& path : paths) AddFileToList(path);
}

void frmMain::AddDropped(const QStringList& paths) {
  QStringList files;
  for (const QString& path : paths) {
    if (!QFileInfo(path).isDir()) {
      files << path;
      continue;
    }
    const QDir folder(path);
    const QStringList names = folder.entryList(kAddPatterns, QDir::Files, QDir::Name);
    for (const QString& name : names) files << folder.filePath(name);
  }
  AddFiles(files);
}

void frmMain::AddFileToList(const QString& path) {
  _CTarnex* t = tarnex();
  if (t == nullptr) return;
  auto* row = new QTreeWidgetItem(ListView1);
  row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
  row->setCheckState(kColNumber, Qt::Unchecked);
  row->setText(kColNumber, QString::number(ListView1->topLevelItemCount()));
  for (int c = 0; c < 5; ++c) row->setTextAlignment(c, ColumnAlignment(c));
  row->setText(kColSource, RipFile(t, path));
  row->setToolTip(kColSource, path);
  row->setData(kColSource, Qt::AccessibleDescriptionRole, path);
  const auto len = FileLength(path);
  if (!len) return;  // a file gone since it was picked keeps its name and path only
  row->setText(kColSourceSize, QString::number(*len));
  row->setText(kColTargetSize, QStringLiteral(" "));
  row->setText(kColRatio, QStringLiteral(" "));
}

void frmMain::cmdRemove_Click() {
  if (m_running) return;
  RemoveRows(false);
}

void frmMain::RemoveRows(bool selected_when_none_ticked) {
  QList<QTreeWidgetItem*> doomed;
  for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = ListView1->topLevelItem(i);
    if (row->checkState(kColNumber) == Qt::Checked) doomed << row;
  }
  if (doomed.isEmpty() && selected_when_none_ticked) doomed = ListView1->selectedItems();
  qDeleteAll(doomed);  // the rows left keep their order and their texts
}

void frmMain::ToggleSelectedChecks() {
  QTreeWidgetItem* current = ListView1->currentItem();
  if (current == nullptr) return;
  const Qt::CheckState state =
      current->checkState(kColNumber) == Qt::Checked ? Qt::Unchecked : Qt::Checked;
  QList<QTreeWidgetItem*> rows = ListView1->selectedItems();
  if (!rows.contains(current)) rows << current;
  for (QTreeWidgetItem* row : rows) row->setCheckState(kColNumber, state);
}

void frmMain::cmdOutput_Click() {
  if (m_running) return;
  _CTarnex* t = tarnex();
  if (t == nullptr) return;
  const QString folder = TrimSpaces(GetDir(t, static_cast<LONG>(winId())));
  if (!folder.isEmpty()) txtOutput->setText(folder);
}

// ---------------------------------------------------------------- batch run

void RowGate::Reset() {
  const std::lock_guard lock(mutex_);
  open_ = 0;
  released_ = false;
}

void RowGate::Wait() {
  std::unique_lock lock(mutex_);
  opened_.wait(lock, [this] { return open_ > 0 || released_; });
  if (open_ > 0) --open_;
}

void RowGate::Open() {
  {
    const std::lock_guard lock(mutex_);
    ++open_;
  }
  opened_.notify_one();
}

void RowGate::Release() {
  {
    const std::lock_guard lock(mutex_);
    released_ = true;
  }
  opened_.notify_all();
}

void frmMain::cmdTrim2_Click() {
  if (m_running || !BatchCanStart()) return;
  _CTarnex* t = tarnex();
  if (t == nullptr) return;
  // The folder is read once: what the box says when the run starts is where
  // every file goes.
  CollectBatchJobs(t, txtOutput->text());
  StartWorker();
  m_running = true;
  m_closeRequested = false;
  m_failed = 0;
  m_cancel = false;
  m_rowShown.Reset();
  txtOutput->setReadOnly(true);
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  // Results of an earlier run would read as this run's until their row is done.
  for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = ListView1->topLevelItem(i);
    row->setText(kColTargetSize, QStringLiteral(" "));
    row->setToolTip(kColTargetSize, QString());
    row->setText(kColRatio, QStringLiteral(" "));
  }
  ListView1->scrollToItem(ListView1->topLevelItem(0));
  QMetaObject::invokeMethod(
      m_workerContext.get(), [this] { RunBatchOnWorker(); }, Qt::QueuedConnection);
}

bool frmMain::BatchCanStart() {
  if (TrimSpaces(txtOutput->text()).isEmpty()) {
    ShowInformation(this,
                    QStringLiteral("Please select an output folder to save the trimmed files."));
    return false;
  }
  if (ListView1->topLevelItemCount() == 0) {
    ShowInformation(this, QStringLiteral("Please add some files to the listview to trim."));
    return false;
  }
  return true;
}

void frmMain::CollectBatchJobs(_CTarnex* t, const QString& folder) {
  // Rows are addressed by position: Add, Remove, Delete and drops wait for
  // the run, so the list keeps its rows until the last one is back.
  m_batch.clear();
  for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = ListView1->topLevelItem(i);
    BatchJob& job = m_batch.emplace_back();
    job.source = EncodePath(row->toolTip(kColSource));
    job.target = EncodePath(JoinPathFile2(t, folder, row->text(kColSource)));
  }
}

void frmMain::StartWorker() {
  if (m_worker) return;
  m_worker = std::make_unique<QThread>();
  m_worker->setObjectName(QStringLiteral("batchWorker"));
  m_workerContext = std::make_unique<QObject>();
  m_workerContext->moveToThread(m_worker.get());
  m_worker->start();
}

void frmMain::RunBatchOnWorker() {
  BatchOptions options;
  options.max_at_once = 1;
  // The list may hold a file twice on purpose; each row is trimmed as listed.
  options.find_repeats = false;
  options.cancel = &m_cancel;
  RunBatch(m_batch, options, [this](const BatchOutcome& outcome) {
    QMetaObject::invokeMethod(
        this, [this, outcome] { BatchFileDone(outcome); }, Qt::QueuedConnection);
    m_rowShown.Wait();
  });
  QMetaObject::invokeMethod(
      this, [this] { FinishBatch(); }, Qt::QueuedConnection);
}

namespace {

// The plain reason a row failed; empty when it was trimmed.
QString BatchProblem(const BatchJob& job, const BatchOutcome& outcome) {
  if (!outcome.error) {
    return TrimResultText(outcome.report.result, QFile::decodeName(job.source.c_str()));
  }
  try {
    std::rethrow_exception(outcome.error);
  } catch (const std::exception& e) {
    return PlainReason(e);
  } catch (...) {
    return PlainReason(std::runtime_error("unknown error"));
  }
}

}  // namespace

void frmMain::BatchFileDone(const BatchOutcome& outcome) {
  const QString problem = BatchProblem(m_batch[outcome.index], outcome);
  if (QTreeWidgetItem* item = ListView1->topLevelItem(static_cast<int>(outcome.index))) {
    if (!problem.isEmpty()) {
      ++m_failed;
      // Never show the size of a stale file from an earlier run as a result.
      item->setText(kColTargetSize, QStringLiteral("failed"));
      item->setToolTip(kColTargetSize, problem);
      item->setText(kColRatio, QStringLiteral(" "));
    } else {
      // Both sizes as this trim saw them, so that the ratio agrees with the
      // row even when the file changed since it was added.
      item->setText(kColSourceSize, QString::number(outcome.report.source_bytes));
      item->setText(kColTargetSize, QString::number(outcome.report.target_bytes));
      item->setToolTip(kColTargetSize, QString());
      // The sizes the trim saw: in place, the source's is the one before it.
      const QString point = QLocale().decimalPoint();
      if (const auto ratio = CompressionText(outcome.report.target_bytes,
                                             outcome.report.source_bytes, point.toStdString())) {
        item->setText(kColRatio, QString::fromStdString(*ratio));
      }
    }
    if (QTreeWidgetItem* next = ListView1->topLevelItem(static_cast<int>(outcome.index) + 1)) {
      ListView1->scrollToItem(next);
    }
  }
  m_rowShown.Open();
}

void frmMain::FinishBatch() {
  const auto total = static_cast<qsizetype>(m_batch.size());
  m_batch.clear();
  m_running = false;
  txtOutput->setReadOnly(false);
  QGuiApplication::restoreOverrideCursor();
  if (m_closeRequested) {
    close();
    return;
  }
  if (m_failed == 0) {
    ShowInformation(this, QStringLiteral("Trim Finished."));
    return;
  }
  ShowWarning(this, QStringLiteral("%1 of %2 files could not be trimmed. Hover over a row marked "
                                   "failed to see why.")
                        .arg(m_failed)
                        .arg(total));
}

// ---------------------------------------------------------------- frame buttons

void frmMain::cmdHelp_Click() {
  _CTarnex* t = tarnex();
  if (t == nullptr) return;
  OpenWebNew(t, HelpSite() + QStringLiteral("/tools/brevio_help.htm"));
}

void frmMain::cmdAbout_Click() {
  if (!m_about) m_about = std::make_unique<frmAbout>(*this);
  m_about->Load();
  m_about->exec();
}

void frmMain::cmdExit_Click() { close(); }

}  // namespace brevio::app

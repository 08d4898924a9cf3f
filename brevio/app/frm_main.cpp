#include "brevio/app/frm_main.h"

#include <dlfcn.h>

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <exception>
#include <filesystem>
#include <optional>
#include <system_error>

#include "brevio/app/brevio_config.h"
#include "brevio/app/frm_about.h"
#include "brevio/app/gradient.h"
#include "brevio/app/message_box.h"
#include "brevio/app/tarnex_client.h"
#include "brevio/app/window_support.h"
#include "brevio/engine/file_trim.h"
#include "brevio/engine/ratio_format.h"

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

// Keeps the hourglass up for exactly as long as it lives.
class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

QString ErrorText(const std::exception& e) { return QString::fromLocal8Bit(e.what()); }

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
  void* module = dlopen(QFile::encodeName(library).constData(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) return hr;
  using RegisterFn = HRESULT (*)();
  auto reg = reinterpret_cast<RegisterFn>(dlsym(module, "DllRegisterServer"));
  const HRESULT registered = reg != nullptr ? reg() : E_FAIL;
  dlclose(module);
  if (FAILED(registered)) return hr;
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
  setWindowTitle(QStringLiteral("Brevio 1.20"));
  setWindowIcon(ProgramIcon());
  setFixedSize(kClientWidthTwips / 15, kClientHeightTwips / 15);
  BuildControls();
  Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::BuildControls() {
  auto button = [this](const char* name, const QString& text, QRect twips) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(FromTwips(twips));
    return b;
  };
  auto edit = [this](const char* name, const QString& text, QRect twips) {
    auto* e = new QLineEdit(text, this);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(FromTwips(twips));
    return e;
  };
  auto label = [this](const char* name, const QString& text, QRect twips) {
    auto* l = new QLabel(text, this);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(FromTwips(twips));
    l->adjustSize();  // labels size themselves to their text
    return l;
  };

  // Tab order 0..15, as created; the single-file group lies below the visible edge.
  txtOpen =
      edit("txtOpen", QStringLiteral("C:\\Important\\share2\\index.html"), {960, 8040, 4695, 285});
  cmdOpen = button("cmdOpen", QStringLiteral("Open..."), {5760, 8040, 735, 285});
  txtSave = edit("txtSave", QString(), {960, 8520, 4695, 285});
  cmdSave = button("cmdSave", QStringLiteral("Save..."), {5760, 8520, 735, 285});
  lblLenOpen = label("lblLenOpen", QStringLiteral("File Len:"), {6840, 8040, 600, 195});
  lblLenSave = label("lblLenSave", QStringLiteral("File Len:"), {6840, 8520, 600, 195});
  cmdTrim = button("cmdTrim", QStringLiteral("Trim"), {4080, 9120, 1695, 375});

  ListView1 = new QTreeWidget(this);
  ListView1->setObjectName(QStringLiteral("ListView1"));
  ListView1->setGeometry(FromTwips({240, 240, 8415, 4815}));
  ListView1->setRootIsDecorated(false);
  ListView1->setUniformRowHeights(true);
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

  txtOutput = edit("txtOutput", QString(), {240, 5160, 6375, 285});
  QPalette output = txtOutput->palette();
  output.setColor(QPalette::Base, QColor(171, 219, 254));
  txtOutput->setPalette(output);
  cmdOutput = button("cmdOutput", QStringLiteral("Set Output &Folder..."), {6720, 5160, 1935, 285});
  cmdAdd = button("cmdAdd", QStringLiteral("&Add..."), {240, 6000, 1215, 330});
  cmdRemove = button("cmdRemove", QStringLiteral("&Remove"), {1680, 6000, 1215, 330});
  cmdHelp = button("cmdHelp", QStringLiteral("&Help"), {3120, 6000, 1215, 330});
  cmdAbout = button("cmdAbout", QStringLiteral("A&bout..."), {4560, 6000, 1215, 330});
  cmdTrim2 = button("cmdTrim2", QStringLiteral("&Trim"), {6000, 6000, 1215, 330});
  cmdExit = button("cmdExit", QStringLiteral("&Exit"), {7440, 6000, 1215, 330});

  Line1 = new LineControl(QStringLiteral("Line1"), {-720, 5760, 9840, 5760}, QColor(128, 128, 128),
                          this);
  Line2 = new LineControl(QStringLiteral("Line2"), {-600, 5775, 9960, 5775}, QColor(255, 255, 255),
                          this);

  QWidget* order[] = {txtOpen,   cmdOpen, txtSave,   cmdSave, cmdTrim,  ListView1, txtOutput,
                      cmdOutput, cmdAdd,  cmdRemove, cmdHelp, cmdAbout, cmdTrim2,  cmdExit};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  connect(cmdOpen, &QPushButton::clicked, this, &frmMain::cmdOpen_Click);
  connect(cmdSave, &QPushButton::clicked, this, &frmMain::cmdSave_Click);
  connect(cmdTrim, &QPushButton::clicked, this, &frmMain::cmdTrim_Click);
  connect(cmdAdd, &QPushButton::clicked, this, &frmMain::cmdAdd_Click);
  connect(cmdRemove, &QPushButton::clicked, this, &frmMain::cmdRemove_Click);
  connect(cmdOutput, &QPushButton::clicked, this, &frmMain::cmdOutput_Click);
  connect(cmdTrim2, &QPushButton::clicked, this, &frmMain::cmdTrim2_Click);
  connect(cmdHelp, &QPushButton::clicked, this, &frmMain::cmdHelp_Click);
  connect(cmdAbout, &QPushButton::clicked, this, &frmMain::cmdAbout_Click);
  connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
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
  show();
  activateWindow();
  txtOpen->setFocus(Qt::OtherFocusReason);
}

void frmMain::closeEvent(QCloseEvent* event) {
  if (m_running) {
    // The run notices between two files, lets the current one finish, then closes.
    m_closeRequested = true;
    event->ignore();
    return;
  }
  if (m_about) m_about->close();
  event->accept();
}

// ---------------------------------------------------------------- single file

void frmMain::cmdOpen_Click() {
  try {
    dlgFile.CancelError = true;
    dlgFile.Flags = kOfnFileMustExist | kOfnExplorer | kOfnLongNames;
    dlgFile.Filter = kHtmlFilter;
    dlgFile.ShowOpen();
    txtOpen->setText(dlgFile.FileName);
  } catch (const CommonDialogError&) {
    // Cancel (or a name too long for the dialog) leaves the box as it was.
  }
  if (const auto len = FileLength(txtOpen->text())) {
    lblLenOpen->setText(QStringLiteral("File Len:    ") + QString::number(*len));
    lblLenOpen->adjustSize();
  }
}

void frmMain::cmdSave_Click() {
  try {
    dlgFile.CancelError = true;
    dlgFile.Flags = kOfnOverwritePrompt | kOfnExplorer | kOfnLongNames;
    dlgFile.Filter = kHtmlFilter;
    dlgFile.ShowSave();
    txtSave->setText(dlgFile.FileName);
  } catch (const CommonDialogError&) {
  }
}

void frmMain::cmdTrim_Click() {
  const QString source = txtOpen->text();
  const QString target = txtSave->text();
  QString problem;
  try {
    problem = TrimResultText(TrimFile(EncodePath(source), EncodePath(target)), source);
  } catch (const std::exception& e) {
    problem = QStringLiteral("The file could not be trimmed:\n") + ErrorText(e);
  }
  if (const auto len = FileLength(source)) {
    lblLenOpen->setText(QStringLiteral("File Len: ") + QString::number(*len));
    lblLenOpen->adjustSize();
  }
  if (const auto len = FileLength(target)) {
    lblLenSave->setText(QStringLiteral("File Len: ") + QString::number(*len));
    lblLenSave->adjustSize();
  }
  if (!problem.isEmpty()) ShowInformation(this, problem);
}

// ---------------------------------------------------------------- batch list

void frmMain::cmdAdd_Click() {
  if (m_running) return;
  dlgFile.CancelError = true;
  dlgFile.FileName.clear();
  dlgFile.Flags = kOfnAllowMultiSelect | kOfnFileMustExist | kOfnExplorer | kOfnLongNames;
  dlgFile.Filter = kAddFilter;
  dlgFile.MaxFileSize = 32767;
  try {
    dlgFile.ShowOpen();
  } catch (const CommonDialogError& e) {
    if (e.number() == kCancelErrorNumber) return;
  }
  if (tarnex() == nullptr) return;

  const QStringList pieces = SplitFileName(dlgFile.FileName);
  if (pieces.isEmpty()) return;
  if (pieces.size() == 1) {
    AddFileToList(pieces.front());
    return;
  }
  for (qsizetype i = 1; i < pieces.size(); ++i) {
    AddFileToList(pieces.front() + QLatin1Char('/') + pieces[i]);
  }
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
  const auto len = FileLength(path);
  if (!len) return;  // a file gone since it was picked keeps its name and path only
  row->setText(kColSourceSize, QString::number(*len));
  row->setText(kColTargetSize, QStringLiteral(" "));
  row->setText(kColRatio, QStringLiteral(" "));
}

void frmMain::cmdRemove_Click() {
  if (m_running) return;
  // From the last row up, so a removal never moves a row still to be visited.
  for (int i = ListView1->topLevelItemCount() - 1; i >= 0; --i) {
    if (ListView1->topLevelItem(i)->checkState(kColNumber) == Qt::Checked) {
      delete ListView1->takeTopLevelItem(i);
    }
  }
}

void frmMain::cmdOutput_Click() {
  if (m_running) return;
  _CTarnex* t = tarnex();
  if (t == nullptr) return;
  const QString folder = TrimSpaces(GetDir(t, static_cast<LONG>(winId())));
  if (!folder.isEmpty()) txtOutput->setText(folder);
}

// ---------------------------------------------------------------- batch run

void frmMain::cmdTrim2_Click() {
  if (m_running) return;
  if (TrimSpaces(txtOutput->text()).isEmpty()) {
    ShowInformation(this,
                    QStringLiteral("Please select an output folder to save the trimmed files."));
    return;
  }
  if (ListView1->topLevelItemCount() == 0) {
    ShowInformation(this, QStringLiteral("Please add some files to the listview to trim."));
    return;
  }
  if (tarnex() == nullptr) return;

  m_running = true;
  {
    WaitCursor hourglass;
    const int count = ListView1->topLevelItemCount();
    // Rows are addressed by position. Remove waits for the run, so the count
    // holds; the second bound only guards against a list that shrank anyway.
    for (int i = 0; i < count && i < ListView1->topLevelItemCount(); ++i) {
      TrimRow(ListView1->topLevelItem(i));
      QCoreApplication::processEvents();
      if (m_closeRequested) break;
    }
  }
  m_running = false;
  if (m_closeRequested) {
    close();
    return;
  }
  ShowInformation(this, QStringLiteral("Trim Finished."));
}

void frmMain::TrimRow(QTreeWidgetItem* row) {
  const QString source = row->toolTip(kColSource);
  const QString target = JoinPathFile2(m_cTarnex.get(), txtOutput->text(), row->text(kColSource));
  QString problem;
  try {
    problem = TrimResultText(TrimFile(EncodePath(source), EncodePath(target)), source);
  } catch (const std::exception& e) {
    problem = ErrorText(e);
  }
  const auto target_len = FileLength(target);
  if (problem.isEmpty() && !target_len)
    problem = QStringLiteral("The trimmed file cannot be read: ") + target;
  if (!problem.isEmpty()) {
    // Never show the size of a stale file from an earlier run as a result.
    row->setText(kColTargetSize, QStringLiteral("failed"));
    row->setToolTip(kColTargetSize, problem);
    row->setText(kColRatio, QStringLiteral(" "));
    return;
  }
  row->setText(kColTargetSize, QString::number(*target_len));
  row->setToolTip(kColTargetSize, QString());
  const auto source_len = FileLength(source);
  if (!source_len) return;
  const QString point = QLocale().decimalPoint();
  if (const auto ratio = CompressionText(*target_len, *source_len, point.toStdString())) {
    row->setText(kColRatio, QString::fromStdString(*ratio));
  }
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

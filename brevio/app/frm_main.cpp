#include "brevio/app/frm_main.h"

#include <dlfcn.h>

#include <QApplication>
#include <QCheckBox>
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
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <utility>

#include "brevio/app/brevio_config.h"
#include "brevio/app/design_look.h"
#include "brevio/app/frm_about.h"
#include "brevio/app/gradient.h"
#include "brevio/app/message_box.h"
#include "brevio/app/window_support.h"
#include "brevio/forms/layout.h"
#include "brevio/forms/texts.h"

namespace brevio::app {
namespace {

using forms::Control;

// A caption as a screen reader should say it: without the access-key marker.
QString WithoutAccessKey(QString caption) { return caption.remove(QLatin1Char('&')); }

// The local files among dropped URLs, as UTF-8 paths; empty when there are none.
std::vector<std::string> LocalFiles(const QMimeData* data) {
  std::vector<std::string> paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  const QList<QUrl> urls = data->urls();
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  }
  return paths;
}

std::string Utf8(const QString& text) { return text.toStdString(); }
QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

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

// ---------------------------------------------------------------- the window

namespace {

// What the window logic needs from this program: the Tarnex object as the
// creator makes it, the box naming where the library lies, the help site.
forms::FormSettings SettingsFor(TarnexCreator creator) {
  forms::FormSettings settings;
  const QString library_folder = creator.library_folder();
  settings.create_tarnex = [creator = std::move(creator)](comrt::ComPtr<_CTarnex>& out) {
    return creator.Create(out);
  };
  settings.tarnex_missing_text = [library_folder](HRESULT hr) {
    // Point at the library where it actually lies: lib/brevio when installed,
    // beside the program in a build tree.
    QString folder = library_folder;
    if (!QFileInfo(folder + QStringLiteral("/TARNEX.so")).isFile()) {
      folder = QCoreApplication::applicationDirPath();
    }
    return forms::TarnexMissingText(hr, "regsvr",
                                    Utf8(QDir::cleanPath(folder + QStringLiteral("/TARNEX.so"))));
  };
  settings.help_site = Utf8(HelpSite());
  return settings;
}

}  // namespace

frmMain::frmMain(TarnexCreator creator, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QString::fromUtf8(kProductTitle));
  setWindowIcon(ProgramIcon());
  ApplyDesignLook(this);
  setFixedSize(forms::kClientWidthTwips / forms::kTwipsPerPixelAt96,
               forms::kClientHeightTwips / forms::kTwipsPerPixelAt96);
  BuildControls();
  m_form = std::make_unique<forms::MainForm>(*this, SettingsFor(std::move(creator)));
  Form_Load();
}

frmMain::~frmMain() {
  // A file the worker has started is finished; nothing that it posts back is
  // delivered once the window is gone.
  m_form.reset();
}

void frmMain::BuildControls() {
  // Created in tab order; the single-file group lies below the visible edge.
  for (const forms::ControlPlace& place : forms::kMainControls) {
    const QString caption = QString::fromUtf8(place.caption);
    QWidget* made = nullptr;
    switch (place.kind) {
      case forms::ControlKind::kEdit:
        made = new QLineEdit(caption, this);
        break;
      case forms::ControlKind::kButton:
        made = new QPushButton(caption, this);
        made->installEventFilter(this);  // Enter
        break;
      case forms::ControlKind::kLabel:
        made = new QLabel(caption, this);
        break;
      case forms::ControlKind::kList:
        made = BuildList();
        break;
      case forms::ControlKind::kCheck:
        made = new QCheckBox(caption, this);
        break;
    }
    made->setObjectName(QString::fromLatin1(place.name));
    made->setGeometry(FromTwips(place.twips));
    made->setAccessibleName(place.accessible != nullptr ? QString::fromUtf8(place.accessible)
                                                        : WithoutAccessKey(caption));
    if (auto* label = qobject_cast<QLabel*>(made)) label->adjustSize();  // sized to the text
  }
  const auto bind = [this](auto*& slot, const char* name) {
    slot = findChild<std::remove_reference_t<decltype(*slot)>*>(QString::fromLatin1(name),
                                                                Qt::FindDirectChildrenOnly);
  };
  bind(txtOpen, "txtOpen");
  bind(cmdOpen, "cmdOpen");
  bind(txtSave, "txtSave");
  bind(cmdSave, "cmdSave");
  bind(lblLenOpen, "lblLenOpen");
  bind(lblLenSave, "lblLenSave");
  bind(cmdTrim, "cmdTrim");
  bind(txtOutput, "txtOutput");
  bind(cmdOutput, "cmdOutput");
  bind(chkKeep, "chkKeep");
  bind(cmdAdd, "cmdAdd");
  bind(cmdRemove, "cmdRemove");
  bind(cmdHelp, "cmdHelp");
  bind(cmdAbout, "cmdAbout");
  bind(cmdTrim2, "cmdTrim2");
  bind(cmdExit, "cmdExit");

  QPalette output = txtOutput->palette();
  output.setColor(QPalette::Base, FromBgr(forms::kOutputBoxColour));
  txtOutput->setPalette(output);
  for (const forms::LinePlace& line : forms::kMainLines) {
    new LineControl(QString::fromLatin1(line.name), QLine(line.x1, line.y1, line.x2, line.y2),
                    FromBgr(line.colour), this);
  }
  ConnectControls();
}

QTreeWidget* frmMain::BuildList() {
  ListView1 = new QTreeWidget(this);
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
  ListView1->setColumnCount(forms::kColumnCount);
  QStringList captions;
  for (const forms::ColumnPlace& column : forms::kListColumns)
    captions << QString::fromUtf8(column.caption);
  ListView1->setHeaderLabels(captions);
  for (int c = 0; c < forms::kColumnCount; ++c) {
    ListView1->setColumnWidth(c, forms::kListColumns[c].width);
    ListView1->headerItem()->setTextAlignment(c, ColumnAlignment(c));
  }
  FitNumberColumn();
  return ListView1;
}

void frmMain::ConnectControls() {
  QWidget* order[] = {txtOpen,   cmdOpen,   txtSave,   cmdSave,  cmdTrim,
                      ListView1, txtOutput, cmdOutput, chkKeep,  cmdAdd,
                      cmdRemove, cmdHelp,   cmdAbout,  cmdTrim2, cmdExit};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  const std::pair<QPushButton*, void (forms::MainForm::*)()> clicks[] = {
      {cmdOpen, &forms::MainForm::cmdOpen_Click},
      {cmdSave, &forms::MainForm::cmdSave_Click},
      {cmdTrim, &forms::MainForm::cmdTrim_Click},
      {cmdAdd, &forms::MainForm::cmdAdd_Click},
      {cmdRemove, &forms::MainForm::cmdRemove_Click},
      {cmdOutput, &forms::MainForm::cmdOutput_Click},
      {cmdTrim2, &forms::MainForm::cmdTrim2_Click},
      {cmdHelp, &forms::MainForm::cmdHelp_Click},
      {cmdAbout, &forms::MainForm::cmdAbout_Click},
      {cmdExit, &forms::MainForm::cmdExit_Click},
  };
  for (const auto& [button, handler] : clicks) {
    connect(button, &QPushButton::clicked, this,
            [this, handler = handler] { (m_form.get()->*handler)(); });
  }
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
  const int designed = forms::kListColumns[kColNumber].width;
  const int total = ListView1->columnWidth(kColNumber) + ListView1->columnWidth(kColSource);
  const int number = std::max(designed, needed);
  ListView1->setColumnWidth(kColNumber, number);
  ListView1->setColumnWidth(kColSource, total - number);
}

void frmMain::Form_Load() {
  // The client size in twips, rounded as the drawing surface hands it over.
  const std::int32_t width = RoundHalfEven(static_cast<double>(this->width()) * 15.0);
  const std::int32_t height = RoundHalfEven(static_cast<double>(this->height()) * 15.0);
  m_background = QImage(size(), QImage::Format_RGB32);
  TwipsImageSurface surface(m_background, forms::kFormBackground);
  ClearAndPaintGradient(surface, 0, 0, width, height, forms::kGradientStart, forms::kGradientEnd,
                        true);
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
  if (!m_form->Form_QueryUnload()) {
    event->ignore();  // the current file finishes; its row comes back, then the window closes
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
      m_form->ListView1_Space();
      return true;
    }
    if (watched == ListView1 && plain && key->key() == Qt::Key_Delete) {
      m_form->ListView1_Delete();
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
    if (!m_form->running() && !LocalFiles(drag->mimeData()).empty()) {
      drag->acceptProposedAction();
    } else {
      drag->ignore();
    }
    return true;
  }
  if (type == QEvent::Drop) {
    auto* drop = static_cast<QDropEvent*>(event);
    const std::vector<std::string> paths = LocalFiles(drop->mimeData());
    if (m_form->running() || paths.empty()) {
      drop->ignore();
      return true;
    }
    drop->acceptProposedAction();
    m_form->ListView1_Drop(paths);
    return true;
  }
  return false;
}

// ---------------------------------------------------------------- forms::MainView

QWidget* frmMain::ControlOf(Control control) const {
  switch (control) {
    case Control::txtOpen:
      return txtOpen;
    case Control::txtSave:
      return txtSave;
    case Control::lblLenOpen:
      return lblLenOpen;
    case Control::lblLenSave:
      return lblLenSave;
    case Control::txtOutput:
      return txtOutput;
    case Control::chkKeep:
      return chkKeep;
  }
  return nullptr;
}

std::string frmMain::Text(Control control) const {
  QWidget* w = ControlOf(control);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return Utf8(edit->text());
  return Utf8(static_cast<QLabel*>(w)->text());
}

void frmMain::SetText(Control control, const std::string& text) {
  QWidget* w = ControlOf(control);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    edit->setText(FromUtf8(text));
    return;
  }
  auto* label = static_cast<QLabel*>(w);
  label->setText(FromUtf8(text));
  label->adjustSize();
}

void frmMain::SetReadOnly(Control control, bool read_only) {
  QWidget* w = ControlOf(control);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    edit->setReadOnly(read_only);
  } else if (w != nullptr) {
    w->setEnabled(!read_only);  // a check box has no read-only state
  }
}

bool frmMain::Checked(Control control) const {
  const auto* box = qobject_cast<QCheckBox*>(ControlOf(control));
  return box != nullptr && box->isChecked();
}

QTreeWidgetItem* frmMain::Item(int row) const { return ListView1->topLevelItem(row); }

int frmMain::RowCount() const { return ListView1->topLevelItemCount(); }

int frmMain::AddRow() {
  auto* row = new QTreeWidgetItem(ListView1);
  row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
  row->setCheckState(kColNumber, Qt::Unchecked);
  for (int c = 0; c < forms::kColumnCount; ++c) row->setTextAlignment(c, ColumnAlignment(c));
  return ListView1->topLevelItemCount() - 1;
}

std::string frmMain::Cell(int row, int column) const { return Utf8(Item(row)->text(column)); }

void frmMain::SetCell(int row, int column, const std::string& text) {
  Item(row)->setText(column, FromUtf8(text));
}

std::string frmMain::Tip(int row, int column) const { return Utf8(Item(row)->toolTip(column)); }

void frmMain::SetTip(int row, int column, const std::string& tip) {
  QTreeWidgetItem* item = Item(row);
  item->setToolTip(column, FromUtf8(tip));
  // A screen reader says the full path of a row as well as its name.
  if (column == kColSource) item->setData(column, Qt::AccessibleDescriptionRole, FromUtf8(tip));
}

bool frmMain::Ticked(int row) const { return Item(row)->checkState(kColNumber) == Qt::Checked; }

void frmMain::SetTicked(int row, bool ticked) {
  Item(row)->setCheckState(kColNumber, ticked ? Qt::Checked : Qt::Unchecked);
}

std::vector<int> frmMain::SelectedRows() const {
  std::vector<int> rows;
  const QModelIndexList selected = ListView1->selectionModel()->selectedRows();
  for (const QModelIndex& index : selected) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

int frmMain::CurrentRow() const {
  QTreeWidgetItem* current = ListView1->currentItem();
  return current != nullptr ? ListView1->indexOfTopLevelItem(current) : -1;
}

void frmMain::RemoveRows(const std::vector<int>& rows) {
  QList<QTreeWidgetItem*> doomed;
  for (int row : rows) doomed << Item(row);
  qDeleteAll(doomed);
}

void frmMain::ScrollToRow(int row) {
  if (QTreeWidgetItem* item = Item(row)) ListView1->scrollToItem(item);
}

std::optional<std::vector<std::string>> frmMain::RunFileDialog(
    const forms::FileDialogRequest& request) {
  const std::optional<QStringList> chosen = m_dialog.Run(request);
  if (!chosen) return std::nullopt;
  std::vector<std::string> paths;
  paths.reserve(static_cast<std::size_t>(chosen->size()));
  for (const QString& path : *chosen) paths.push_back(Utf8(path));
  return paths;
}

void frmMain::ShowMessage(forms::MessageIcon icon, const std::string& text) {
  if (icon == forms::MessageIcon::kWarning) {
    ShowWarning(this, FromUtf8(text));
  } else {
    ShowInformation(this, FromUtf8(text));
  }
}

void frmMain::ShowAbout() {
  if (!m_about) m_about = std::make_unique<frmAbout>(*this);
  m_about->Load();
  m_about->exec();
}

std::int32_t frmMain::WindowHandle() const { return static_cast<std::int32_t>(winId()); }

std::string frmMain::DecimalPoint() const { return Utf8(QLocale().decimalPoint()); }

void frmMain::SetBusy(bool busy) {
  if (busy == m_busy) return;
  m_busy = busy;
  if (busy) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QGuiApplication::restoreOverrideCursor();
  }
}

void frmMain::PostToWindow(std::function<void()> task) {
  // Queued to this window: Qt drops what is still queued when it goes.
  QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

}  // namespace brevio::app

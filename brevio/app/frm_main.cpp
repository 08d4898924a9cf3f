#include "brevio/app/frm_main.h"

#include <dlfcn.h>

#include <QAccessible>
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
#include <QScopedValueRollback>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <algorithm>
#include <optional>
#include <string_view>
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

// What a drop holds: local paths as the file system's bytes, and the names
// that could not be carried exactly (shown as the command line quotes them).
struct Dropped {
  std::vector<std::string> paths;
  std::vector<std::string> refused;
};

// A file: URI's path, percent-decoded byte by byte as it came: never through
// QUrl or QString, which would turn bytes that are not UTF-8 into U+FFFD.
// None for an address that is no local file.
std::optional<std::string> LocalPathOf(std::string_view uri) {
  constexpr std::string_view kScheme = "file:";
  if (uri.size() < kScheme.size() ||
      QByteArray(uri.data(), static_cast<qsizetype>(kScheme.size())).toLower() != "file:") {
    return std::nullopt;
  }
  uri.remove_prefix(kScheme.size());
  if (uri.starts_with("//")) {
    uri.remove_prefix(2);
    const std::size_t slash = uri.find('/');
    const std::string_view host = uri.substr(0, slash);
    if (slash == std::string_view::npos || (!host.empty() && host != "localhost")) {
      return std::nullopt;
    }
    uri.remove_prefix(slash);
  }
  const auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string path;
  for (std::size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && hex(uri[i + 1]) >= 0 && hex(uri[i + 2]) >= 0) {
      path += static_cast<char>(hex(uri[i + 1]) * 16 + hex(uri[i + 2]));
      i += 2;
    } else if (uri[i] == '?' || uri[i] == '#') {
      break;  // a query or a fragment is no part of a file's name
    } else {
      path += uri[i];
    }
  }
  return path;
}

// The local files of a drop from its text/uri-list (one URI a line, '#'
// starting a comment), as file managers send it.
Dropped LocalFiles(const QMimeData* data) {
  Dropped dropped;
  if (data == nullptr) return dropped;
  const QByteArray list = data->data(QStringLiteral("text/uri-list"));
  for (const QByteArray& raw : list.split('\n')) {
    const QByteArray line = raw.trimmed();
    if (line.isEmpty() || line.startsWith('#')) continue;
    const std::optional<std::string> path =
        LocalPathOf(std::string_view(line.constData(), static_cast<std::size_t>(line.size())));
    if (!path) continue;
    // A NUL can end no name: such a path cannot reach the file system whole.
    if (path->empty() || path->find('\0') != std::string::npos) {
      dropped.refused.push_back(forms::ShownName(*path));
    } else {
      dropped.paths.push_back(*path);
    }
  }
  return dropped;
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

// The box naming where the library lies and how to register it.
std::function<std::string(HRESULT)> MissingText(const QString& library_folder) {
  return [library_folder](HRESULT hr) {
    // Point at the library where it actually lies: lib/brevio when installed,
    // beside the program in a build tree.
    QString folder = library_folder;
    if (!QFileInfo(folder + QStringLiteral("/TARNEX.so")).isFile()) {
      folder = QCoreApplication::applicationDirPath();
    }
    return forms::TarnexMissingText(hr, "regsvr",
                                    Utf8(QDir::cleanPath(folder + QStringLiteral("/TARNEX.so"))));
  };
}

}  // namespace

frmMain::frmMain(const TarnexCreator& creator, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_library([creator](comrt::ComPtr<_CTarnex>& out) { return creator.Create(out); },
                MissingText(creator.library_folder())) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QString::fromUtf8(kProductTitle));
  setWindowIcon(ProgramIcon());
  ApplyDesignLook(this);
  setFixedSize(forms::kClientWidthTwips / forms::kTwipsPerPixelAt96,
               forms::kClientHeightTwips / forms::kTwipsPerPixelAt96);
  BuildControls();
  forms::FormSettings settings;
  settings.help_site = Utf8(HelpSite());
  m_form = std::make_unique<forms::MainForm>(*this, m_library, std::move(settings));
  Form_Load();
}

frmMain::~frmMain() {
  // A file the worker has started is finished; nothing that it posts back is
  // delivered once the window is gone.
  m_form.reset();
}

_CTarnex* frmMain::tarnex() {
  std::string why;
  if (m_library.Ready(why)) return m_library.object();
  ShowMessage(forms::MessageIcon::kWarning, why);
  return nullptr;
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
  connect(ListView1, &QTreeWidget::itemChanged, this, &frmMain::ListView1_ItemChanged);
  connect(ListView1, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { ListView1_CurrentChanged(current); });
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
  if (watched == ListView1 && type == QEvent::FocusIn) {
    // Tab back to the list: its current row's reason, as an arrow key gives it.
    QTimer::singleShot(0, this, [this] { ListView1_CurrentChanged(ListView1->currentItem()); });
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
    const Dropped dropped = LocalFiles(drag->mimeData());
    if (m_form->AcceptsDrops() && (!dropped.paths.empty() || !dropped.refused.empty())) {
      drag->acceptProposedAction();
    } else {
      drag->ignore();
    }
    return true;
  }
  if (type == QEvent::Drop) {
    auto* drop = static_cast<QDropEvent*>(event);
    const Dropped dropped = LocalFiles(drop->mimeData());
    if (!m_form->AcceptsDrops() || (dropped.paths.empty() && dropped.refused.empty())) {
      drop->ignore();
      return true;
    }
    drop->acceptProposedAction();
    m_form->ListView1_Drop(dropped.paths, dropped.refused);
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

void frmMain::DrawRow(int row, bool announce) {
  QTreeWidgetItem* item = Item(row);
  const forms::ListRow& data = m_form->rows().at(static_cast<std::size_t>(row));
  QAccessibleTableInterface* table = nullptr;
  if (announce && QAccessible::isActive()) {
    if (QAccessibleInterface* list = QAccessible::queryAccessibleInterface(ListView1)) {
      table = list->tableInterface();
    }
  }
  for (int c = 0; c < forms::kColumnCount; ++c) {
    const QString text = FromUtf8(forms::CellText(data, c));
    const QString tip = FromUtf8(forms::CellTip(data, c));
    const bool new_text = item->text(c) != text;
    const bool new_tip = item->toolTip(c) != tip;
    if (new_text) item->setText(c, text);
    if (new_tip) {
      item->setToolTip(c, tip);
      // A screen reader reaches the path and the reason without a pointer.
      item->setData(c, Qt::AccessibleDescriptionRole, tip);
    }
    if (table == nullptr || (!new_text && !new_tip)) continue;
    // Cells written during a run are announced, so that a screen reader can follow.
    if (QAccessibleInterface* cell = table->cellAt(row, c)) {
      if (new_text) {
        QAccessibleEvent changed(cell, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
      }
      if (new_tip) {
        QAccessibleEvent changed(cell, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&changed);
      }
    }
  }
  const Qt::CheckState tick = data.ticked ? Qt::Checked : Qt::Unchecked;
  if (item->checkState(kColNumber) != tick) item->setCheckState(kColNumber, tick);
}

void frmMain::RowsAdded(int first, int count) {
  const QScopedValueRollback drawing(m_drawing, true);
  QList<QTreeWidgetItem*> items;
  items.reserve(count);
  for (int i = 0; i < count; ++i) {
    auto* item = new QTreeWidgetItem();
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(kColNumber, Qt::Unchecked);
    for (int c = 0; c < forms::kColumnCount; ++c) item->setTextAlignment(c, ColumnAlignment(c));
    items << item;
  }
  ListView1->insertTopLevelItems(first, items);
  for (int i = 0; i < count; ++i) DrawRow(first + i, false);
}

void frmMain::RowsRemoved(const std::vector<int>& rows) {
  const QScopedValueRollback drawing(m_drawing, true);
  QList<QTreeWidgetItem*> doomed;
  for (int row : rows) doomed << Item(row);
  qDeleteAll(doomed);
}

void frmMain::RowsChanged(int first, int count) {
  const QScopedValueRollback drawing(m_drawing, true);
  for (int row = first; row < first + count; ++row) DrawRow(row, m_form->running());
  // The reason of the row under the keyboard's focus, when it just came.
  if (QTreeWidgetItem* current = ListView1->currentItem()) {
    const int row = ListView1->indexOfTopLevelItem(current);
    if (row >= first && row < first + count && ListView1->hasFocus()) {
      ListView1_CurrentChanged(current);
    }
  }
}

void frmMain::ListView1_ItemChanged(QTreeWidgetItem* item, int column) {
  if (m_drawing || column != kColNumber) return;
  m_form->ListView1_Tick(ListView1->indexOfTopLevelItem(item),
                         item->checkState(kColNumber) == Qt::Checked);
}

void frmMain::ListView1_CurrentChanged(QTreeWidgetItem* current) {
  // The tip of a failed or skipped row shows at its row when the keyboard
  // gets there, as the pointer shows it on hover.
  if (current == nullptr || !ListView1->hasFocus()) return;
  const QString reason = current->toolTip(kColTargetSize);
  if (reason.isEmpty()) {
    QToolTip::hideText();
    return;
  }
  const QRect cell = ListView1->visualItemRect(current);
  QToolTip::showText(ListView1->viewport()->mapToGlobal(cell.bottomLeft()), reason,
                     ListView1->viewport(), cell);
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

void frmMain::ScrollToRow(int row) {
  if (QTreeWidgetItem* item = Item(row)) ListView1->scrollToItem(item);
}

std::optional<std::vector<std::string>> frmMain::RunFileDialog(
    const forms::FileDialogRequest& request) {
  const std::optional<QStringList> chosen = m_dialog.Run(request);
  if (!chosen) return std::nullopt;
  std::vector<std::string> paths;
  paths.reserve(static_cast<std::size_t>(chosen->size()));
  // As the file system names them (the dialog shows only names it can decode).
  for (const QString& path : *chosen) paths.push_back(QFile::encodeName(path).toStdString());
  return paths;
}

void frmMain::ShowMessage(forms::MessageIcon icon, const std::string& text) {
  if (icon == forms::MessageIcon::kWarning) {
    ShowWarning(this, FromUtf8(text));
  } else {
    ShowInformation(this, FromUtf8(text));
  }
}

bool frmMain::AskYesNo(const std::string& text) { return app::AskYesNo(this, FromUtf8(text)); }

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

// frmMain: the program's one working window - batch list, output folder,
// single-file group (below the visible edge), and the frame buttons.
#pragma once

#include <comrt.h>
#include <tarnex.h>

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "brevio/app/common_dialog.h"
#include "brevio/app/frm_about.h"
#include "brevio/forms/main_form.h"
#include "brevio/forms/tarnex_library.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace brevio::app {

// Creates CTarnex objects; registers the library first when the class is unknown
// and TARNEX.so sits in library_folder (an installed program's lib/brevio).
class TarnexCreator {
 public:
  explicit TarnexCreator(QString library_folder) : library_folder_(std::move(library_folder)) {}
  // The folder an installed program keeps its library in: <program>/../lib/brevio.
  static QString InstalledLibraryFolder();
  HRESULT Create(comrt::ComPtr<_CTarnex>& out) const;
  const QString& library_folder() const { return library_folder_; }

 private:
  QString library_folder_;
};

// The help-site address: the configured one, or file:// + <program>/../share/brevio.
QString HelpSite();

// Columns of ListView1.
using forms::kColNumber;
using forms::kColRatio;
using forms::kColSource;
using forms::kColSourceSize;
using forms::kColTargetSize;

// frmMain's Qt face: builds the controls from the layout table, forwards
// clicks, keys and drops to forms::MainForm and shows what it sets.
class frmMain : public QWidget, public forms::MainView, public AboutHost {
 public:
  explicit frmMain(
      const TarnexCreator& creator = TarnexCreator(TarnexCreator::InstalledLibraryFolder()),
      QWidget* parent = nullptr);
  ~frmMain() override;

  // The public read access of m_cTarnex: creates the object when still empty.
  // Null (after a message box saying why) when the library cannot be had.
  _CTarnex* tarnex() override;
  QWidget* AboutParent() override { return this; }

  // Centres the window on its screen, shows it and puts the focus in txtOpen.
  void ShowCentred();

  const QImage& background() const { return m_background; }
  // True from a batch run's start until its last row is back; the run's
  // closing box comes after.
  bool running() const { return m_form->running(); }
  forms::MainForm& form() { return *m_form; }

  // ---- forms::MainView
  std::string Text(forms::Control control) const override;
  void SetText(forms::Control control, const std::string& text) override;
  void SetReadOnly(forms::Control control, bool read_only) override;
  bool Checked(forms::Control control) const override;
  void RowsAdded(int first, int count) override;
  void RowsRemoved(const std::vector<int>& rows) override;
  void RowsChanged(int first, int count) override;
  std::vector<int> SelectedRows() const override;
  int CurrentRow() const override;
  void ScrollToRow(int row) override;
  std::optional<std::vector<std::string>> RunFileDialog(
      const forms::FileDialogRequest& request) override;
  void ShowMessage(forms::MessageIcon icon, const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  void ShowAbout() override;
  std::int32_t WindowHandle() const override;
  std::string DecimalPoint() const override;
  void SetBusy(bool busy) override;
  void CloseWindow() override { close(); }
  void PostToWindow(std::function<void()> task) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Enter on the buttons; Space and Delete on the list; files dropped on it.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Form_Load();
  void BuildControls();
  QTreeWidget* BuildList();
  void ConnectControls();
  void FitNumberColumn();
  QWidget* ControlOf(forms::Control control) const;
  QTreeWidgetItem* Item(int row) const;
  // Puts a row's texts, tips and tick into its item; says what changed to
  // assistive technology when it listens.
  void DrawRow(int row, bool announce);
  void ListView1_ItemChanged(QTreeWidgetItem* item, int column);
  void ListView1_CurrentChanged(QTreeWidgetItem* current);

  QImage m_background;
  CommonDialog m_dialog{this};
  std::unique_ptr<frmAbout> m_about;
  bool m_busy = false;
  bool m_drawing = false;  // items change because the form's rows did, not the user
  forms::TarnexLibrary m_library;

  QLineEdit* txtOpen = nullptr;
  QPushButton* cmdOpen = nullptr;
  QLineEdit* txtSave = nullptr;
  QPushButton* cmdSave = nullptr;
  QLabel* lblLenOpen = nullptr;
  QLabel* lblLenSave = nullptr;
  QPushButton* cmdTrim = nullptr;
  QTreeWidget* ListView1 = nullptr;
  QLineEdit* txtOutput = nullptr;
  QPushButton* cmdOutput = nullptr;
  QCheckBox* chkKeep = nullptr;
  QPushButton* cmdAdd = nullptr;
  QPushButton* cmdRemove = nullptr;
  QPushButton* cmdHelp = nullptr;
  QPushButton* cmdAbout = nullptr;
  QPushButton* cmdTrim2 = nullptr;
  QPushButton* cmdExit = nullptr;
  // Last: it goes first, stopping a run while the controls it reports to are whole.
  std::unique_ptr<forms::MainForm> m_form;
};

}  // namespace brevio::app

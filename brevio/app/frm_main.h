// frmMain: the program's one working window - batch list, output folder,
// single-file group (below the visible edge), and the frame buttons.
#pragma once

#include <comrt.h>
#include <tarnex.h>

#include <QImage>
#include <QString>
#include <QWidget>
#include <memory>

#include "brevio/app/common_dialog.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace brevio::app {

class frmAbout;
class LineControl;

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
enum ListColumn {
  kColNumber = 0,
  kColSource = 1,
  kColSourceSize = 2,
  kColTargetSize = 3,
  kColRatio = 4
};

class frmMain : public QWidget {
 public:
  explicit frmMain(TarnexCreator creator = TarnexCreator(TarnexCreator::InstalledLibraryFolder()),
                   QWidget* parent = nullptr);
  ~frmMain() override;

  // The public read access of m_cTarnex: creates the object when still empty.
  // Null (after a message box saying why) when the library cannot be had.
  _CTarnex* tarnex();

  // Centres the window on its screen, shows it and puts the focus in txtOpen.
  void ShowCentred();

  const QImage& background() const { return m_background; }
  bool running() const { return m_running; }

  // Handlers, public so that the window can be driven as a person would
  // (the buttons call them too).
  void cmdOpen_Click();
  void cmdSave_Click();
  void cmdTrim_Click();
  void cmdAdd_Click();
  void cmdRemove_Click();
  void cmdOutput_Click();
  void cmdTrim2_Click();
  void cmdHelp_Click();
  void cmdAbout_Click();
  void cmdExit_Click();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  friend class FrmMainTestPeer;  // tests fill very long lists without a dialog

  void Form_Load();
  void BuildControls();
  void AddFileToList(const QString& path);
  void TrimRow(QTreeWidgetItem* row);

  TarnexCreator m_creator;
  comrt::ComPtr<_CTarnex> m_cTarnex;
  QImage m_background;
  CommonDialog dlgFile{this};
  std::unique_ptr<frmAbout> m_about;
  bool m_running = false;
  bool m_closeRequested = false;

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
  QPushButton* cmdAdd = nullptr;
  QPushButton* cmdRemove = nullptr;
  QPushButton* cmdHelp = nullptr;
  QPushButton* cmdAbout = nullptr;
  QPushButton* cmdTrim2 = nullptr;
  QPushButton* cmdExit = nullptr;
  LineControl* Line1 = nullptr;
  LineControl* Line2 = nullptr;
};

}  // namespace brevio::app

// frmMain: the program's one working window - batch list, output folder,
// single-file group (below the visible edge), and the frame buttons.
#pragma once

#include <comrt.h>
#include <tarnex.h>

#include <QImage>
#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "brevio/app/common_dialog.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QThread;

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
  // True from a batch run's start until its last row is back; the run's
  // closing box comes after.
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
  // Enter on the buttons; Space and Delete on the list; files dropped on it.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class FrmMainTestPeer;  // tests fill very long lists without a dialog

  // One row of a batch run as the worker sees it.
  struct BatchFile {
    std::string source, target;
  };
  // What the worker hands back for one row: the sizes, or why it failed.
  struct BatchResult {
    std::uint64_t source_bytes = 0, target_bytes = 0;
    QString problem;
  };

  void Form_Load();
  void BuildControls();
  void AddFileToList(const QString& path);
  void AddFiles(const QStringList& paths);
  void AddDropped(const QStringList& paths);
  void RemoveRows(bool selected_when_none_ticked);
  void ToggleSelectedChecks();
  void FitNumberColumn();
  static BatchResult TrimBatchFile(const BatchFile& file);
  void StartBatchFile(int row);
  void BatchFileDone(int row, const BatchResult& result);
  void FinishBatch();

  TarnexCreator m_creator;
  comrt::ComPtr<_CTarnex> m_cTarnex;
  QImage m_background;
  CommonDialog dlgFile{this};
  std::unique_ptr<frmAbout> m_about;
  bool m_running = false;
  bool m_closeRequested = false;
  // The batch run: files go to the worker one at a time, each row comes back
  // to this thread before the next file starts.
  std::unique_ptr<QThread> m_worker;
  std::unique_ptr<QObject> m_workerContext;  // lives in m_worker; jobs are queued to it
  std::vector<BatchFile> m_batch;
  int m_failed = 0;

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

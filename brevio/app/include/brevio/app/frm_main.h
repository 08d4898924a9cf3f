// frmMain: the program's one working window - batch list, output folder,
// single-file group (below the visible edge), and the frame buttons.
#pragma once

#include <comrt.h>
#include <tarnex.h>

#include <QImage>
#include <QString>
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "brevio/app/common_dialog.h"
#include "brevio/app/frm_about.h"
#include "brevio/engine/batch.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QThread;

namespace brevio::app {

class LineControl;

// Holds the batch worker after each file until the window has shown its row,
// so that rows come back one by one and closing stops after the current file.
class RowGate {
 public:
  void Reset();
  // Worker: waits for Open (or Release).
  void Wait();
  // Window: the row is shown; the worker may go on.
  void Open();
  // The window goes away: no wait blocks again.
  void Release();

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  int open_ = 0;
  bool released_ = false;
};

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

class frmMain : public QWidget, public AboutHost {
 public:
  explicit frmMain(TarnexCreator creator = TarnexCreator(TarnexCreator::InstalledLibraryFolder()),
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

  void Form_Load();
  void BuildControls();
  void BuildList();
  void ConnectControls();
  // The Open or Save dialog for the single-file group; the name lands in `box`.
  void PickSingleFile(QLineEdit* box, bool save);
  void AddFileToList(const QString& path);
  void AddFiles(const QStringList& paths);
  void AddDropped(const QStringList& paths);
  void RemoveRows(bool selected_when_none_ticked);
  void ToggleSelectedChecks();
  void FitNumberColumn();
  bool BatchCanStart();
  void CollectBatchJobs(_CTarnex* t, const QString& folder);
  void StartWorker();
  void RunBatchOnWorker();
  void BatchFileDone(const BatchOutcome& outcome);
  void FinishBatch();

  TarnexCreator m_creator;
  comrt::ComPtr<_CTarnex> m_cTarnex;
  QImage m_background;
  CommonDialog dlgFile{this};
  std::unique_ptr<frmAbout> m_about;
  bool m_running = false;
  bool m_closeRequested = false;
  // The batch run: the runner trims on the worker one file at a time, and
  // each row comes back to this thread before the next file starts.
  std::unique_ptr<QThread> m_worker;
  std::unique_ptr<QObject> m_workerContext;  // lives in m_worker; the run is queued to it
  std::vector<BatchJob> m_batch;
  std::atomic<bool> m_cancel{false};
  RowGate m_rowShown;
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

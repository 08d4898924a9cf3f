// frmMain's behaviour, whatever draws it: the single-file trim, the batch
// list, the batch run on its worker thread, and the frame buttons. The face
// (Qt on Linux, the platform's controls on Windows) builds the controls,
// forwards clicks and keys to the handlers here, and implements MainView.
#pragma once

#include <comrt.h>
#include <tarnex.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "brevio/engine/batch.h"
#include "brevio/engine/protect.h"
#include "brevio/forms/file_dialog.h"
#include "brevio/forms/form_view.h"

namespace brevio::forms {

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

// What the logic needs from the program around it.
struct FormSettings {
  // Creates the CTarnex object (by class id; an installed copy may register
  // its library first). Called on first use and after each failure.
  std::function<HRESULT(comrt::ComPtr<_CTarnex>&)> create_tarnex;
  // The text of the box shown when that fails (names the library and the
  // command that registers it).
  std::function<std::string(HRESULT)> tarnex_missing_text;
  // The address in front of "/tools/brevio_help.htm".
  std::string help_site;
};

class MainForm {
 public:
  MainForm(MainView& view, FormSettings settings);
  // Stops a running batch after its current file and joins the worker;
  // nothing it posts afterwards runs.
  ~MainForm();
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;

  // The public read access of m_cTarnex: creates the object when still empty.
  // Null (after a message box saying why) when the library cannot be had.
  _CTarnex* tarnex();

  // True from a batch run's start until its last row is back; the run's
  // closing box comes after. Faces ignore drops and list keys meanwhile.
  bool running() const { return m_running; }

  // Buttons.
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

  // Keys on ListView1: Space ticks the current row (or every selected row)
  // to the opposite of the current row's tick; Delete removes the ticked
  // rows, or the selected ones when none is ticked.
  void ListView1_Space();
  void ListView1_Delete();
  // Files and folders dropped on the list: files as Add adds them, a folder
  // as its *.htm, *.html, *.asp and *.php files, one level deep, by name.
  void ListView1_Drop(const std::vector<std::string>& paths);

  // The window is asked to close (close box, Alt+F4, cmdExit). False while a
  // batch runs: the current file finishes, then the window closes itself.
  bool Form_QueryUnload();

  // dlgFile, for faces and tests that look at what the handlers set.
  FileDialog& dialog() { return dlgFile; }

 private:
  void PickSingleFile(Control box, bool save);
  void AddFileToList(const std::string& path);
  void AddFiles(const std::vector<std::string>& paths);
  bool BatchCanStart();
  void RunBatchOnWorker();
  void BatchFileDone(const BatchOutcome& outcome);
  void FinishBatch();

  MainView& m_view;
  FormSettings m_settings;
  comrt::ComPtr<_CTarnex> m_cTarnex;
  FileDialog dlgFile;
  bool m_running = false;
  bool m_closeRequested = false;
  int m_failed = 0;
  int m_skipped = 0;  // sources that are no text, left alone
  std::vector<BatchJob> m_batch;
  ProtectSet m_protect = 0;  // chkKeep's regions for the run under way
  std::atomic<bool> m_cancel{false};
  RowGate m_rowShown;
  std::thread m_worker;
  // Shared with posted tasks: false once the form is gone, so a task posted
  // by the worker late never touches it.
  std::shared_ptr<std::atomic<bool>> m_alive;
};

}  // namespace brevio::forms

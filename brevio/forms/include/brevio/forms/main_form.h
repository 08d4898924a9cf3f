// frmMain's behaviour, whatever draws it: the single-file trim, the batch
// list and its rows, the batch run on worker threads, and the frame buttons.
// The face (Qt on Linux, the platform's controls on Windows) builds the
// controls, forwards clicks, keys and drops to the handlers here, draws the
// rows the form keeps and implements MainView.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "brevio/engine/batch.h"
#include "brevio/engine/protect.h"
#include "brevio/forms/file_dialog.h"
#include "brevio/forms/form_view.h"
#include "brevio/forms/library.h"

namespace brevio::forms {

// What became of a row in the last run.
enum class RowState : std::uint8_t { kListed, kTrimmed, kFailed, kSkipped };

// One row of ListView1. Paths and names are the file system's own bytes
// (on Windows UTF-8 of the wide names), never text that merely looks alike.
struct ListRow {
  std::string path;
  std::string name;                           // the last part of path: the target's name too
  int number = 0;                             // "#": the list's length when the row was added
  std::optional<std::uint64_t> source_bytes;  // none: no file there when added
  RowState state = RowState::kListed;
  std::uint64_t target_bytes = 0;  // with kTrimmed
  std::string ratio;               // with kTrimmed: as shown; empty when none
  std::string reason;              // with kFailed and kSkipped: why, in plain words
  bool ticked = false;
};

// A cell's text as ListView1 shows it.
std::string CellText(const ListRow& row, int column);
// A cell's tip (and accessible description): the full path on the source
// cell, the reason on the others of a failed or skipped row; else empty.
std::string CellTip(const ListRow& row, int column);

struct FormSettings {
  // The address in front of "/tools/brevio_help.htm".
  std::string help_site;
  // Files trimmed at once; 0: one per processor, as brevio-trim.
  unsigned files_at_once = 0;
};

class MainForm {
 public:
  MainForm(MainView& view, Library& library, FormSettings settings);
  // Stops a running batch after the files under way and joins its threads;
  // nothing they post afterwards runs.
  ~MainForm();
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;

  // The library, made ready; null after a box saying why it cannot be had.
  Library* library();

  // True from a batch run's start until its last row is back; the run's
  // closing box comes after. Meanwhile the list and the run's settings stay
  // as they are: the handlers below that would change them do nothing.
  bool running() const { return m_running; }
  // Whether a drop would be taken now (a face asks while dragging).
  bool AcceptsDrops() const { return !m_running; }

  const std::vector<ListRow>& rows() const { return m_rows; }

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
  // A row's box ticked or cleared with the pointer. While a run lasts the
  // row is drawn again as it was.
  void ListView1_Tick(int row, bool ticked);
  // Files and folders dropped on the list, as the system's own bytes: files
  // as Add adds them, a folder as its *.htm, *.html, *.asp and *.php files,
  // one level deep, by name. `refused` are names the face could not carry
  // exactly (shown as the command line quotes them): a box names them.
  void ListView1_Drop(const std::vector<std::string>& paths,
                      const std::vector<std::string>& refused = {});

  // The window is asked to close (close box, Alt+F4, cmdExit). False while a
  // batch runs: the files under way finish, then the window closes itself.
  bool Form_QueryUnload();

  // dlgFile, for faces and tests that look at what the handlers set.
  FileDialog& dialog() { return dlgFile; }

 private:
  struct RunShared;

  void PickSingleFile(Control box, bool save);
  void AddFiles(const std::vector<std::string>& paths);
  void SayRefused(const std::vector<std::string>& refused);
  void RemoveRows(bool selected_when_none_ticked);
  std::optional<std::string> OutputFolder();
  bool BatchCanStart();
  bool AgreeToInPlace(const std::string& folder);
  void DrainResults();
  void ShowOutcome(const BatchOutcome& outcome);
  void FinishBatch();

  MainView& m_view;
  Library& m_library;
  FormSettings m_settings;
  FileDialog dlgFile;
  std::vector<ListRow> m_rows;
  bool m_running = false;
  bool m_closeRequested = false;
  int m_failed = 0;
  int m_skipped = 0;  // sources that are no text, left alone
  std::vector<BatchJob> m_batch;
  ProtectSet m_protect = 0;  // chkKeep's regions for the run under way
  std::atomic<bool> m_cancel{false};
  // What the run's threads hand the window, and whether the form is still
  // there to take it: shared with the tasks they post.
  std::shared_ptr<RunShared> m_shared;
  std::thread m_worker;
};

}  // namespace brevio::forms

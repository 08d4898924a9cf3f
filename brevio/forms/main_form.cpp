#include "brevio/forms/main_form.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "brevio/engine/file_trim.h"
#include "brevio/engine/ratio_format.h"
#include "brevio/forms/tarnex_calls.h"
#include "brevio/forms/texts.h"

namespace brevio::forms {
namespace {

constexpr const char* kHtmlFilter = "HTML Files(*.htm;*.html)|*.htm;*.html|All Files(*.*)|*.*";
constexpr const char* kAddFilter =
    "HTML Files(*.htm;*.html)|*.htm;*.html|ASP Files(*.asp)|*.asp|PHP Files(*.php)|*.php|"
    "All Files(*.*)|*.*";

// The label beside a single-file box after a length was read.
void ShowLength(MainView& view, Control label, const char* gap, const std::string& path) {
  if (const auto len = FileLength(path)) {
    view.SetText(label, std::string("File Len:") + gap + std::to_string(*len));
  }
}

// Removes the ticked rows, or (when asked and none is ticked) the selected ones;
// the rows left keep their order and their texts.
void RemoveRowsOf(MainView& view, bool selected_when_none_ticked) {
  std::vector<int> doomed;
  for (int i = 0; i < view.RowCount(); ++i) {
    if (view.Ticked(i)) doomed.push_back(i);
  }
  if (doomed.empty() && selected_when_none_ticked) doomed = view.SelectedRows();
  if (!doomed.empty()) view.RemoveRows(doomed);
}

// The plain reason a row failed; empty when it was trimmed.
std::string BatchProblem(const BatchJob& job, const BatchOutcome& outcome) {
  if (!outcome.failure) return TrimResultText(outcome.report.result, job.source);
  return FailureWords(*outcome.failure);
}

// What chkKeep asks to keep as it is: everything protect.h knows, or
// nothing (the rule alone).
ProtectSet KeptRegions(const MainView& view) {
  return view.Checked(Control::chkKeep) ? kProtectAll : 0;
}

// A run reads the output folder and chkKeep once, at its start; while it
// lasts neither can be changed.
void HoldRunSettings(MainView& view, bool held) {
  view.SetReadOnly(Control::txtOutput, held);
  view.SetReadOnly(Control::chkKeep, held);
}

}  // namespace

// ---------------------------------------------------------------- RowGate

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

// ---------------------------------------------------------------- the form

MainForm::MainForm(MainView& view, FormSettings settings)
    : m_view(view),
      m_settings(std::move(settings)),
      m_alive(std::make_shared<std::atomic<bool>>(true)) {}

MainForm::~MainForm() {
  // A file the worker has started is finished; nothing that it posts back is
  // delivered once the form is gone.
  *m_alive = false;
  m_cancel = true;
  m_rowShown.Release();
  if (m_worker.joinable()) m_worker.join();
  if (m_running) m_view.SetBusy(false);
}

_CTarnex* MainForm::tarnex() {
  if (m_cTarnex) return m_cTarnex.get();
  comrt::ComPtr<_CTarnex> created;
  const HRESULT hr = m_settings.create_tarnex ? m_settings.create_tarnex(created) : E_FAIL;
  if (FAILED(hr) || !created) {
    const HRESULT shown = FAILED(hr) ? hr : E_FAIL;
    m_view.ShowMessage(MessageIcon::kWarning, m_settings.tarnex_missing_text
                                                  ? m_settings.tarnex_missing_text(shown)
                                                  : TarnexMissingText(shown, "regsvr", "TARNEX"));
    return nullptr;
  }
  m_cTarnex = std::move(created);
  return m_cTarnex.get();
}

// ---------------------------------------------------------------- single file

void MainForm::PickSingleFile(Control box, bool save) {
  try {
    dlgFile.CancelError = true;
    dlgFile.Flags = (save ? kOfnOverwritePrompt : kOfnFileMustExist) | kOfnExplorer | kOfnLongNames;
    dlgFile.Filter = kHtmlFilter;
    if (save) {
      dlgFile.ShowSave(m_view);
    } else {
      dlgFile.ShowOpen(m_view);
    }
    m_view.SetText(box, dlgFile.FileName);
  } catch (const CommonDialogError&) {
    // Cancel (or a name too long for the dialog) leaves the box as it was.
  }
}

void MainForm::cmdOpen_Click() {
  PickSingleFile(Control::txtOpen, false);
  ShowLength(m_view, Control::lblLenOpen, "    ", m_view.Text(Control::txtOpen));
}

void MainForm::cmdSave_Click() { PickSingleFile(Control::txtSave, true); }

void MainForm::cmdTrim_Click() {
  const std::string source = m_view.Text(Control::txtOpen);
  const std::string target = m_view.Text(Control::txtSave);
  std::string problem;
  try {
    TrimOptions options;
    options.protect = KeptRegions(m_view);
    const TrimReport report = TrimFileWithReport(source, target, options);
    problem = TrimResultText(report.result, source, report.not_text);
  } catch (const std::exception& e) {
    problem = PlainReason(e);
  }
  ShowLength(m_view, Control::lblLenOpen, " ", source);
  ShowLength(m_view, Control::lblLenSave, " ", target);
  if (!problem.empty()) m_view.ShowMessage(MessageIcon::kWarning, problem);
}

// ---------------------------------------------------------------- batch list

void MainForm::cmdAdd_Click() {
  if (m_running) return;
  dlgFile.CancelError = true;
  dlgFile.FileName.clear();
  dlgFile.FileNames.clear();
  dlgFile.Flags = kOfnAllowMultiSelect | kOfnFileMustExist | kOfnExplorer | kOfnLongNames;
  dlgFile.Filter = kAddFilter;
  dlgFile.MaxFileSize = 32767;
  try {
    dlgFile.ShowOpen(m_view);
  } catch (const CommonDialogError& e) {
    // A selection too long for FileName is still whole in FileNames.
    if (e.number() == kCancelErrorNumber) return;
  }
  // Every chosen path as the dialog gave it: names typed from several folders
  // keep their own folders.
  AddFiles(dlgFile.FileNames);
}

void MainForm::AddFiles(const std::vector<std::string>& paths) {
  if (paths.empty() || tarnex() == nullptr) return;
  for (const std::string& path : paths) AddFileToList(path);
}

void MainForm::AddFileToList(const std::string& path) {
  _CTarnex* t = tarnex();
  if (t == nullptr) return;
  const int row = m_view.AddRow();
  m_view.SetCell(row, kColNumber, std::to_string(m_view.RowCount()));
  m_view.SetCell(row, kColSource, RipFile(t, path));
  m_view.SetTip(row, kColSource, path);
  const auto len = FileLength(path);
  if (!len) return;  // a file gone since it was picked keeps its name and path only
  m_view.SetCell(row, kColSourceSize, std::to_string(*len));
  m_view.SetCell(row, kColTargetSize, " ");
  m_view.SetCell(row, kColRatio, " ");
}

void MainForm::cmdRemove_Click() {
  if (m_running) return;
  RemoveRowsOf(m_view, false);
}

void MainForm::ListView1_Space() {
  const int current = m_view.CurrentRow();
  if (current < 0) return;
  const bool tick = !m_view.Ticked(current);
  std::vector<int> rows = m_view.SelectedRows();
  if (std::find(rows.begin(), rows.end(), current) == rows.end()) rows.push_back(current);
  for (int row : rows) m_view.SetTicked(row, tick);
}

void MainForm::ListView1_Delete() {
  if (m_running) return;
  RemoveRowsOf(m_view, true);
}

void MainForm::ListView1_Drop(const std::vector<std::string>& paths) {
  if (m_running) return;
  std::vector<std::string> files;
  for (const std::string& path : paths) {
    if (!IsFolder(path)) {
      files.push_back(path);
      continue;
    }
    for (std::string& page : FolderPages(path)) files.push_back(std::move(page));
  }
  AddFiles(files);
}

void MainForm::cmdOutput_Click() {
  if (m_running) return;
  _CTarnex* t = tarnex();
  if (t == nullptr) return;
  const std::string folder = TrimSpaces(GetDir(t, m_view.WindowHandle()));
  if (!folder.empty()) m_view.SetText(Control::txtOutput, folder);
}

// ---------------------------------------------------------------- batch run

void MainForm::cmdTrim2_Click() {
  if (m_running || !BatchCanStart()) return;
  _CTarnex* t = tarnex();
  if (t == nullptr) return;
  // The folder and chkKeep are read once: what they say when the run starts
  // holds for every file. Rows are addressed by position: Add, Remove, Delete
  // and drops wait for the run, so the list keeps its rows until the last is
  // back.
  const std::string folder = m_view.Text(Control::txtOutput);
  m_protect = KeptRegions(m_view);
  m_batch.clear();
  for (int i = 0; i < m_view.RowCount(); ++i) {
    BatchJob& job = m_batch.emplace_back();
    job.source = m_view.Tip(i, kColSource);
    job.target = JoinPathFile2(t, folder, m_view.Cell(i, kColSource));
  }
  if (m_worker.joinable()) m_worker.join();
  m_running = true;
  m_closeRequested = false;
  m_failed = 0;
  m_skipped = 0;
  m_cancel = false;
  m_rowShown.Reset();
  HoldRunSettings(m_view, true);
  m_view.SetBusy(true);
  // Results of an earlier run would read as this run's until their row is done.
  for (int i = 0; i < m_view.RowCount(); ++i) {
    m_view.SetCell(i, kColTargetSize, " ");
    m_view.SetTip(i, kColTargetSize, "");
    m_view.SetCell(i, kColRatio, " ");
  }
  m_view.ScrollToRow(0);
  try {
    m_worker = std::thread([this] { RunBatchOnWorker(); });
  } catch (const std::system_error& e) {
    // No thread to be had: the run ends before its first file, saying why.
    m_running = false;
    HoldRunSettings(m_view, false);
    m_view.SetBusy(false);
    m_view.ShowMessage(MessageIcon::kWarning, PlainReason(e));
  }
}

bool MainForm::BatchCanStart() {
  if (TrimSpaces(m_view.Text(Control::txtOutput)).empty()) {
    m_view.ShowMessage(MessageIcon::kInformation,
                       "Please select an output folder to save the trimmed files.");
    return false;
  }
  if (m_view.RowCount() == 0) {
    m_view.ShowMessage(MessageIcon::kInformation, "Please add some files to the listview to trim.");
    return false;
  }
  return true;
}

void MainForm::RunBatchOnWorker() {
  BatchOptions options;
  options.max_at_once = 1;
  // The list may hold a file twice on purpose; each row is trimmed as listed.
  options.find_repeats = false;
  options.cancel = &m_cancel;
  options.protect = m_protect;
  const std::shared_ptr<std::atomic<bool>> alive = m_alive;
  RunBatch(m_batch, options, [this, alive](const BatchOutcome& outcome) {
    m_view.PostToWindow([this, alive, outcome] {
      if (*alive) BatchFileDone(outcome);
    });
    m_rowShown.Wait();
  });
  m_view.PostToWindow([this, alive] {
    if (*alive) FinishBatch();
  });
}

void MainForm::BatchFileDone(const BatchOutcome& outcome) {
  const std::string problem = BatchProblem(m_batch[outcome.index], outcome);
  const int row = static_cast<int>(outcome.index);
  if (row < m_view.RowCount()) {
    if (outcome.skipped()) {
      ++m_skipped;
      m_view.SetCell(row, kColTargetSize, "skipped");
      m_view.SetTip(row, kColTargetSize, SkippedText(outcome.report.not_text));
      m_view.SetCell(row, kColRatio, " ");
    } else if (!problem.empty()) {
      ++m_failed;
      // Never show the size of a stale file from an earlier run as a result.
      m_view.SetCell(row, kColTargetSize, "failed");
      m_view.SetTip(row, kColTargetSize, problem);
      m_view.SetCell(row, kColRatio, " ");
    } else {
      // Both sizes as this trim saw them (in place, the source's is the one
      // before it), so that the ratio agrees with the row even when the file
      // changed since it was added.
      m_view.SetCell(row, kColSourceSize, std::to_string(outcome.report.source_bytes));
      m_view.SetCell(row, kColTargetSize, std::to_string(outcome.report.target_bytes));
      m_view.SetTip(row, kColTargetSize, "");
      if (const auto ratio = CompressionText(outcome.report.target_bytes,
                                             outcome.report.source_bytes, m_view.DecimalPoint())) {
        m_view.SetCell(row, kColRatio, *ratio);
      }
    }
    if (row + 1 < m_view.RowCount()) m_view.ScrollToRow(row + 1);
  }
  m_rowShown.Open();
}

void MainForm::FinishBatch() {
  const auto total = static_cast<int>(m_batch.size());
  if (m_worker.joinable()) m_worker.join();  // it has nothing left to do but return
  m_batch.clear();
  m_running = false;
  HoldRunSettings(m_view, false);
  m_view.SetBusy(false);
  if (m_closeRequested) {
    m_view.CloseWindow();
    return;
  }
  if (m_failed == 0 && m_skipped == 0) {
    m_view.ShowMessage(MessageIcon::kInformation, "Trim Finished.");
    return;
  }
  m_view.ShowMessage(MessageIcon::kWarning, BatchFailedText(m_failed, m_skipped, total));
}

// ---------------------------------------------------------------- frame buttons

void MainForm::cmdHelp_Click() {
  _CTarnex* t = tarnex();
  if (t == nullptr) return;
  OpenWebNew(t, m_settings.help_site + "/tools/brevio_help.htm");
}

void MainForm::cmdAbout_Click() { m_view.ShowAbout(); }

void MainForm::cmdExit_Click() {
  if (Form_QueryUnload()) m_view.CloseWindow();
}

bool MainForm::Form_QueryUnload() {
  if (!m_running) return true;
  // The current file finishes; its row comes back, then the window closes.
  m_closeRequested = true;
  m_cancel = true;
  return false;
}

}  // namespace brevio::forms

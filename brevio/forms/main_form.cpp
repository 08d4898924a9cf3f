#include "brevio/forms/main_form.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <exception>
#include <map>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "brevio/engine/file_trim.h"
#include "brevio/engine/ratio_format.h"
#include "brevio/forms/paths.h"
#include "brevio/forms/texts.h"

namespace brevio::forms {
namespace {

constexpr const char* kHtmlFilter = "HTML Files(*.htm;*.html)|*.htm;*.html|All Files(*.*)|*.*";
constexpr const char* kAddFilter =
    "HTML Files(*.htm;*.html)|*.htm;*.html|ASP Files(*.asp)|*.asp|PHP Files(*.php)|*.php|"
    "All Files(*.*)|*.*";

// Rows shown per turn of the window's thread: enough that a fast run is not
// held up by the hand-over, few enough that the window still answers at once.
constexpr std::size_t kRowsPerTurn = 256;

// The label beside a single-file box after a length was read.
void ShowLength(MainView& view, Control label, const char* gap, const std::string& path) {
  if (const auto len = FileLength(path)) {
    view.SetText(label, std::string("File Len:") + gap + std::to_string(*len));
  }
}

// The plain reason a trim failed; empty when it was trimmed.
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

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home != nullptr ? home : "";
}

}  // namespace

std::string CellText(const ListRow& row, int column) {
  const bool listed = row.state == RowState::kListed;
  // A row whose file was missing when added keeps its last cells empty.
  const char* blank = listed && !row.source_bytes ? "" : " ";
  switch (column) {
    case kColNumber:
      return std::to_string(row.number);
    case kColSource:
      return ShownName(row.name);
    case kColSourceSize:
      return row.source_bytes ? std::to_string(*row.source_bytes) : "";
    case kColTargetSize:
      switch (row.state) {
        case RowState::kTrimmed:
          return std::to_string(row.target_bytes);
        case RowState::kFailed:
          return "failed";
        case RowState::kSkipped:
          return "skipped";
        case RowState::kListed:
          break;
      }
      return blank;
    case kColRatio:
      return row.state == RowState::kTrimmed && !row.ratio.empty() ? row.ratio : blank;
    default:
      return {};
  }
}

std::string CellTip(const ListRow& row, int column) {
  if (column == kColSource) return ShownName(row.path);
  const bool why = row.state == RowState::kFailed || row.state == RowState::kSkipped;
  return why ? row.reason : std::string();
}

// What the run's threads hand to the window thread. Outcomes queue here and
// one task at a time drains them, so that the window takes rows in batches.
struct MainForm::RunShared {
  std::mutex mutex;
  std::deque<BatchOutcome> outcomes;
  bool posted = false;  // a drain task is on its way
  bool done = false;    // the worker has returned
  std::string failure;  // why the run stopped early, when it did
  std::atomic<bool> alive{true};
};

MainForm::MainForm(MainView& view, Library& library, FormSettings settings)
    : m_view(view),
      m_library(library),
      m_settings(std::move(settings)),
      m_shared(std::make_shared<RunShared>()) {}

MainForm::~MainForm() {
  // The files under way finish; nothing the run posts back is delivered once
  // the form is gone.
  m_shared->alive = false;
  m_cancel = true;
  if (m_worker.joinable()) m_worker.join();
  if (m_running) m_view.SetBusy(false);
}

Library* MainForm::library() {
  std::string why;
  if (m_library.Ready(why)) return &m_library;
  m_view.ShowMessage(MessageIcon::kWarning, why);
  return nullptr;
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
  if (paths.empty()) return;
  const int first = static_cast<int>(m_rows.size());
  m_rows.reserve(m_rows.size() + paths.size());
  for (const std::string& path : paths) {
    ListRow& row = m_rows.emplace_back();
    row.path = path;
    row.name = NameOf(path);
    // Numbers go on from the count, as the list has always numbered them.
    row.number = static_cast<int>(m_rows.size());
    // A file gone since it was picked keeps its name and path only.
    row.source_bytes = FileLength(path);
  }
  m_view.RowsAdded(first, static_cast<int>(paths.size()));
}

void MainForm::SayRefused(const std::vector<std::string>& refused) {
  if (!refused.empty()) m_view.ShowMessage(MessageIcon::kWarning, RefusedNamesText(refused));
}

void MainForm::RemoveRows(bool selected_when_none_ticked) {
  std::vector<int> doomed;
  for (std::size_t i = 0; i < m_rows.size(); ++i) {
    if (m_rows[i].ticked) doomed.push_back(static_cast<int>(i));
  }
  if (doomed.empty() && selected_when_none_ticked) doomed = m_view.SelectedRows();
  if (doomed.empty()) return;
  std::vector<ListRow> kept;
  kept.reserve(m_rows.size() - doomed.size());
  auto next = doomed.begin();
  for (std::size_t i = 0; i < m_rows.size(); ++i) {
    if (next != doomed.end() && *next == static_cast<int>(i)) {
      ++next;
      continue;
    }
    kept.push_back(std::move(m_rows[i]));
  }
  m_rows = std::move(kept);
  m_view.RowsRemoved(doomed);
}

void MainForm::cmdRemove_Click() {
  if (m_running) return;
  RemoveRows(false);
}

void MainForm::ListView1_Space() {
  if (m_running) return;
  const int current = m_view.CurrentRow();
  if (current < 0 || current >= static_cast<int>(m_rows.size())) return;
  const bool tick = !m_rows[static_cast<std::size_t>(current)].ticked;
  std::vector<int> rows = m_view.SelectedRows();
  if (std::find(rows.begin(), rows.end(), current) == rows.end()) rows.push_back(current);
  for (int row : rows) {
    m_rows.at(static_cast<std::size_t>(row)).ticked = tick;
    m_view.RowsChanged(row, 1);
  }
}

void MainForm::ListView1_Tick(int row, bool ticked) {
  if (row < 0 || row >= static_cast<int>(m_rows.size())) return;
  ListRow& r = m_rows[static_cast<std::size_t>(row)];
  if (!m_running) r.ticked = ticked;
  if (r.ticked != ticked) m_view.RowsChanged(row, 1);
}

void MainForm::ListView1_Delete() {
  if (m_running) return;
  RemoveRows(true);
}

void MainForm::ListView1_Drop(const std::vector<std::string>& paths,
                              const std::vector<std::string>& refused_by_face) {
  if (m_running) return;
  std::vector<std::string> files;
  std::vector<std::string> refused = refused_by_face;
  for (const std::string& path : paths) {
    if (!IsFolder(path)) {
      files.push_back(path);
      continue;
    }
    for (std::string& page : FolderPages(path, refused)) files.push_back(std::move(page));
  }
  AddFiles(files);
  SayRefused(refused);
}

void MainForm::cmdOutput_Click() {
  if (m_running) return;
  Library* library = this->library();
  if (library == nullptr) return;
  const std::string folder = TrimSpaces(library->GetDir(m_view.WindowHandle()));
  if (!folder.empty()) m_view.SetText(Control::txtOutput, folder);
}

// ---------------------------------------------------------------- batch run

std::optional<std::string> MainForm::OutputFolder() {
  const std::string typed = m_view.Text(Control::txtOutput);
  if (TrimSpaces(typed).empty()) {
    m_view.ShowMessage(MessageIcon::kInformation,
                       "Please select an output folder to save the trimmed files.");
    return std::nullopt;
  }
  std::string problem;
  std::string folder = FullOutputFolder(typed, HomeFolder(), problem);
  if (folder.empty()) {
    m_view.ShowMessage(MessageIcon::kInformation, problem);
    return std::nullopt;
  }
  // Show the folder the run writes to, "~" expanded.
  if (folder != TrimSpaces(typed)) m_view.SetText(Control::txtOutput, folder);
  return folder;
}

bool MainForm::BatchCanStart() {
  if (TrimSpaces(m_view.Text(Control::txtOutput)).empty() || !m_rows.empty()) return true;
  m_view.ShowMessage(MessageIcon::kInformation, "Please add some files to the listview to trim.");
  return false;
}

bool MainForm::AgreeToInPlace(const std::string& folder) {
  // A row is trimmed in place when its folder is the output folder: its
  // target is then its own name there. Folders are compared by identity,
  // once each, not every file.
  const std::optional<FileId> output = FileIdOf(folder);
  if (!output) return true;
  std::map<std::string, bool> is_output;
  int in_place = 0;
  for (const ListRow& row : m_rows) {
    const std::string source_folder = FolderOf(row.path);
    auto it = is_output.find(source_folder);
    if (it == is_output.end()) {
      it = is_output.emplace(source_folder, FileIdOf(source_folder) == output).first;
    }
    if (it->second && row.source_bytes) ++in_place;
  }
  return in_place == 0 || m_view.AskYesNo(InPlaceQuestion(in_place));
}

void MainForm::cmdTrim2_Click() {
  if (m_running || !BatchCanStart()) return;
  const std::optional<std::string> folder = OutputFolder();
  if (!folder) return;
  // The folder and chkKeep are read once: what they say when the run starts
  // holds for every file. Rows are addressed by position: Add, Remove, Delete
  // and drops wait for the run, so the list keeps its rows until the last is
  // back.
  std::vector<BatchJob> jobs;
  jobs.reserve(m_rows.size());
  for (const ListRow& row : m_rows) {
    BatchJob& job = jobs.emplace_back();
    job.source = row.path;
    job.target = JoinPath(*folder, row.name);
  }
  if (!AgreeToInPlace(*folder)) return;
  m_batch = std::move(jobs);
  m_protect = KeptRegions(m_view);
  if (m_worker.joinable()) m_worker.join();
  m_running = true;
  m_closeRequested = false;
  m_failed = 0;
  m_skipped = 0;
  m_cancel = false;
  {
    const std::lock_guard lock(m_shared->mutex);
    m_shared->outcomes.clear();
    m_shared->posted = false;
    m_shared->done = false;
    m_shared->failure.clear();
  }
  HoldRunSettings(m_view, true);
  m_view.SetBusy(true);
  // Results of an earlier run would read as this run's until their row is done.
  for (ListRow& row : m_rows) row.state = RowState::kListed;
  m_view.RowsChanged(0, static_cast<int>(m_rows.size()));
  m_view.ScrollToRow(0);

  BatchOptions options;
  options.max_at_once = m_settings.files_at_once;
  options.cancel = &m_cancel;
  options.protect = m_protect;
  // A file listed twice is trimmed once; two files for one target are the
  // second one's failure, as brevio-trim has them.
  options.find_repeats = true;
  options.output_root = *folder;
  try {
    m_worker = std::thread([this, options, shared = m_shared, &view = m_view] {
      const auto post = [this, shared, &view] {
        view.PostToWindow([this, shared] {
          if (shared->alive) DrainResults();
        });
      };
      std::string failure;
      try {
        RunBatch(m_batch, options, [&](const BatchOutcome& outcome) {
          bool wake = false;
          {
            const std::lock_guard lock(shared->mutex);
            shared->outcomes.push_back(outcome);
            wake = !std::exchange(shared->posted, true);
          }
          if (wake) post();
        });
      } catch (const std::exception& e) {
        failure = PlainReason(e);
      }
      bool wake = false;
      {
        const std::lock_guard lock(shared->mutex);
        shared->done = true;
        shared->failure = failure;
        wake = !std::exchange(shared->posted, true);
      }
      if (wake) post();
    });
  } catch (const std::system_error& e) {
    // No thread to be had: the run ends before its first file, saying why.
    m_running = false;
    HoldRunSettings(m_view, false);
    m_view.SetBusy(false);
    m_view.ShowMessage(MessageIcon::kWarning, PlainReason(e));
  }
}

void MainForm::DrainResults() {
  std::vector<BatchOutcome> taken;
  bool more = false, finished = false;
  {
    const std::lock_guard lock(m_shared->mutex);
    while (!m_shared->outcomes.empty() && taken.size() < kRowsPerTurn) {
      taken.push_back(std::move(m_shared->outcomes.front()));
      m_shared->outcomes.pop_front();
    }
    more = !m_shared->outcomes.empty();
    finished = !more && m_shared->done;
    // Another task is wanted for what is left; otherwise the next outcome posts one.
    m_shared->posted = more;
  }
  if (!taken.empty()) {
    for (const BatchOutcome& outcome : taken) ShowOutcome(outcome);
    const auto first = static_cast<int>(taken.front().index);
    const auto last = static_cast<int>(taken.back().index);
    m_view.RowsChanged(first, last - first + 1);
    m_view.ScrollToRow(std::min(last + 1, static_cast<int>(m_rows.size()) - 1));
  }
  if (more) {
    m_view.PostToWindow([this, shared = m_shared] {
      if (shared->alive) DrainResults();
    });
  } else if (finished) {
    FinishBatch();
  }
}

void MainForm::ShowOutcome(const BatchOutcome& outcome) {
  if (outcome.index >= m_rows.size()) return;
  ListRow& row = m_rows[outcome.index];
  const BatchJob& job = m_batch[outcome.index];
  if (outcome.repeat != BatchRepeat::kNone) {
    const ListRow& first = m_rows.at(outcome.first);
    const bool first_trimmed = first.state == RowState::kTrimmed;
    if (outcome.repeat == BatchRepeat::kSameFile && first_trimmed) {
      // One file listed twice: trimmed once, the same result on both rows.
      row.state = RowState::kTrimmed;
      row.source_bytes = first.source_bytes;
      row.target_bytes = first.target_bytes;
      row.ratio = first.ratio;
      return;
    }
    ++m_failed;
    row.state = RowState::kFailed;
    row.reason = outcome.repeat == BatchRepeat::kSameFile
                     ? SameFileText(first.number, first_trimmed)
                     : SameTargetText(first.number, first_trimmed, job.target);
    return;
  }
  if (outcome.skipped()) {
    ++m_skipped;
    row.state = RowState::kSkipped;
    row.reason = SkippedText(outcome.report.not_text);
    return;
  }
  const std::string problem = BatchProblem(job, outcome);
  if (!problem.empty()) {
    // Never show the size of a stale file from an earlier run as a result.
    ++m_failed;
    row.state = RowState::kFailed;
    row.reason = problem;
    return;
  }
  // Both sizes as this trim saw them (in place, the source's is the one
  // before it), so that the ratio agrees with the row even when the file
  // changed since it was added.
  row.state = RowState::kTrimmed;
  row.source_bytes = outcome.report.source_bytes;
  row.target_bytes = outcome.report.target_bytes;
  row.ratio = CompressionText(outcome.report.target_bytes, outcome.report.source_bytes,
                              m_view.DecimalPoint())
                  .value_or("");
}

void MainForm::FinishBatch() {
  const auto total = static_cast<int>(m_batch.size());
  if (m_worker.joinable()) m_worker.join();  // it has nothing left to do but return
  std::string failure;
  {
    const std::lock_guard lock(m_shared->mutex);
    failure = std::move(m_shared->failure);
  }
  m_batch.clear();
  m_running = false;
  HoldRunSettings(m_view, false);
  m_view.SetBusy(false);
  if (m_closeRequested) {
    m_view.CloseWindow();
    return;
  }
  if (!failure.empty()) {
    m_view.ShowMessage(MessageIcon::kWarning, failure);
  } else if (m_failed == 0 && m_skipped == 0) {
    m_view.ShowMessage(MessageIcon::kInformation, "Trim Finished.");
  } else {
    m_view.ShowMessage(MessageIcon::kWarning, BatchFailedText(m_failed, m_skipped, total));
  }
}

// ---------------------------------------------------------------- frame buttons

void MainForm::cmdHelp_Click() {
  Library* library = this->library();
  if (library == nullptr) return;
  const std::string page = m_settings.help_site + "/tools/brevio_help.htm";
  // Without a browser the start fails quietly: say so, and where the page is.
  if (!library->OpenWebNew(page))
    m_view.ShowMessage(MessageIcon::kWarning, HelpNotOpenedText(page));
}

void MainForm::cmdAbout_Click() { m_view.ShowAbout(); }

void MainForm::cmdExit_Click() {
  if (Form_QueryUnload()) m_view.CloseWindow();
}

bool MainForm::Form_QueryUnload() {
  if (!m_running) return true;
  // The files under way finish; their rows come back, then the window closes.
  m_closeRequested = true;
  m_cancel = true;
  return false;
}

}  // namespace brevio::forms

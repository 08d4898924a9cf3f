#pragma once
// Trims a list of files, several at once, and hands back what became of
// each in list order. Both front ends run their batches through it and word
// the outcomes themselves.

#include <atomic>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "brevio/engine/file_trim.h"
#include "brevio/engine/trim_failure.h"

namespace brevio {

// A file as the system knows it: x, ./x, a link to x and a hard link to it
// are one file.
struct FileId {
  std::uint64_t device = 0;  // on Windows the volume's serial number
  std::uint64_t inode = 0;   // on Windows the file index
  auto operator<=>(const FileId&) const = default;
};

// The identity of the file at path after following links; empty when it
// cannot be examined (errno tells why).
std::optional<FileId> FileIdOf(const std::string& path);

struct BatchJob {
  std::string source;
  std::string target;  // the source itself: in place
  // False for files met in a folder walk that follows no links (see
  // TrimOptions::follow_links).
  bool follow_links = true;
  // The source's identity when the caller has it already (a folder walk
  // reads it with the name); otherwise the runner examines the source.
  std::optional<FileId> id;
  // The caller listed the source as a regular file (a folder walk): see
  // TrimOptions::source_listed_regular.
  bool listed_regular = false;
  // A walk's file: source_name in the held folder source_folder of folders
  // (see TrimOptions::source_at). An in-place target is the same, unless
  // the walk follows links.
  std::shared_ptr<HeldFolders> folders;
  std::size_t source_folder = 0;
  std::string source_name;
};

enum class BatchRepeat {
  kNone,
  kSameFile,    // the file of an earlier job again (same target, or both in place): not trimmed
  kSameTarget,  // another file for an earlier job's target: refused, not trimmed
};

struct BatchOutcome {
  std::size_t index = 0;  // the job's place in the list
  TrimReport report;      // the engine's result and sizes, when it ran and returned
  // Why the job failed, whether the trim threw or returned a failing result.
  std::optional<TrimFailure> failure;
  BatchRepeat repeat = BatchRepeat::kNone;
  std::size_t first = 0;  // with a repeat: the earlier job it repeats

  bool trimmed() const {
    return !failure && repeat == BatchRepeat::kNone && report.result == kTrimDone;
  }
  // The source is no text and was left alone (report.not_text says why).
  bool skipped() const {
    return !failure && repeat == BatchRepeat::kNone && report.result == kTrimNotText;
  }
};

struct BatchOptions {
  // Files trimmed at once; 0: one per processor. Fewer when the system
  // refuses more threads (the calling thread always works).
  unsigned max_at_once = 1;
  bool dry_run = false;
  // See TrimOptions: each source is compared with its own trim, nothing is
  // written (the jobs are in place).
  TrimCheck check = TrimCheck::kNo;
  // See TrimOptions.
  bool binary = false;
  bool keep_times = false;
  ProtectSet protect = 0;
  LineEnd line_end = LineEnd::kCrLf;
  // Find repeats (above) before the first trim starts, so that whatever
  // the number at once one file is trimmed once and two files never race
  // for one target. Off, every job is trimmed as listed.
  bool find_repeats = true;
  // Checked after each file: the files under way finish, no new one starts.
  const std::atomic<bool>* cancel = nullptr;
  // The folder files are trimmed into, when there is one. It is held open
  // for the run, every level below it is made and opened from the one above
  // (POSIX), and a symbolic link there is refused: it would lead the run's
  // files out of it (cp -r refuses too). The folder itself may be a link:
  // the user named it.
  std::string output_root;
  // The caller made output_root for this run: it holds nothing the run did
  // not put there (see TrimOptions::target_folder_made).
  bool output_root_made = false;
};

// Runs the jobs and calls deliver once per job, in list order, as soon as
// that job and every one before it are done. Calls never overlap, but come
// from whichever thread completes the next outcome (the calling thread
// among them); no thread waits for another per file. Returns the number of
// outcomes delivered: fewer than jobs.size() only when cancelled. Should
// deliver throw, no new file starts and the exception leaves RunBatch once
// the files under way are done.
std::size_t RunBatch(std::span<const BatchJob> jobs, const BatchOptions& options,
                     const std::function<void(const BatchOutcome&)>& deliver);

}  // namespace brevio

#include "brevio/cli/trim_command.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <filesystem>
#include <istream>
#include <optional>
#include <ostream>
#include <system_error>
#include <vector>

#include "brevio/cli/command_line.h"
#include "brevio/cli/shown_name.h"
#include "brevio/engine/batch.h"
#include "brevio/engine/file_trim.h"
#include "brevio/engine/ratio_format.h"
#include "brevio/version.h"
#include "display_width.h"
#include "fileio/file_error.h"
#include "fileio/path.h"
#include "json_report.h"
#include "same_file.h"
#include "table.h"
#include "walk.h"
#include "walk_filter.h"
#include "watch.h"

namespace brevio::cli {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kProgram = "brevio-trim";
constexpr std::size_t kStreamBlock = std::size_t{256} * 1024;

constexpr const char* kUsage =
    "Usage: brevio-trim [OPTION]... SOURCE TARGET\n"
    "  or:  brevio-trim [OPTION]... -o DIR FILE...\n"
    "  or:  brevio-trim [OPTION]... -i FILE...\n"
    "  or:  brevio-trim [OPTION]... --check FILE...\n"
    "  or:  brevio-trim [-]   (standard input to standard output)\n";

constexpr const char* kHelp =
    "Trims web pages (HTML, PHP, ASP, any 8-bit text) line by line: tabs become\n"
    "spaces, spaces at line starts and ends go, blank lines go, space runs shrink\n"
    "to one space. Lines end at CR or CR LF; written lines end in CR LF.\n"
    "\n"
    "  -o, --output DIR   trim each FILE into DIR under its own name (DIR is made)\n"
    "  -i, --in-place     trim each FILE in place\n"
    "  -r, --recursive    FILE operands that are folders are walked; with -o their\n"
    "                     layout is kept under DIR\n"
    "  -L, --dereference  the walk follows symbolic links; without it they are\n"
    "                     passed over (operands are taken as named)\n"
    "      --include GLOB file names to take when walking (repeatable); default\n"
    "                     *.htm *.html *.asp *.php, any letter case\n"
    "      --exclude GLOB leave out the files and whole folders the walk meets\n"
    "                     whose name matches (repeatable); GLOB/ matches folders\n"
    "                     only, a GLOB with a / inside the path below the walked\n"
    "                     folder (from its start when GLOB starts with /);\n"
    "                     exclude wins over --include\n"
    "      --exclude-from FILE\n"
    "                     --exclude for each line of FILE; empty lines and\n"
    "                     lines starting with # are left out\n"
    "  -n, --dry-run      write nothing; show the sizes the targets would have;\n"
    "                     with -r and neither -o nor -i, of the files in place\n"
    "      --check        write nothing; list the files a trim in place would\n"
    "                     change, one name a line (exit status 1 when any would)\n"
    "      --json         print the table as one JSON document (see the manual);\n"
    "                     with --check, each file's status instead of the list\n"
    "      --watch        after the run, trim each source again when it is saved\n"
    "                     (with -o DIR or -i; new files and folders too), one\n"
    "                     line a trim, until SIGINT or SIGTERM (Windows: Ctrl+C,\n"
    "                     Ctrl+Break or closing the console)\n"
    "      --protect LIST keep these regions byte for byte, LIST separated by\n"
    "                     commas: pre, textarea, script, style (the element with\n"
    "                     its tags), attributes (quoted values in tags), server\n"
    "                     (<? ?>, <% %>), all; <!-- brevio:off --> ...\n"
    "                     <!-- brevio:on --> is then kept too. Around a region\n"
    "                     the rule applies, the region being one word of its line:\n"
    "                     '<pre>  a  </pre>   b' gives '<pre>  a  </pre> b'\n"
    "      --eol END      how written lines end: crlf (the default: CR LF, and a\n"
    "                     blank line after a line ending in a lone LF), lf (LF),\n"
    "                     keep (as the file's first line end: a lone LF gives\n"
    "                     LF, else CR LF). lf and keep write no blank line, so\n"
    "                     their output trimmed again stays as it is. Protected\n"
    "                     regions keep their own line ends\n"
    "      --binary       trim files that are not text too (NUL bytes in their\n"
    "                     first 64 KiB, a UTF-16 or UTF-32 mark); without it they\n"
    "                     are skipped\n"
    "  -p, --preserve=timestamps\n"
    "                     give each target its source's access and modification\n"
    "                     times\n"
    "  -j, --jobs N       trim up to N files at once (default: processors)\n"
    "  -q, --quiet        print only errors (and the --json document)\n"
    "  -h, --help         show this help\n"
    "  -V, --version      show the version\n"
    "\n"
    "Every file is written to a new file beside its target and renamed over it\n"
    "only when complete, so a failure never leaves half a file behind.\n"
    "A file reached twice (x and ./x, a link and its file) is trimmed once; a\n"
    "second file for a target already written is refused.\n"
    "Names that a shell would misread are shown quoted, as ls shows them (on\n"
    "Windows in double quotes, as cmd reads them); control characters, C1\n"
    "controls and bytes that are not UTF-8 become escapes ('a'$'\\n''b.htm',\n"
    "'bad'$'\\377''.htm').\n"
    "\n"
    "Exit status: 0 all files trimmed (--check: all trimmed already), 1 a file\n"
    "failed or was skipped (--check: or would change), the filter's input was\n"
    "its output or the output could not be written, 2 usage error.\n";

std::string Line(std::string_view text) { return std::string(kProgram) + ": " + std::string(text); }

// Messages are worded without the program's name, which Line puts in
// front on standard error; the JSON report gives them as reasons.
std::string ErrorText(const std::string& path, const std::string& reason) {
  return QuoteName(path) + ": " + reason;
}

// The message for a job that was tried and failed: a failed step as
// "cannot create a temporary file in rodir: Permission denied" (the path
// quoted when its name needs it), anything else as "PATH: REASON".
std::string FailureText(const TrimFailure& failure) {
  if (!failure.step) return ErrorText(failure.path, failure.message);
  std::string text = failure.message;
  const std::string quoted = QuoteName(failure.path);
  if (quoted != failure.path) {
    if (const std::size_t at = text.find(" " + failure.path + ": "); at != std::string::npos) {
      text.replace(at + 1, failure.path.size(), quoted);
    }
  }
  return text;
}

// What a repeated job says on standard error, knowing how the first one went.
std::string RepeatText(const BatchOutcome& outcome, const BatchJob& job, const BatchJob& first,
                       bool first_done, bool check) {
  if (outcome.repeat == BatchRepeat::kSameFile) {
    const char* done = check ? ", already checked" : ", already trimmed";
    return ErrorText(job.source, "the same file as " + QuoteName(first.source) +
                                     (first_done ? done : ", not tried again"));
  }
  if (first_done) {
    return "will not overwrite just-trimmed " + QuoteName(first.target, true) + " with " +
           QuoteName(job.source, true);
  }
  return "will not write " + QuoteName(first.target, true) + " from both " +
         QuoteName(first.source, true) + " and " + QuoteName(job.source, true);
}

// The errno a failed stream left, else EIO: some streams fail without one.
int StreamError() { return errno != 0 ? errno : EIO; }

// The command's own streams as the ends of the engine's TrimStream.
StreamEnds EndsOf(std::istream& in, std::ostream& out) {
  return {[&in](char* into, std::size_t n, std::size_t& got) {
            errno = 0;
            in.read(into, static_cast<std::streamsize>(n));
            got = static_cast<std::size_t>(in.gcount());
            return got == 0 && in.bad() ? StreamError() : 0;
          },
          [&out](const char* data, std::size_t n) {
            errno = 0;
            out.write(data, static_cast<std::streamsize>(n));
            out.flush();
            return out ? 0 : StreamError();
          }};
}

int RunFilter(std::istream& in, std::ostream& out, std::ostream& err,
              const CommandEnvironment& environment, const CommandLine& line) {
  // `brevio-trim < f >> f` would read its own output until the disk is full.
  if (environment.in_fd >= 0 && environment.out_fd >= 0 &&
      SameRegularFile(environment.in_fd, environment.out_fd)) {
    err << Line("standard output: input file is output file") << '\n';
    return kExitFileFailed;
  }
  try {
    // The real standard streams are copied between directly, past their buffers.
    if (environment.in_fd >= 0 && environment.out_fd >= 0) {
      TrimStream(environment.in_fd, environment.out_fd, kStreamBlock, line.protect, line.line_end);
    } else {
      TrimStream(EndsOf(in, out), kStreamBlock, line.protect, line.line_end);
    }
    return kExitOk;
  } catch (const std::system_error& e) {
    const bool reading = std::string_view(e.what()).starts_with("read");
    // A reader that went away (a closed pipe) wants no message.
    if (!reading && e.code().value() == EPIPE) return kExitFileFailed;
    err << Line(std::string(reading ? "standard input" : "standard output") + ": " +
                e.code().message())
        << '\n';
    return kExitFileFailed;
  }
}

// What a batch prints, a row as each outcome arrives (in operand order):
// the table, the JSON document (--json), or with --check the names of the
// files that would change. Messages go to standard error in every form. A
// long run on a terminal shows how far it got on standard error.
class BatchPrinter {
 public:
  BatchPrinter(const CommandLine& line, std::span<const BatchJob> jobs, std::ostream& out,
               std::ostream& err, const CommandEnvironment& environment)
      : line_(line),
        jobs_(jobs),
        out_(out),
        err_(err),
        environment_(environment),
        progress_(environment.err_is_terminal && !line.quiet),
        succeeded_(jobs.size(), 0),
        table_(out, jobs.size(), QuoteNames()) {
    // The document is what --json asks for: -q does not silence it.
    if (line_.json) {
      json_.emplace(out_);
    } else if (!line_.quiet && !line_.check && !jobs_.empty()) {
      table_.PrintHeader();
    }
  }

  void Row(const BatchOutcome& outcome) {
    ClearProgress();
    const BatchJob& job = jobs_[outcome.index];
    ReportRow row;
    row.source = job.source;
    row.target = job.target;
    std::string message;  // for standard error
    bool always = true;   // an error, shown with -q too
    if (outcome.repeat != BatchRepeat::kNone) {
      message = RepeatText(outcome, job, jobs_[outcome.first], succeeded_[outcome.first] != 0,
                           line_.check);
      row.status =
          outcome.repeat == BatchRepeat::kSameTarget ? RowStatus::kFailed : RowStatus::kSameFile;
      always = row.status == RowStatus::kFailed;
    } else if (outcome.skipped()) {
      // Refused, not failed, but the run did not do all it was asked.
      row.status = RowStatus::kSkipped;
      message =
          ErrorText(job.source, "not a text file (" +
                                    std::string(NotTextReason(outcome.report.not_text)) + ")");
    } else if (outcome.trimmed()) {
      succeeded_[outcome.index] = 1;
      row.status = outcome.report.unchanged ? RowStatus::kUnchanged
                   : line_.check            ? RowStatus::kWouldChange
                                            : RowStatus::kTrimmed;
      row.source_bytes = outcome.report.source_bytes;
      row.target_bytes = outcome.report.target_bytes;
      ++total_.files;
      total_.source_bytes += *row.source_bytes;
      total_.target_bytes += *row.target_bytes;
    } else {
      row.status = RowStatus::kFailed;
      message =
          outcome.failure ? FailureText(*outcome.failure) : ErrorText(job.source, "unknown error");
    }
    if (row.status == RowStatus::kFailed) ++total_.failed;
    if (row.status == RowStatus::kSkipped) ++total_.skipped;
    if (row.status == RowStatus::kWouldChange) ++would_change_;
    if (!message.empty() && (always || !line_.quiet)) err_ << Line(message) << '\n';
    if (row.status == RowStatus::kFailed || row.status == RowStatus::kSkipped) row.reason = message;
    Print(row, outcome.index);
    DrawProgress(outcome.index + 1);
  }

  // Returns true when every file was trimmed (or repeated one that was)
  // and, with --check, none would change.
  bool Finish(std::span<const std::string> problems) {
    ClearProgress();
    if (json_) {
      json_->Finish(total_, problems);
    } else if (!line_.quiet && !line_.check && !jobs_.empty()) {
      table_.PrintTotal(total_.files, total_.failed, total_.skipped, total_.source_bytes,
                        total_.target_bytes);
    }
    out_.flush();
    return total_.failed == 0 && total_.skipped == 0 && would_change_ == 0;
  }

  // The files trimmed (or left as they were, holding their trim already).
  std::size_t trimmed() const { return total_.files; }

 private:
  void Print(const ReportRow& row, std::size_t index) {
    if (json_) {
      json_->Row(row);
      return;
    }
    if (line_.quiet) return;
    if (line_.check) {
      // One name a line, as the table shows it: a file to trim.
      if (row.status == RowStatus::kWouldChange) out_ << names_[index] << '\n';
      return;
    }
    std::string_view note;
    if (row.status == RowStatus::kSameFile || row.status == RowStatus::kSkipped) {
      note = StatusName(row.status);
    }
    table_.PrintRow(index + 1, names_[index], row.source_bytes, row.target_bytes, note);
  }

  // Names as printed; returns the widest, which sets the table's width.
  std::size_t QuoteNames() {
    std::size_t longest = 0;
    names_.reserve(jobs_.size());
    for (const BatchJob& job : jobs_) {
      names_.push_back(QuoteName(job.source));
      longest = std::max(longest, DisplayWidth(names_.back()));
    }
    return longest;
  }

  void DrawProgress(std::size_t finished) {
    const Clock::time_point now = Clock::now();
    if (!progress_ || now - start_ < environment_.progress_after ||
        now - drawn_ < std::chrono::milliseconds(100)) {
      return;
    }
    out_.flush();
    err_ << '\r' << kProgram << ": " << finished << '/' << jobs_.size() << " files" << std::flush;
    drawn_ = now;
    progress_shown_ = true;
  }

  void ClearProgress() {
    if (!progress_shown_) return;
    err_ << "\r\033[K" << std::flush;
    progress_shown_ = false;
  }

  const CommandLine& line_;
  std::span<const BatchJob> jobs_;
  std::ostream& out_;
  std::ostream& err_;
  const CommandEnvironment& environment_;
  const bool progress_;
  const Clock::time_point start_ = Clock::now();
  Clock::time_point drawn_{};
  bool progress_shown_ = false;
  std::vector<std::string> names_;
  std::vector<char> succeeded_;
  TrimTable table_;
  std::optional<JsonReport> json_;
  ReportTotal total_;
  std::size_t would_change_ = 0;
};

// Makes the -o folder once the walk has found something to write into it
// (a watch always may), so that a run with nothing to write leaves no empty
// folder behind; the walk passes over one that is there already. Returns
// the message when it cannot be made.
std::optional<std::string> PrepareOutputFolder(const CommandLine& line, bool anything,
                                               std::optional<FileId>& output_folder, bool& made) {
  if (line.mode != Mode::kOutputDir || line.dry_run || (!anything && !line.watch)) {
    return std::nullopt;
  }
  std::error_code ec;
  made = fs::create_directories(fileio::PathOf(line.output_dir), ec);
  if (ec) {
    return FailureText(FailureOf(fileio::FileError(fileio::Step::kMakeFolder, line.output_dir,
                                                   ec.default_error_condition().value()),
                                 line.output_dir));
  }
  output_folder = FileIdOf(line.output_dir);
  return std::nullopt;
}

// A folder the run made and wrote nothing into (every file skipped or
// failed) goes again, with the empty levels made below it; one that holds
// anything but folders stays as it is, and so does one that is no longer
// the folder made (a link or another folder put in its place meanwhile:
// its empty folders are someone else's).
void RemoveUnusedOutputFolder(const std::string& folder, const std::optional<FileId>& made) {
  std::error_code ec;
  std::vector<fs::path> levels{fileio::PathOf(folder)};
  if (!made || fs::is_symlink(levels.front(), ec) || ec || FileIdOf(folder) != made) return;
  for (fs::recursive_directory_iterator it(levels.front(), ec), end; !ec && it != end;
       it.increment(ec)) {
    if (!it->is_directory(ec) || it->is_symlink(ec)) return;
    levels.push_back(it->path());
  }
  if (ec) return;
  // The deepest first: a folder empties as its subfolders go.
  std::reverse(levels.begin(), levels.end());
  for (const fs::path& level : levels) {
    if (!fs::remove(level, ec) || ec) return;
  }
}

BatchOptions OptionsFor(const CommandLine& line, const CommandEnvironment& environment,
                        bool output_folder_made);
int Watch(const CommandLine& line, std::optional<FileId> output_folder, bool output_folder_made,
          const std::vector<BatchJob>& first, const std::vector<std::string>& problems,
          std::ostream& out, std::ostream& err, const CommandEnvironment& environment);

int RunBatch(const CommandLine& line, std::ostream& out, std::ostream& err,
             const CommandEnvironment& environment) {
  std::optional<FileId> output_folder;
  if (line.mode == Mode::kOutputDir) output_folder = FileIdOf(line.output_dir);
  std::vector<std::string> problems;
  const std::vector<BatchJob> jobs = CollectJobs(line, output_folder, problems);
  for (const std::string& problem : problems) err << Line(problem) << '\n';
  bool output_folder_made = false;
  if (auto failed = PrepareOutputFolder(line, !jobs.empty(), output_folder, output_folder_made)) {
    err << Line(*failed) << '\n';
    // A script reading the document gets one all the same.
    problems.push_back(*failed);
    if (line.json) JsonReport(out).Finish({}, problems);
    return kExitFileFailed;
  }

  if (line.watch) {
    return Watch(line, output_folder, output_folder_made, jobs, problems, out, err, environment);
  }
  BatchPrinter printer(line, jobs, out, err, environment);
  const BatchOptions options = OptionsFor(line, environment, output_folder_made);
  brevio::RunBatch(jobs, options,
                   [&printer](const BatchOutcome& outcome) { printer.Row(outcome); });
  const bool all_done = printer.Finish(problems);
  if (output_folder_made && printer.trimmed() == 0) {
    RemoveUnusedOutputFolder(line.output_dir, output_folder);
  }
  return (problems.empty() && all_done) ? kExitOk : kExitFileFailed;
}

BatchOptions OptionsFor(const CommandLine& line, const CommandEnvironment& environment,
                        bool output_folder_made) {
  BatchOptions options;
  options.max_at_once = line.jobs != 0 ? line.jobs : environment.processors;
  options.dry_run = line.dry_run;
  // The document gives every file's trimmed size, so its check reads each
  // file to the end; the list needs only the first difference.
  if (line.check) options.check = line.json ? TrimCheck::kWhole : TrimCheck::kFirst;
  options.binary = line.binary;
  options.keep_times = line.keep_times;
  options.protect = line.protect;
  options.line_end = line.line_end;
  if (line.mode == Mode::kOutputDir) {
    options.output_root = line.output_dir;
    options.output_root_made = output_folder_made;
  }
  return options;
}

// --watch: the first run prints its table as always; each later trim one
// line (a failure its message), and a copy already current nothing.
int Watch(const CommandLine& line, std::optional<FileId> output_folder, bool output_folder_made,
          const std::vector<BatchJob>& first, const std::vector<std::string>& problems,
          std::ostream& out, std::ostream& err, const CommandEnvironment& environment) {
  const WalkFilter filter(line);
  WatchHooks hooks;
  hooks.takes_file = [&filter](const std::string& name, std::string_view relative) {
    return filter.TakesFile(name, relative);
  };
  hooks.enters_folder = [&filter](const std::string& name, std::string_view relative) {
    return filter.EntersFolder(name, relative);
  };
  const std::optional<WatchStop::Native> watch_stop =
      environment.watch_stop != nullptr ? environment.watch_stop->native() : ConsoleStop();
  if (!watch_stop) {
    err << Line("cannot watch for changes: " + std::generic_category().message(errno)) << '\n';
    return kExitFileFailed;
  }
  hooks.stop = *watch_stop;
  bool first_run = true;
  hooks.trim = [&](const std::vector<BatchJob>& jobs, const std::atomic<bool>& stop) {
    BatchOptions options = OptionsFor(line, environment, output_folder_made && first_run);
    options.cancel = &stop;
    if (first_run) {
      first_run = false;
      BatchPrinter printer(line, jobs, out, err, environment);
      brevio::RunBatch(jobs, options,
                       [&printer](const BatchOutcome& outcome) { printer.Row(outcome); });
      return printer.Finish(problems);
    }
    bool ok = true;
    brevio::RunBatch(jobs, options, [&](const BatchOutcome& outcome) {
      const BatchJob& job = jobs[outcome.index];
      if (outcome.trimmed()) {
        if (outcome.report.unchanged || line.quiet) return;
        const auto ratio =
            CompressionText(outcome.report.target_bytes, outcome.report.source_bytes);
        out << "trimmed " << QuoteName(job.source) << " (" << outcome.report.source_bytes << " to "
            << outcome.report.target_bytes << " bytes" << (ratio ? ", " + *ratio : "") << ")"
            << std::endl;
      } else if (outcome.skipped()) {
        ok = false;
        err << Line(ErrorText(
                   job.source,
                   "not a text file (" + std::string(NotTextReason(outcome.report.not_text)) + ")"))
            << std::endl;
      } else {
        ok = false;
        err << Line(outcome.failure ? FailureText(*outcome.failure)
                                    : ErrorText(job.source, "unknown error"))
            << std::endl;
      }
    });
    return ok;
  };
  return RunWatch(line, output_folder, first, problems.empty(), hooks, err);
}

}  // namespace

int RunTrimCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err,
                   std::istream& in, const CommandEnvironment& environment) {
  const ParseOutcome parsed = ParseCommandLine(args, environment.wildcards);
  if (!parsed.command) {
    err << kProgram << ": " << parsed.error << '\n';
    if (!parsed.usage) return kExitFileFailed;
    err << kUsage << "Try 'brevio-trim --help' for more information.\n";
    return kExitUsage;
  }
  const CommandLine& line = *parsed.command;
  switch (line.mode) {
    case Mode::kHelp:
      out << kUsage << '\n' << kHelp;
      return kExitOk;
    case Mode::kVersion:
      out << kProgram << ' ' << kVersion << '\n';
      return kExitOk;
    case Mode::kFilter:
      return RunFilter(in, out, err, environment, line);
    default:
      return RunBatch(line, out, err, environment);
  }
}

}  // namespace brevio::cli

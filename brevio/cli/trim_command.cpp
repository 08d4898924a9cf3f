#include "brevio/cli/trim_command.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <istream>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "brevio/cli/command_line.h"
#include "brevio/cli/quote.h"
#include "brevio/cli/table.h"
#include "brevio/engine/file_trim.h"
#include "brevio/engine/stream_cleaner.h"
#include "brevio/version.h"
#include "fileio/file_error.h"

namespace brevio::cli {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kProgram = "brevio-trim";

constexpr const char* kUsage =
    "Usage: brevio-trim [OPTION]... SOURCE TARGET\n"
    "  or:  brevio-trim [OPTION]... -o DIR FILE...\n"
    "  or:  brevio-trim [OPTION]... -i FILE...\n"
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
    "  -n, --dry-run      write nothing; show the sizes the targets would have\n"
    "  -j, --jobs N       trim up to N files at once (default: processors)\n"
    "  -q, --quiet        print only errors\n"
    "  -h, --help         show this help\n"
    "  -V, --version      show the version\n"
    "\n"
    "Every file is written to a new file beside its target and renamed over it\n"
    "only when complete, so a failure never leaves half a file behind.\n"
    "A file reached twice (x and ./x, a link and its file) is trimmed once; a\n"
    "second file for a target already written is refused.\n"
    "\n"
    "Exit status: 0 all files trimmed, 1 a file failed or the output could not\n"
    "be written, 2 usage error.\n";

constexpr const char* kWebPatterns[] = {"*.htm", "*.html", "*.asp", "*.php"};

// A file as the system knows it: two paths to one file (x and ./x, a link
// and its target, hard links) give the same pair.
using FileId = std::pair<dev_t, ino_t>;

std::optional<FileId> IdOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{st.st_dev, st.st_ino};
}

enum class Repeat {
  kNone,
  kSameFile,    // the file of an earlier job again: trimmed once, noted
  kSameTarget,  // another file for an earlier job's target: refused
};

struct Job {
  std::string source;
  std::string target;
  bool make_folder = false;  // the target's folder may not exist yet (-r)
  bool walked = false;       // met in a -r walk, not named by the user
  Repeat repeat = Repeat::kNone;
  std::size_t first = 0;  // the earlier job it repeats
};

struct Outcome {
  std::optional<std::uint64_t> source_size;
  std::optional<std::uint64_t> target_size;
  std::string error;  // empty when the file was trimmed
};

std::string Line(std::string_view text) { return std::string(kProgram) + ": " + std::string(text); }

std::string ErrorLine(const std::string& path, const std::string& reason) {
  return Line(QuoteName(path) + ": " + reason);
}

// "cannot create a temporary file in rodir: Permission denied", the folder
// quoted when its name needs it.
std::string FileErrorLine(const fileio::FileError& e) {
  std::string text = e.what();
  const std::string quoted = QuoteName(e.path());
  const std::string plain = " " + e.path() + ": ";
  if (quoted != e.path()) {
    if (const std::size_t at = text.find(plain); at != std::string::npos)
      text.replace(at + 1, e.path().size(), quoted);
  }
  return Line(text);
}

std::string JoinFolder(const std::string& folder, const std::string& name) {
  return folder.ends_with('/') ? folder + name : folder + '/' + name;
}

bool Wanted(const std::string& file_name, const std::vector<std::string>& includes) {
  // Another trim's file in the making, whatever the patterns say.
  if (IsTrimTempName(file_name)) return false;
  if (includes.empty()) {
    return std::any_of(std::begin(kWebPatterns), std::end(kWebPatterns), [&](const char* pattern) {
      return ::fnmatch(pattern, file_name.c_str(), FNM_CASEFOLD) == 0;
    });
  }
  return std::any_of(includes.begin(), includes.end(), [&](const std::string& pattern) {
    return ::fnmatch(pattern.c_str(), file_name.c_str(), 0) == 0;
  });
}

// Why the engine found no regular file at `source`.
std::string NotFoundReason(const std::string& source) {
  struct stat st {};
  if (::stat(source.c_str(), &st) != 0)
    return std::error_code(errno, std::system_category()).message();
  if (S_ISDIR(st.st_mode)) return std::error_code(EISDIR, std::system_category()).message();
  return "not a regular file";
}

Outcome RunJob(const Job& job, bool dry_run, bool dereference) {
  Outcome outcome;
  try {
    if (job.make_folder && !dry_run) {
      const fs::path folder = fs::path(job.target).parent_path();
      std::error_code ec;
      fs::create_directories(folder, ec);
      if (ec) {
        outcome.error =
            Line("cannot create the folder " + QuoteName(folder.string()) + ": " + ec.message());
        return outcome;
      }
    }
    TrimOptions options;
    options.dry_run = dry_run;
    // The walk passed over links; one swapped in since must not be followed either.
    options.follow_links = dereference || !job.walked;
    const TrimReport report = TrimFileWithReport(job.source, job.target, options);
    switch (report.result) {
      case kTrimDone:
        outcome.source_size = report.source_bytes;
        outcome.target_size = report.target_bytes;
        break;
      case kTrimSourceBlank:
        outcome.error = ErrorLine(job.source, "source path is blank");
        break;
      case kTrimTargetBlank:
        outcome.error = ErrorLine(job.target, "target path is blank");
        break;
      default:
        outcome.error = ErrorLine(job.source, NotFoundReason(job.source));
        break;
    }
  } catch (const fileio::FileError& e) {
    outcome.error = FileErrorLine(e);
  } catch (const fs::filesystem_error& e) {
    outcome.error = ErrorLine(e.path1().string(), e.code().message());
  } catch (const std::system_error& e) {
    outcome.error = ErrorLine(job.source, e.code().message());
  } catch (const std::exception& e) {
    outcome.error = ErrorLine(job.source, e.what());
  }
  return outcome;
}

struct Found {
  std::string path;
  std::string relative;  // below the walked operand
};

// One -r walk. Symbolic links met on the way are passed over unless -L asks
// to follow them, so that a link planted in a served tree cannot lead a
// trim run by root to files outside it; the output folder is not walked.
class Walk {
 public:
  Walk(const CommandLine& line, std::optional<FileId> output_folder,
       std::vector<std::string>& errors)
      : line_(line), output_folder_(output_folder), errors_(errors) {}

  std::vector<Found> Run(const std::string& operand, FileId id) {
    found_.clear();
    open_ = {id};
    Folder(operand, {});
    return std::move(found_);
  }

 private:
  void Folder(const fs::path& folder, const fs::path& relative) {
    std::vector<fs::directory_entry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
      entries.push_back(*it);
    }
    if (ec) {
      errors_.push_back(
          Line("cannot read the folder " + QuoteName(folder.string()) + ": " + ec.message()));
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
      return a.path().filename().native() < b.path().filename().native();
    });
    for (const fs::directory_entry& entry : entries) {
      std::error_code type_ec;
      fs::file_status status = entry.symlink_status(type_ec);
      if (fs::is_symlink(status)) {
        if (!line_.dereference) continue;
        status = entry.status(type_ec);  // a link to nothing has no file to take
      }
      if (type_ec) continue;
      const std::string name = entry.path().filename().string();
      if (fs::is_directory(status)) {
        Descend(entry.path(), relative / name);
      } else if (fs::is_regular_file(status) && Wanted(name, line_.includes)) {
        found_.push_back({entry.path().string(), (relative / name).string()});
      }
    }
  }

  void Descend(const fs::path& folder, const fs::path& relative) {
    const std::optional<FileId> id = IdOf(folder.string());
    if (!id) {
      const std::error_code ec(errno, std::system_category());
      errors_.push_back(
          Line("cannot read the folder " + QuoteName(folder.string()) + ": " + ec.message()));
      return;
    }
    if (id == output_folder_) return;
    // With -L a link back up the tree would be walked for ever.
    if (std::find(open_.begin(), open_.end(), *id) != open_.end()) {
      errors_.push_back(Line("will not walk the folder " + QuoteName(folder.string()) +
                             " again: File system loop detected"));
      return;
    }
    open_.push_back(*id);
    Folder(folder, relative);
    open_.pop_back();
  }

  const CommandLine& line_;
  std::optional<FileId> output_folder_;
  std::vector<std::string>& errors_;
  std::vector<FileId> open_;  // the folders from the operand down to here
  std::vector<Found> found_;
};

// Turns the operands into jobs; folders are walked with -r. Problems while
// walking go to `errors`. Runs before any job starts, so that repeats are
// known whatever -j: one file is trimmed once, and two files never race for
// one target.
std::vector<Job> CollectJobs(const CommandLine& line, std::optional<FileId> output_folder,
                             std::vector<std::string>& errors) {
  std::vector<Job> jobs;
  if (line.mode == Mode::kPair) {
    jobs.push_back({line.operands[0], line.operands[1]});
    return jobs;
  }
  const auto add = [&](const std::string& source, const std::string& relative, bool nested,
                       bool walked) {
    Job job{source, source};
    job.walked = walked;
    if (line.mode == Mode::kOutputDir) {
      job.target = JoinFolder(line.output_dir, relative);
      job.make_folder = nested;
    }
    jobs.push_back(std::move(job));
  };
  Walk walk(line, output_folder, errors);
  for (const std::string& operand : line.operands) {
    // An operand is taken as named, also when it is a symbolic link.
    struct stat st {};
    if (!line.recursive || ::stat(operand.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      add(operand, fs::path(operand).filename().string(), false, false);
      continue;
    }
    for (const Found& file : walk.Run(operand, {st.st_dev, st.st_ino})) {
      add(file.path, file.relative, fs::path(file.relative).has_parent_path(), true);
    }
  }

  std::vector<std::optional<FileId>> ids;
  ids.reserve(jobs.size());
  std::map<FileId, std::size_t> first_with_file;
  std::map<std::string, std::size_t> first_with_target;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    Job& job = jobs[i];
    ids.push_back(IdOf(job.source));
    if (line.mode == Mode::kInPlace) {
      if (!ids[i]) continue;  // fails on its own
      const auto [slot, fresh] = first_with_file.try_emplace(*ids[i], i);
      if (!fresh) {
        job.repeat = Repeat::kSameFile;
        job.first = slot->second;
      }
      continue;
    }
    const auto [slot, fresh] =
        first_with_target.try_emplace(fs::path(job.target).lexically_normal().string(), i);
    if (!fresh) {
      job.first = slot->second;
      job.repeat = ids[i] && ids[i] == ids[job.first] ? Repeat::kSameFile : Repeat::kSameTarget;
    }
  }
  return jobs;
}

// What a repeated job says on standard error, knowing how the first one went.
std::string RepeatLine(const Job& job, const Job& first, bool first_trimmed) {
  if (job.repeat == Repeat::kSameFile) {
    return ErrorLine(job.source, "the same file as " + QuoteName(first.source) +
                                     (first_trimmed ? ", already trimmed" : ", not tried again"));
  }
  if (first_trimmed) {
    return Line("will not overwrite just-trimmed " + QuoteName(first.target, true) + " with " +
                QuoteName(job.source, true));
  }
  return Line("will not write " + QuoteName(first.target, true) + " from both " +
              QuoteName(first.source, true) + " and " + QuoteName(job.source, true));
}

// Why a write to a stream failed: errno when the stream set it, else EIO.
std::string StreamReason(int error) {
  return std::error_code(error != 0 ? error : EIO, std::system_category()).message();
}

int RunFilter(std::istream& in, std::ostream& out, std::ostream& err,
              const CommandEnvironment& environment) {
  if (environment.in_fd >= 0 && environment.out_fd >= 0) {
    try {
      TrimStream(environment.in_fd, environment.out_fd);
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
  constexpr std::size_t kBlock = std::size_t{256} * 1024;
  std::vector<char> input(kBlock);
  std::vector<char> output(FileStreamCleaner::MaxOutput(kBlock));
  FileStreamCleaner cleaner;
  errno = 0;
  while (in) {
    in.read(input.data(), static_cast<std::streamsize>(input.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got == 0) break;
    BufferSink sink(output.data());
    cleaner.feed(std::string_view(input.data(), got), sink);
    out.write(output.data(), static_cast<std::streamsize>(sink.size()));
    if (!out) break;
  }
  if (in.bad()) {
    err << Line("standard input: " + StreamReason(errno)) << '\n';
    return kExitFileFailed;
  }
  BufferSink sink(output.data());
  cleaner.finish(sink);
  out.write(output.data(), static_cast<std::streamsize>(sink.size()));
  out.flush();
  if (!out) {
    err << Line("standard output: " + StreamReason(errno)) << '\n';
    return kExitFileFailed;
  }
  return kExitOk;
}

int RunBatch(const CommandLine& line, std::ostream& out, std::ostream& err,
             const CommandEnvironment& environment) {
  std::vector<std::string> errors;
  std::optional<FileId> output_folder;
  if (line.mode == Mode::kOutputDir) {
    if (!line.dry_run) {
      std::error_code ec;
      fs::create_directories(line.output_dir, ec);
      if (ec) {
        err << Line("cannot create the folder " + QuoteName(line.output_dir) + ": " + ec.message())
            << '\n';
        return kExitFileFailed;
      }
    }
    output_folder = IdOf(line.output_dir);
  }
  const std::vector<Job> jobs = CollectJobs(line, output_folder, errors);
  for (const std::string& error : errors) err << error << '\n';
  const bool failed = !errors.empty();

  const std::size_t count = jobs.size();
  std::vector<Outcome> outcomes(count);
  std::vector<char> done(count, 0);
  std::mutex mutex;
  std::condition_variable finished;
  std::atomic<std::size_t> next{0};
  // Waking a thread costs more than trimming a small page, so a finished
  // job wakes the printer only when it waits for that row.
  std::size_t printer_waits_for = count;
  const auto run_one = [&](std::size_t i) {
    // A repeat is settled by the printer, which knows how the first went.
    Outcome outcome = jobs[i].repeat == Repeat::kNone ? RunJob(jobs[i], line.dry_run, line.dereference) : Outcome{};
    bool wake = false;
    {
      const std::lock_guard lock(mutex);
      outcomes[i] = std::move(outcome);
      done[i] = 1;
      wake = printer_waits_for == i;
    }
    if (wake) finished.notify_all();
  };
  const auto work = [&] {
    for (std::size_t i = next++; i < count; i = next++) run_one(i);
  };
  unsigned threads = line.jobs != 0 ? line.jobs : environment.processors;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t wanted = std::min<std::size_t>(threads, count);
  std::vector<std::jthread> workers;
  workers.reserve(wanted);
  try {
    while (workers.size() < wanted) workers.emplace_back(work);
  } catch (const std::system_error&) {
    // The system gives no more threads (a process limit): those started do
    // the work; with none, this thread trims between printing rows.
  }

  std::size_t longest = 0;
  std::vector<std::string> names;
  names.reserve(count);
  for (const Job& job : jobs) {
    names.push_back(QuoteName(job.source));
    longest = std::max(longest, names.back().size());
  }
  TrimTable table(out, count, longest);
  if (!line.quiet && count > 0) table.PrintHeader();

  // Rows are printed in operand order as soon as each is known. A long run
  // on a terminal shows how far it got on standard error.
  const bool progress = environment.err_is_terminal && !line.quiet;
  const Clock::time_point start = Clock::now();
  Clock::time_point drawn{};
  bool progress_shown = false;
  const auto draw_progress = [&](std::size_t finished_count) {
    const Clock::time_point now = Clock::now();
    if (!progress || now - start < environment.progress_after ||
        now - drawn < std::chrono::milliseconds(100)) {
      return;
    }
    out.flush();
    err << '\r' << kProgram << ": " << finished_count << '/' << count << " files" << std::flush;
    drawn = now;
    progress_shown = true;
  };

  std::size_t trimmed = 0;
  std::size_t failed_files = 0;
  std::uint64_t source_total = 0;
  std::uint64_t target_total = 0;
  std::vector<char> succeeded(count, 0);
  for (std::size_t i = 0; i < count; ++i) {
    Outcome outcome;
    {
      std::unique_lock lock(mutex);
      while (done[i] == 0) {
        lock.unlock();
        if (workers.empty()) {
          run_one(next++);  // the jobs are claimed in order, so this is job i
        } else {
          lock.lock();
          printer_waits_for = i;
          finished.wait_for(lock, std::chrono::milliseconds(100));
          printer_waits_for = count;
          lock.unlock();
        }
        draw_progress(i);
        lock.lock();
      }
      outcome = std::move(outcomes[i]);
    }
    if (progress_shown) {
      err << "\r\033[K" << std::flush;
      progress_shown = false;
    }
    const Job& job = jobs[i];
    std::string_view note;
    if (job.repeat != Repeat::kNone) {
      const std::string message = RepeatLine(job, jobs[job.first], succeeded[job.first] != 0);
      if (job.repeat == Repeat::kSameTarget) {
        ++failed_files;
        err << message << '\n';
      } else {
        note = "same file";
        if (!line.quiet) err << message << '\n';
      }
    } else if (outcome.error.empty()) {
      ++trimmed;
      succeeded[i] = 1;
      source_total += *outcome.source_size;
      target_total += *outcome.target_size;
    } else {
      ++failed_files;
      err << outcome.error << '\n';
    }
    if (!line.quiet) {
      table.PrintRow(i + 1, names[i], outcome.source_size, outcome.target_size, note);
    }
    draw_progress(i + 1);
  }
  workers.clear();
  if (progress_shown) err << "\r\033[K" << std::flush;
  if (!line.quiet && count > 0) table.PrintTotal(trimmed, failed_files, source_total, target_total);
  out.flush();
  return (failed || failed_files > 0) ? kExitFileFailed : kExitOk;
}

}  // namespace

int RunTrimCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err,
                   std::istream& in, const CommandEnvironment& environment) {
  const ParseOutcome parsed = ParseCommandLine(args);
  if (!parsed.command) {
    err << kProgram << ": " << parsed.error << '\n'
        << kUsage << "Try 'brevio-trim --help' for more information.\n";
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
      return RunFilter(in, out, err, environment);
    default:
      return RunBatch(line, out, err, environment);
  }
}

}  // namespace brevio::cli

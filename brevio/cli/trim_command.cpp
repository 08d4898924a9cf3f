#include "brevio/cli/trim_command.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <istream>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <system_error>
#include <thread>
#include <vector>

#include "brevio/cli/command_line.h"
#include "brevio/cli/table.h"
#include "brevio/engine/file_trim.h"
#include "brevio/engine/stream_cleaner.h"

#ifndef BREVIO_VERSION
#define BREVIO_VERSION "0"
#endif

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
    "\n"
    "Exit status: 0 all files trimmed, 1 a file failed, 2 usage error.\n";

constexpr const char* kWebPatterns[] = {"*.htm", "*.html", "*.asp", "*.php"};

struct Job {
  std::string source;
  std::string target;
  std::string name;           // as the table shows it
  std::ptrdiff_t after = -1;  // an earlier job with the same target runs first
  bool make_folder = false;   // the target's folder may not exist yet (-r)
};

struct Outcome {
  std::optional<std::uint64_t> source_size;
  std::optional<std::uint64_t> target_size;
  std::string error;  // empty when the file was trimmed
};

std::string ErrorLine(const std::string& path, const std::string& reason) {
  return std::string(kProgram) + ": " + path + ": " + reason;
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

Outcome RunJob(const Job& job, bool dry_run) {
  Outcome outcome;
  try {
    if (job.make_folder && !dry_run) fs::create_directories(fs::path(job.target).parent_path());
    TrimOptions options;
    options.dry_run = dry_run;
    const TrimReport report = TrimFileWithReport(job.source, job.target, options);
    switch (report.result) {
      case kTrimDone:
        outcome.source_size = report.source_bytes;
        outcome.target_size = report.target_bytes;
        break;
      case kTrimSourceBlank:
        outcome.error = ErrorLine("'" + job.source + "'", "source path is blank");
        break;
      case kTrimTargetBlank:
        outcome.error = ErrorLine("'" + job.target + "'", "target path is blank");
        break;
      default:
        outcome.error = ErrorLine(job.source, NotFoundReason(job.source));
        break;
    }
  } catch (const fs::filesystem_error& e) {
    outcome.error = ErrorLine(e.path1().string(), e.code().message());
  } catch (const std::system_error& e) {
    outcome.error = ErrorLine(job.source, e.code().message());
  } catch (const std::exception& e) {
    outcome.error = ErrorLine(job.source, e.what());
  }
  return outcome;
}

// Turns the operands into jobs; folders are walked with -r. Problems while
// walking go to `errors`.
std::vector<Job> CollectJobs(const CommandLine& line, std::vector<std::string>& errors) {
  std::vector<Job> jobs;
  if (line.mode == Mode::kPair) {
    jobs.push_back({line.operands[0], line.operands[1], line.operands[0]});
    return jobs;
  }
  const auto add = [&](const std::string& source, const std::string& relative, bool nested) {
    Job job{source, source, source};
    if (line.mode == Mode::kOutputDir) {
      job.target = JoinFolder(line.output_dir, relative);
      job.make_folder = nested;
    }
    jobs.push_back(std::move(job));
  };
  for (const std::string& operand : line.operands) {
    std::error_code ec;
    if (!line.recursive || !fs::is_directory(operand, ec)) {
      add(operand, fs::path(operand).filename().string(), false);
      continue;
    }
    std::vector<fs::path> found;
    fs::recursive_directory_iterator it(operand, ec);
    if (ec) errors.push_back(ErrorLine(operand, ec.message()));
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      std::error_code type_ec;
      if (it->is_regular_file(type_ec) && Wanted(it->path().filename().string(), line.includes)) {
        found.push_back(it->path());
      }
    }
    if (ec) errors.push_back(ErrorLine(operand, ec.message()));
    std::sort(found.begin(), found.end());
    for (const fs::path& file : found) {
      const fs::path relative = file.lexically_relative(operand);
      add(file.string(), relative.string(), relative.has_parent_path());
    }
  }
  // Two files with one target (same name from two folders): the later one
  // wins, as in the window, also when they run on different threads.
  std::map<std::string, std::ptrdiff_t> last_with_target;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    auto [slot, fresh] =
        last_with_target.try_emplace(jobs[i].target, static_cast<std::ptrdiff_t>(i));
    if (!fresh) {
      jobs[i].after = slot->second;
      slot->second = static_cast<std::ptrdiff_t>(i);
    }
  }
  return jobs;
}

int RunFilter(std::istream& in, std::ostream& out, std::ostream& err) {
  constexpr std::size_t kBlock = std::size_t{256} * 1024;
  std::vector<char> input(kBlock);
  std::vector<char> output(FileStreamCleaner::MaxOutput(kBlock));
  FileStreamCleaner cleaner;
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
    err << ErrorLine("standard input", "cannot read") << '\n';
    return kExitFileFailed;
  }
  BufferSink sink(output.data());
  cleaner.finish(sink);
  out.write(output.data(), static_cast<std::streamsize>(sink.size()));
  out.flush();
  if (!out) {
    err << ErrorLine("standard output", "cannot write") << '\n';
    return kExitFileFailed;
  }
  return kExitOk;
}

int RunBatch(const CommandLine& line, std::ostream& out, std::ostream& err,
             const CommandEnvironment& environment) {
  std::vector<std::string> errors;
  bool failed = false;
  if (line.mode == Mode::kOutputDir && !line.dry_run) {
    std::error_code ec;
    fs::create_directories(line.output_dir, ec);
    if (ec) {
      err << ErrorLine(line.output_dir, ec.message()) << '\n';
      return kExitFileFailed;
    }
  }
  const std::vector<Job> jobs = CollectJobs(line, errors);
  for (const std::string& error : errors) err << error << '\n';
  failed = !errors.empty();

  const std::size_t count = jobs.size();
  std::vector<Outcome> outcomes(count);
  std::vector<char> done(count, 0);
  std::mutex mutex;
  std::condition_variable finished;
  std::atomic<std::size_t> next{0};
  // Waking a thread costs more than trimming a small page, so a finished
  // job wakes only who waits for it: the printer for its row, or a job
  // with the same target.
  std::size_t printer_waits_for = count;
  std::size_t jobs_waiting = 0;
  const auto work = [&] {
    for (std::size_t i = next++; i < count; i = next++) {
      if (jobs[i].after >= 0) {
        std::unique_lock lock(mutex);
        ++jobs_waiting;
        finished.wait(lock, [&] { return done[static_cast<std::size_t>(jobs[i].after)] != 0; });
        --jobs_waiting;
      }
      Outcome outcome = RunJob(jobs[i], line.dry_run);
      bool wake = false;
      {
        const std::lock_guard lock(mutex);
        outcomes[i] = std::move(outcome);
        done[i] = 1;
        wake = printer_waits_for == i || jobs_waiting > 0;
      }
      if (wake) finished.notify_all();
    }
  };
  unsigned threads = line.jobs != 0 ? line.jobs : environment.processors;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::jthread> workers;
  for (std::size_t t = 0; t < std::min<std::size_t>(threads, count); ++t)
    workers.emplace_back(work);

  std::size_t longest = 0;
  for (const Job& job : jobs) longest = std::max(longest, job.name.size());
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
  for (std::size_t i = 0; i < count; ++i) {
    Outcome outcome;
    {
      std::unique_lock lock(mutex);
      while (done[i] == 0) {
        printer_waits_for = i;
        finished.wait_for(lock, std::chrono::milliseconds(100));
        printer_waits_for = count;
        lock.unlock();
        draw_progress(i);
        lock.lock();
      }
      outcome = std::move(outcomes[i]);
    }
    if (progress_shown) {
      err << "\r\033[K" << std::flush;
      progress_shown = false;
    }
    if (outcome.error.empty()) {
      ++trimmed;
      source_total += *outcome.source_size;
      target_total += *outcome.target_size;
    } else {
      ++failed_files;
      err << outcome.error << '\n';
    }
    if (!line.quiet) table.PrintRow(i + 1, jobs[i].name, outcome.source_size, outcome.target_size);
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
      out << kProgram << ' ' << BREVIO_VERSION << '\n';
      return kExitOk;
    case Mode::kFilter:
      return RunFilter(in, out, err);
    default:
      return RunBatch(line, out, err, environment);
  }
}

}  // namespace brevio::cli

#include "brevio/engine/batch.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "file_access.h"
#include "fileio/path.h"

namespace brevio {

namespace {

// Windows tells names apart without regard to (ASCII) case: "a.htm" and
// "A.HTM" are one file there, and one target.
constexpr bool kNamesFoldCase = std::filesystem::path::preferred_separator != '/';

std::string NameKey(std::string text) {
  if (kNamesFoldCase) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  }
  return text;
}

// Whether two names of one file reach it through the same folder entry (a
// symbolic link, "./", a repeated path) rather than as two hard links.
bool SameEntry(const std::string& a, const std::string& b) {
  std::error_code ec_a;
  std::error_code ec_b;
  const auto real_a = std::filesystem::weakly_canonical(fileio::PathOf(a), ec_a);
  const auto real_b = std::filesystem::weakly_canonical(fileio::PathOf(b), ec_b);
  return !ec_a && !ec_b && NameKey(fileio::TextOf(real_a)) == NameKey(fileio::TextOf(real_b));
}

// Whether lexically_normal would give path back unchanged: no doubled
// separator and no "." or ".." part. Most targets are, and skip the parse.
bool IsLexicallyNormal(std::string_view path) {
  constexpr char kSeparator = fileio::kSeparator;
  constexpr char kDoubled[] = {kSeparator, kSeparator, '\0'};
  // Where '/' is not the separator (Windows), lexically_normal rewrites it.
  if (kSeparator != '/' && path.find('/') != std::string_view::npos) return false;
  if (path.find(kDoubled) != std::string_view::npos) return false;
  for (std::size_t start = 0; start <= path.size();) {
    const std::size_t end = std::min(path.find(kSeparator, start), path.size());
    const std::string_view part = path.substr(start, end - start);
    if (part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

// Settles every repeat before the first trim starts. Identities are looked
// up only where they decide something: for in-place jobs and for a second
// job with a target already taken.
std::vector<BatchOutcome> FindRepeats(std::span<const BatchJob> jobs) {
  std::vector<BatchOutcome> outcomes(jobs.size());
  std::vector<std::optional<std::optional<FileId>>> ids(jobs.size());
  const auto id = [&](std::size_t i) -> const std::optional<FileId>& {
    if (!ids[i]) ids[i] = jobs[i].id ? jobs[i].id : FileIdOf(jobs[i].source);
    return *ids[i];
  };
  std::map<FileId, std::size_t> first_in_place;
  std::unordered_map<std::string_view, std::size_t> first_with_target;
  first_with_target.reserve(jobs.size());
  std::deque<std::string> normal_forms;  // of targets that are not normal already
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    const BatchJob& job = jobs[i];
    BatchOutcome& outcome = outcomes[i];
    outcome.index = i;
    if (job.source == job.target) {
      if (!id(i)) continue;  // fails on its own
      const auto [slot, fresh] = first_in_place.try_emplace(*id(i), i);
      if (!fresh && !SameEntry(job.source, jobs[slot->second].source)) {
        // Another hard link: the first trim's rename parts the names, so
        // this one still holds the old text and is trimmed on its own.
        continue;
      }
      if (!fresh) {
        outcome.repeat = BatchRepeat::kSameFile;
        outcome.first = slot->second;
      }
      continue;
    }
    std::string_view target = job.target;
    if (kNamesFoldCase || !IsLexicallyNormal(target)) {
      target = normal_forms.emplace_back(
          NameKey(fileio::TextOf(fileio::PathOf(target).lexically_normal())));
    }
    const auto [slot, fresh] = first_with_target.try_emplace(target, i);
    if (!fresh) {
      outcome.first = slot->second;
      outcome.repeat =
          id(i) && id(i) == id(outcome.first) ? BatchRepeat::kSameFile : BatchRepeat::kSameTarget;
    }
  }
  return outcomes;
}

class Run {
 public:
  Run(std::span<const BatchJob> jobs, const BatchOptions& options,
      const std::function<void(const BatchOutcome&)>& deliver)
      : jobs_(jobs),
        options_(options),
        deliver_(deliver),
        prepared_(options.find_repeats ? FindRepeats(jobs) : std::vector<BatchOutcome>{}),
        folders_(options.output_root, options.output_root_made),
        done_(jobs.size()) {}

  std::size_t Go() {
    unsigned wanted = options_.max_at_once;
    if (wanted == 0) wanted = std::max(1u, std::thread::hardware_concurrency());
    // Fewer at once rather than files failing for want of descriptors.
    wanted = std::min(wanted, detail::TrimsWithinDescriptorLimit());
    const std::size_t helpers = std::min<std::size_t>(wanted, jobs_.size()) - 1;
    {
      std::vector<std::jthread> threads;
      threads.reserve(helpers);
      try {
        while (threads.size() < helpers) threads.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        // The system gives no more threads (a process limit): those started
        // and this one do the work.
      }
      Work();
    }
    if (deliver_error_) std::rethrow_exception(deliver_error_);
    return delivered_;
  }

 private:
  void Work() {
    for (;;) {
      const std::size_t i = next_++;
      if (i >= jobs_.size()) return;
      Deposit(Trim(i));
      if (stop_ || (options_.cancel != nullptr && options_.cancel->load())) return;
    }
  }

  BatchOutcome Trim(std::size_t i) {
    if (!prepared_.empty() && prepared_[i].repeat != BatchRepeat::kNone) return prepared_[i];
    const BatchJob& job = jobs_[i];
    BatchOutcome outcome;
    outcome.index = i;
    try {
      TrimOptions trim;
      if (job.folders) {
        trim.source_at = {job.folders.get(), job.source_folder, job.source_name};
        // With -L the walk follows links, and so does the in-place target.
        if (job.source == job.target && !job.follow_links) trim.target_at = trim.source_at;
      }
      if (!options_.output_root.empty() && !options_.dry_run && job.source != job.target) {
        trim.target_at = folders_.Place(job.target, trim.target_folder_made);
      }
      trim.dry_run = options_.dry_run;
      trim.check = options_.check;
      trim.binary = options_.binary;
      trim.protect = options_.protect;
      trim.line_end = options_.line_end;
      trim.keep_times = options_.keep_times;
      trim.follow_links = job.follow_links;
      trim.source_listed_regular = job.listed_regular;
      outcome.report = TrimFileWithReport(job.source, job.target, trim);
      outcome.failure = FailureOf(outcome.report, job.source, job.target);
    } catch (...) {
      outcome.failure = FailureOf(std::current_exception(), job.source);
    }
    return outcome;
  }

  // Whoever completes the next outcome in line delivers it and every
  // outcome already waiting behind it; the others only leave theirs.
  void Deposit(BatchOutcome outcome) {
    std::unique_lock lock(mutex_);
    const std::size_t index = outcome.index;
    done_[index] = std::move(outcome);
    if (delivering_) return;
    delivering_ = true;
    while (delivered_ < done_.size() && done_[delivered_] && !deliver_error_) {
      const BatchOutcome ready = std::move(*done_[delivered_]);
      done_[delivered_].reset();
      lock.unlock();
      std::exception_ptr failed;
      try {
        deliver_(ready);
      } catch (...) {
        failed = std::current_exception();
      }
      lock.lock();
      if (failed) {
        deliver_error_ = failed;
        stop_ = true;
        break;
      }
      ++delivered_;
    }
    delivering_ = false;
  }

  std::span<const BatchJob> jobs_;
  const BatchOptions& options_;
  const std::function<void(const BatchOutcome&)>& deliver_;
  const std::vector<BatchOutcome> prepared_;  // repeats; empty when not looked for
  detail::OutputFolders folders_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stop_{false};

  std::mutex mutex_;  // guards what follows
  std::vector<std::optional<BatchOutcome>> done_;
  std::size_t delivered_ = 0;
  bool delivering_ = false;
  std::exception_ptr deliver_error_;
};

}  // namespace

std::size_t RunBatch(std::span<const BatchJob> jobs, const BatchOptions& options,
                     const std::function<void(const BatchOutcome&)>& deliver) {
  if (jobs.empty()) return 0;
  Run run(jobs, options, deliver);
  return run.Go();
}

}  // namespace brevio

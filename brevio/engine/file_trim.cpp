#include "brevio/engine/file_trim.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <memory>
#include <string_view>
#include <system_error>
#include <thread>

#include "brevio/engine/stream_cleaner.h"
#include "fileio/file_error.h"
#include "fileio/replace.h"

namespace brevio {

namespace {

// Files from this size on are cleaned and written by two workers.
constexpr std::uint64_t kOverlapFrom = std::uint64_t{8} << 20;

[[noreturn]] void Fail(fileio::Step step, const std::string& path, int error) {
  throw fileio::FileError(step, path, error);
}

bool IsBlank(std::string_view path) {
  return path.find_first_not_of(' ') == std::string_view::npos;
}

// Read and write buffers, kept per thread so that a batch of small files
// does not map and fault in fresh pages for every file.
class Buffers {
 public:
  static Buffers& ForThisThread() {
    thread_local Buffers buffers;
    return buffers;
  }
  char* input(std::size_t n) { return Grow(in_, in_size_, n); }
  char* output(std::size_t n) { return Grow(out_, out_size_, n); }

 private:
  static char* Grow(std::unique_ptr<char[]>& buffer, std::size_t& size, std::size_t n) {
    if (size < n) {
      buffer.reset();
      buffer = std::make_unique_for_overwrite<char[]>(n);
      size = n;
    }
    return buffer.get();
  }
  std::unique_ptr<char[]> in_;
  std::unique_ptr<char[]> out_;
  std::size_t in_size_ = 0;
  std::size_t out_size_ = 0;
};

// Returns the bytes read (0 at the end) or -1 with errno set.
ssize_t ReadSome(int fd, char* buffer, std::size_t n) {
  for (;;) {
    const ssize_t got = ::read(fd, buffer, n);
    if (got >= 0 || errno != EINTR) return got;
  }
}

using fileio::WriteAll;

struct PumpError {
  bool in_read = false;
  int error = 0;
};

// Cleans everything from in_fd into out_fd (or only counts it when out_fd
// is negative). Never holds more than one block of input and its output.
PumpError Pump(int in_fd, int out_fd, std::size_t block, TrimReport& report) {
  block = std::max<std::size_t>(block, 1);
  Buffers& buffers = Buffers::ForThisThread();
  char* const in = buffers.input(block);
  char* const out = out_fd >= 0 ? buffers.output(FileStreamCleaner::MaxOutput(block)) : nullptr;
  FileStreamCleaner cleaner;
  CountingSink counter;
  for (;;) {
    const ssize_t got = ReadSome(in_fd, in, block);
    if (got < 0) return {true, errno};
    const std::string_view chunk(in, static_cast<std::size_t>(got));
    report.source_bytes += chunk.size();
    if (out == nullptr) {
      if (got == 0) {
        cleaner.finish(counter);
        break;
      }
      cleaner.feed(chunk, counter);
      continue;
    }
    BufferSink sink(out);
    if (got == 0) {
      cleaner.finish(sink);
    } else {
      cleaner.feed(chunk, sink);
    }
    if (const int error = WriteAll(out_fd, out, sink.size()); error != 0) return {false, error};
    report.target_bytes += sink.size();
    if (got == 0) break;
  }
  if (out == nullptr) report.target_bytes = counter.count();
  return {};
}

// Pump for big files on two workers. Each takes the next block under the
// read lock, cut just after its last CR: a line starts afresh there, so the
// block can be cleaned while the other worker cleans or writes its own. A
// block without a CR continues the line of the block before it and takes
// over that block's cleaner state, so a file of LF-only lines is cleaned in
// turn (still overlapping with writing). Blocks are written in the order
// they were read; memory stays a few blocks per worker.
PumpError PumpParallel(int in_fd, int out_fd, std::size_t block, TrimReport& report) {
  struct Shared {
    // Reading: the bytes after the last CR of the block read last.
    std::mutex read_mutex;
    std::unique_ptr<char[]> carry;
    std::size_t carry_size = 0;
    bool next_fresh = true;  // the next block starts a line
    bool eof = false;
    std::uint64_t next_seq = 0;
    std::uint64_t source_bytes = 0;

    // Handing a cleaner state to the next block, writing in order, failing.
    std::mutex mutex;
    std::condition_variable changed;
    // Keyed by the block that takes the state over: a handoff may wait while
    // the other worker already publishes the next one.
    std::map<std::uint64_t, FileStreamCleaner> handoffs;
    std::uint64_t write_turn = 0;
    std::uint64_t target_bytes = 0;
    bool failed = false;
    PumpError error;

    void Fail(PumpError e) {
      {
        const std::lock_guard lock(mutex);
        if (!failed) error = e;
        failed = true;
      }
      changed.notify_all();
    }
  } shared;
  shared.carry = std::make_unique_for_overwrite<char[]>(block);

  auto work = [&shared, in_fd, out_fd, block] {
    const std::size_t in_size = 2 * block;
    const auto in = std::make_unique_for_overwrite<char[]>(in_size);
    const auto out = std::make_unique_for_overwrite<char[]>(
        FileStreamCleaner::MaxOutput(in_size) + FileStreamCleaner::kMaxFinishOutput);
    for (;;) {
      std::uint64_t seq = 0;
      std::size_t cut = 0;
      bool fresh = true;
      bool last = false;
      bool hand_on = false;
      {
        const std::lock_guard lock(shared.read_mutex);
        {
          const std::lock_guard state(shared.mutex);
          if (shared.failed) return;
        }
        if (shared.eof) return;
        seq = shared.next_seq++;
        fresh = shared.next_fresh;
        // The carry holds no CR, so the last CR (if any) is in the new bytes
        // and what is carried on stays under one block.
        std::memcpy(in.get(), shared.carry.get(), shared.carry_size);
        std::size_t len = shared.carry_size;
        while (len < shared.carry_size + block) {
          const ssize_t got = ReadSome(in_fd, in.get() + len, shared.carry_size + block - len);
          if (got < 0) {
            shared.Fail({true, errno});
            return;
          }
          if (got == 0) {
            last = true;
            break;
          }
          shared.source_bytes += static_cast<std::size_t>(got);
          len += static_cast<std::size_t>(got);
        }
        shared.carry_size = 0;
        if (last) {
          shared.eof = true;
          cut = len;
        } else if (const void* cr = ::memrchr(in.get(), '\r', len); cr != nullptr) {
          cut = static_cast<std::size_t>(static_cast<const char*>(cr) - in.get()) + 1;
          shared.carry_size = len - cut;
          std::memcpy(shared.carry.get(), in.get() + cut, shared.carry_size);
          shared.next_fresh = true;
        } else {
          cut = len;
          shared.next_fresh = false;
          hand_on = true;
        }
      }

      FileStreamCleaner cleaner;
      if (!fresh) {
        std::unique_lock lock(shared.mutex);
        shared.changed.wait(lock,
                            [&] { return shared.handoffs.count(seq) != 0 || shared.failed; });
        if (shared.failed) return;
        const auto taken = shared.handoffs.find(seq);
        cleaner = taken->second;
        shared.handoffs.erase(taken);
      }
      BufferSink sink(out.get());
      cleaner.feed(std::string_view(in.get(), cut), sink);
      if (last) cleaner.finish(sink);
      {
        std::unique_lock lock(shared.mutex);
        if (hand_on) {
          shared.handoffs.emplace(seq + 1, cleaner);
          shared.changed.notify_all();
        }
        shared.changed.wait(lock, [&] { return shared.write_turn == seq || shared.failed; });
        if (shared.failed) return;
      }
      // Only the holder of the turn writes, so no lock is needed for it.
      if (const int error = WriteAll(out_fd, out.get(), sink.size()); error != 0) {
        shared.Fail({false, error});
        return;
      }
      {
        const std::lock_guard lock(shared.mutex);
        shared.target_bytes += sink.size();
        ++shared.write_turn;
      }
      shared.changed.notify_all();
      if (last) return;
    }
  };

  // Under a process limit the helper may not be had: this thread then takes
  // every block in turn, which is the same work without the overlap.
  std::optional<std::thread> helper;
  try {
    helper.emplace(work);
  } catch (const std::system_error&) {
  }
  work();
  if (helper) helper->join();
  report.source_bytes += shared.source_bytes;
  report.target_bytes += shared.target_bytes;
  return shared.failed ? shared.error : PumpError{};
}

}  // namespace

TrimReport TrimFileWithReport(const std::string& source, const std::string& target,
                              const TrimOptions& options) {
  TrimReport report;
  if (IsBlank(source)) {
    report.result = kTrimSourceBlank;
    return report;
  }
  if (IsBlank(target)) {
    report.result = kTrimTargetBlank;
    return report;
  }
  struct stat source_stat {};
  const int examined = options.follow_links ? ::stat(source.c_str(), &source_stat)
                                            : ::lstat(source.c_str(), &source_stat);
  if (examined == 0 && S_ISLNK(source_stat.st_mode)) {
    Fail(fileio::Step::kOpenSource, source, ELOOP);
  }
  if (examined != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      report.result = kTrimSourceNotFound;
      return report;
    }
    Fail(fileio::Step::kExamine, source, errno);
  }
  if (!S_ISREG(source_stat.st_mode)) {
    report.result = kTrimSourceNotFound;
    return report;
  }

  // O_NONBLOCK: should a FIFO take the file's place after the check, the
  // open must not hang; it has no effect on regular files.
  const int no_follow = options.follow_links ? 0 : O_NOFOLLOW;
  fileio::Fd in(
      ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | no_follow));
  if (in.get() < 0) Fail(fileio::Step::kOpenSource, source, errno);
  if (::fstat(in.get(), &source_stat) != 0) Fail(fileio::Step::kExamine, source, errno);
  if (!S_ISREG(source_stat.st_mode)) {
    report.result = kTrimSourceNotFound;
    return report;
  }
  // Small files get small reads: a batch touches little memory per file.
  const auto file_size = static_cast<std::uint64_t>(source_stat.st_size);
  const std::size_t block = static_cast<std::size_t>(
      std::min<std::uint64_t>(options.block_size, std::max<std::uint64_t>(file_size + 1, 4096)));
  if (file_size > block) ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

  if (options.dry_run) {
    if (const PumpError e = Pump(in.get(), -1, block, report); e.error != 0) {
      Fail(fileio::Step::kReadSource, source, e.error);
    }
    return report;
  }

  // The same file under another name (a link, "./", a hard link) is
  // trimmed in place too: its descriptor lends the metadata.
  struct stat target_stat {};
  const bool in_place =
      source == target || (::stat(target.c_str(), &target_stat) == 0 &&
                           target_stat.st_dev == source_stat.st_dev &&
                           target_stat.st_ino == source_stat.st_ino);
  if (!options.follow_links && source == target) {
    struct stat now {};
    if (::lstat(target.c_str(), &now) == 0 && S_ISLNK(now.st_mode)) {
      Fail(fileio::Step::kRefuseTarget, target, ELOOP);
    }
  }
  fileio::OutputOptions output_options;
  output_options.in_place = in_place;
  output_options.original_fd = in_place ? in.get() : -1;
  output_options.write_through_dangling_links = options.write_through_dangling_links;
  // A new copy is no more open than its source, less the umask, as with cp.
  output_options.new_mode = source_stat.st_mode & 0777;
  fileio::Output output(target, output_options);

  const PumpError e = file_size >= kOverlapFrom ? PumpParallel(in.get(), output.fd(), block, report)
                                                : Pump(in.get(), output.fd(), block, report);
  if (e.error != 0) {
    Fail(e.in_read ? fileio::Step::kReadSource : fileio::Step::kWriteTarget,
         e.in_read ? source : target, e.error);
  }
  // Only an in-place trim is flushed to the disk before the rename: then the
  // new file replaces the user's only copy, and a crash must not leave an
  // empty file in its place. Into another file the source still exists, and
  // skipping the flush keeps batches of many files fast.
  output.Commit(in_place);
  return report;
}

bool IsTrimTempName(std::string_view name) {
  constexpr std::string_view kMark = ".brevio-";
  constexpr std::size_t kSuffix = 6;
  if (name.size() < 1 + kMark.size() + kSuffix || name.front() != '.') return false;
  return name.substr(name.size() - kSuffix - kMark.size(), kMark.size()) == kMark;
}

std::int32_t TrimFile(const std::string& source, const std::string& target) {
  return TrimFileWithReport(source, target).result;
}

std::uint64_t TrimStream(int in_fd, int out_fd, std::size_t block) {
  TrimReport report;
  if (const PumpError e = Pump(in_fd, out_fd, block, report); e.error != 0) {
    throw std::system_error(e.error, std::system_category(), e.in_read ? "read" : "write");
  }
  return report.target_bytes;
}

}  // namespace brevio

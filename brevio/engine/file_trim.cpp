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
#include <filesystem>
#include <memory>
#include <random>
#include <string_view>
#include <system_error>
#include <thread>

#include "brevio/engine/stream_cleaner.h"

namespace brevio {

namespace {

namespace fs = std::filesystem;

// Files from this size on are cleaned and written by two workers.
constexpr std::uint64_t kOverlapFrom = std::uint64_t{8} << 20;

[[noreturn]] void ThrowPathError(const char* what, const std::string& path, int error) {
  throw fs::filesystem_error(what, fs::path(path), std::error_code(error, std::system_category()));
}

bool IsBlank(std::string_view path) {
  return path.find_first_not_of(' ') == std::string_view::npos;
}

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the error that close gives (late write errors
  // of network and quota-limited file systems show up here).
  int close() {
    const int fd = fd_;
    fd_ = -1;
    return (fd >= 0 && ::close(fd) != 0) ? errno : 0;
  }

 private:
  int fd_;
};

// The new output file beside the target. Removed again unless committed.
class TempFile {
 public:
  TempFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~TempFile() {
    if (!committed_) {
      fd_.close();
      ::unlink(path_.c_str());
    }
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  int fd() const { return fd_.get(); }
  int close() { return fd_.close(); }
  const std::string& path() const { return path_; }
  void commit() { committed_ = true; }

 private:
  std::string path_;
  Fd fd_;
  bool committed_ = false;
};

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

// Returns 0 or the errno of the failing write.
int WriteAll(int fd, const char* data, std::size_t n) {
  while (n > 0) {
    const ssize_t put = ::write(fd, data, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (put == 0) return EIO;
    data += put;
    n -= static_cast<std::size_t>(put);
  }
  return 0;
}

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

  std::thread helper(work);
  work();
  helper.join();
  report.source_bytes += shared.source_bytes;
  report.target_bytes += shared.target_bytes;
  return shared.failed ? shared.error : PumpError{};
}

// Follows symbolic links from path to the file they end at (which may not
// exist yet), so that the rename replaces that file and the link stays.
// `first` is the lstat of path itself (valid when first_ok).
std::string FollowLinks(std::string path, const struct stat& first, bool first_ok) {
  if (!first_ok || !S_ISLNK(first.st_mode)) return path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n < 0) return path;
    if (static_cast<std::size_t>(n) >= link.size()) {
      // The link grew in between; read it through the library instead.
      std::error_code ec;
      link = fs::read_symlink(path, ec).string();
      if (ec) return path;
    } else {
      link.resize(static_cast<std::size_t>(n));
    }
    if (!link.empty() && link.front() == '/') {
      path = link;
    } else {
      path = (fs::path(path).parent_path() / link).string();
    }
  }
  return path;  // a loop: the rename reports it
}

std::string RandomSuffix() {
  static constexpr std::string_view kChars =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::minstd_rand random(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
  std::string suffix(6, ' ');
  for (char& c : suffix) c = kChars[random() % kChars.size()];
  return suffix;
}

// ".<name>.brevio-XXXXXX" in the folder of `file`: dot-prefixed so that it is
// never taken for a user's page, created with `mode` less the umask like any
// new file (O_EXCL instead of mkstemp, whose 0600 would need the umask read
// back).
TempFile CreateTempBeside(const std::string& file, mode_t mode,
                          const std::string& target_for_errors) {
  const fs::path as_path(file);
  std::string name = as_path.filename().string();
  if (name.size() > 200) name.resize(200);  // leave room under NAME_MAX
  const fs::path folder = as_path.parent_path();
  for (int attempt = 0;; ++attempt) {
    // IsTrimTempName knows this shape.
    const std::string temp = (folder / ("." + name + ".brevio-" + RandomSuffix())).string();
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) return TempFile(temp, fd);
    if (errno != EEXIST || attempt >= 100)
      ThrowPathError("cannot create", target_for_errors, errno);
  }
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
  if (::stat(source.c_str(), &source_stat) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      report.result = kTrimSourceNotFound;
      return report;
    }
    ThrowPathError("cannot examine", source, errno);
  }
  if (!S_ISREG(source_stat.st_mode)) {
    report.result = kTrimSourceNotFound;
    return report;
  }

  // O_NONBLOCK: should a FIFO take the file's place after the check, the
  // open must not hang; it has no effect on regular files.
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (in.get() < 0) ThrowPathError("cannot open", source, errno);
  if (::fstat(in.get(), &source_stat) != 0) ThrowPathError("cannot examine", source, errno);
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
      ThrowPathError("cannot read", source, e.error);
    }
    return report;
  }

  // One lstat tells most targets apart; only a link needs the stat of what
  // it points to.
  struct stat target_stat {};
  const bool target_seen = ::lstat(target.c_str(), &target_stat) == 0;
  struct stat link_stat = target_stat;
  bool target_exists = target_seen;
  if (target_seen && S_ISLNK(target_stat.st_mode)) {
    target_exists = ::stat(target.c_str(), &target_stat) == 0;
  }
  const bool in_place =
      source == target || (target_exists && target_stat.st_dev == source_stat.st_dev &&
                           target_stat.st_ino == source_stat.st_ino);
  const std::string final_path = FollowLinks(target, link_stat, target_seen);

  // An existing target keeps its permission bits: the temporary file is
  // made with them, and set again only where the umask took some away.
  const bool keep_mode = target_exists && S_ISREG(target_stat.st_mode);
  const mode_t mode = keep_mode ? (target_stat.st_mode & 07777) : 0666;
  TempFile temp = CreateTempBeside(final_path, mode, target);
  if (keep_mode) {
    struct stat made {};
    if (::fstat(temp.fd(), &made) != 0) ThrowPathError("cannot examine", target, errno);
    if ((made.st_mode & 07777) != mode && ::fchmod(temp.fd(), mode) != 0) {
      ThrowPathError("cannot set permissions", target, errno);
    }
  }
  const PumpError e = file_size >= kOverlapFrom ? PumpParallel(in.get(), temp.fd(), block, report)
                                                : Pump(in.get(), temp.fd(), block, report);
  if (e.error != 0) {
    ThrowPathError(e.in_read ? "cannot read" : "cannot write", e.in_read ? source : target,
                   e.error);
  }
  // Only an in-place trim is flushed to the disk before the rename: then the
  // new file replaces the user's only copy, and a crash must not leave an
  // empty file in its place. Into another file the source still exists, and
  // skipping the flush keeps batches of many files fast.
  if (in_place && ::fsync(temp.fd()) != 0) ThrowPathError("cannot write", target, errno);
  if (const int error = temp.close(); error != 0) ThrowPathError("cannot write", target, error);
  if (::rename(temp.path().c_str(), final_path.c_str()) != 0) {
    ThrowPathError("cannot replace", target, errno);
  }
  temp.commit();
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

#include "brevio/engine/file_trim.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

#include "brevio/engine/stream_cleaner.h"
#include "cleaner_detail.h"
#include "file_access.h"
#include "fileio/file_error.h"
#include "fileio/io_buffer.h"
#include "fileio/replace.h"
#include "parallel_pump.h"

namespace brevio {

namespace {

using detail::kOverlapFrom;
using detail::PumpError;

[[noreturn]] void Fail(fileio::Step step, const std::string& path, int error) {
  throw fileio::FileError(step, path, error);
}

bool IsBlank(std::string_view path) {
  return path.find_first_not_of(' ') == std::string_view::npos;
}

// Read and write buffers, kept per thread so that a batch of small files
// does not map and fault in fresh pages for every file. The output buffer
// has room to start its bytes at fileio::WriteShift.
class Buffers {
 public:
  static Buffers& ForThisThread() {
    thread_local Buffers buffers;
    return buffers;
  }
  char* input(std::size_t n) { return Grow(in_, in_size_, n); }
  char* output(std::size_t n) { return Grow(out_, out_size_, n + fileio::kIoSlack); }

 private:
  static char* Grow(fileio::IoBuffer& buffer, std::size_t& size, std::size_t n) {
    if (size < n) {
      buffer = fileio::IoBuffer();  // the old one goes before the new is made
      buffer = fileio::IoBuffer(n);
      size = n;
    }
    return buffer.get();
  }
  fileio::IoBuffer in_;
  fileio::IoBuffer out_;
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

// Cleans everything from in_fd into output (or only counts it when output
// is null). Never holds more than one block of input and its output. A
// regular file of known size ends when a short read completes that size,
// without a further read that returns nothing.
// first_got: the caller's first read, already in this thread's input
// buffer of block bytes (see FirstRead).
PumpError Pump(int in_fd, fileio::Output* output, std::size_t block, TrimReport& report,
               std::uint64_t size, ssize_t first_got, const TrimOptions& options) {
  Buffers& buffers = Buffers::ForThisThread();
  char* const in = buffers.input(block);
  char* const out = output != nullptr ? buffers.output(FileStreamCleaner::MaxOutput(block) +
                                                       FileStreamCleaner::kMaxFinishOutput)
                                      : nullptr;
  ProtectingCleaner cleaner(options.protect, options.line_end);
  CountingSink counter;
  for (ssize_t got = first_got;; got = ReadSome(in_fd, in, block)) {
    if (got < 0) return {true, errno};
    const std::string_view chunk(in, static_cast<std::size_t>(got));
    report.source_bytes += chunk.size();
    const bool end = got == 0 || (chunk.size() < block && report.source_bytes == size);
    if (out == nullptr) {
      cleaner.feed(chunk, counter);
      if (end) {
        cleaner.finish(counter);
        break;
      }
      continue;
    }
    char* const at = out + fileio::WriteShift(report.target_bytes);
    BufferSink sink(at);
    cleaner.feed(chunk, sink);
    if (end) cleaner.finish(sink);
    if (const int error = output->Write(at, sink.size()); error != 0) return {false, error};
    report.target_bytes += sink.size();
    if (end) break;
  }
  if (out == nullptr) report.target_bytes = counter.count();
  return {};
}

// Whether the source holds `data` (n bytes) at offset `at`. What lies in
// the block just read (`block`, from offset block_at) is compared there;
// the few bytes the cleaner held back from the block before, or wrote
// ahead of the input (a line end), are read again.
bool SourceHolds(int fd, std::uint64_t at, const char* data, std::size_t n, std::string_view block,
                 std::uint64_t block_at) {
  constexpr std::size_t kChunk = std::size_t{64} * 1024;
  thread_local const fileio::IoBuffer again(kChunk);
  const std::uint64_t block_end = block_at + block.size();
  while (n > 0) {
    std::size_t k = 0;
    if (at >= block_at && at < block_end) {
      k = static_cast<std::size_t>(std::min<std::uint64_t>(n, block_end - at));
      if (std::memcmp(block.data() + (at - block_at), data, k) != 0) return false;
    } else {
      k = std::min(n, kChunk);
      if (at < block_at) k = static_cast<std::size_t>(std::min<std::uint64_t>(k, block_at - at));
      const std::int64_t got =
          fileio::ReadFullyAt(fd, again.get(), k, static_cast<std::int64_t>(at));
      if (got != static_cast<std::int64_t>(k) || std::memcmp(again.get(), data, k) != 0) {
        return false;
      }
    }
    at += k;
    data += k;
    n -= k;
  }
  return true;
}

// Cleans the source as Pump does but writes nothing: compares the output
// with the source's own bytes and sets report.unchanged. With kFirst it
// stops reading at the first block whose output differs.
PumpError Compare(int in_fd, std::size_t block, TrimReport& report, std::uint64_t size,
                  ssize_t first_got, const TrimOptions& options) {
  Buffers& buffers = Buffers::ForThisThread();
  char* const in = buffers.input(block);
  char* const out =
      buffers.output(FileStreamCleaner::MaxOutput(block) + FileStreamCleaner::kMaxFinishOutput);
  ProtectingCleaner cleaner(options.protect, options.line_end);
  bool same = true;
  for (ssize_t got = first_got;; got = ReadSome(in_fd, in, block)) {
    if (got < 0) return {true, errno};
    const std::string_view chunk(in, static_cast<std::size_t>(got));
    const std::uint64_t chunk_at = report.source_bytes;
    report.source_bytes += chunk.size();
    const bool end = got == 0 || (chunk.size() < block && report.source_bytes == size);
    BufferSink sink(out);
    cleaner.feed(chunk, sink);
    if (end) cleaner.finish(sink);
    same = same && SourceHolds(in_fd, report.target_bytes, out, sink.size(), chunk, chunk_at);
    report.target_bytes += sink.size();
    if (end || (!same && options.check == TrimCheck::kFirst)) break;
  }
  report.unchanged = same && report.target_bytes == report.source_bytes;
  return {};
}

// Pump for big files on two workers. Blocks are read in turn, whole, and
// each starts in the state the text before it leaves (StateAtCut, worked out
// from the few bytes before the cut while reading), so two blocks can be
// cleaned at once, and one cleaned while the other is written. Blocks are
// written in the order they were read; memory stays two blocks per worker.
class ParallelPump {
 public:
  ParallelPump(int in_fd, const detail::WriteBlock& write, std::size_t block, LineEnd line_end)
      : in_fd_(in_fd),
        write_(write),
        block_(block),
        // The line end to keep is decided while reading, so every block is
        // cleaned with the one the file's first line end asks for.
        eol_(detail::EolFor(line_end)),
        eol_pending_(line_end == LineEnd::kKeep) {}

  PumpError Run(std::uint64_t& source_bytes, std::uint64_t& target_bytes) {
    write_base_ = target_bytes;
    // Under a process limit the helper may not be had: this thread then takes
    // every block in turn, which is the same work without the overlap.
    std::optional<std::thread> helper;
    try {
      helper.emplace([this] { Work(); });
    } catch (const std::system_error&) {
    }
    Work();
    if (helper) helper->join();
    source_bytes += source_bytes_;
    target_bytes += target_bytes_;
    return failed_ ? error_ : PumpError{};
  }

 private:
  struct Block {
    std::uint64_t seq = 0;
    std::size_t size = 0;
    bool last = false;
    detail::CleanState start;
    detail::Eol eol = detail::Eol::kRule;
  };

  void Work() {
    const fileio::IoBuffer in(block_);
    const fileio::IoBuffer out(FileStreamCleaner::MaxOutput(block_) +
                               FileStreamCleaner::kMaxFinishOutput + fileio::kIoSlack);
    Block taken;
    while (Take(in.get(), taken)) {
      FileStreamCleaner cleaner(taken.start, taken.eol);
      BufferSink sink(out.get());
      cleaner.feed(std::string_view(in.get(), taken.size), sink);
      if (taken.last) cleaner.finish(sink);
      if (!WriteInTurn(taken.seq, out.get(), sink.size()) || taken.last) return;
    }
  }

  // Reads the next block whole (short only at the end of the file) and the
  // state the next one starts in. False when there is nothing left to do.
  bool Take(char* in, Block& taken) {
    const std::lock_guard lock(read_mutex_);
    if (eof_ || Failed()) return false;
    std::size_t len = 0;
    while (len < block_) {
      const ssize_t got = ReadSome(in_fd_, in + len, block_ - len);
      if (got < 0) {
        Fail({true, errno});
        return false;
      }
      if (got == 0) {
        eof_ = true;
        break;
      }
      len += static_cast<std::size_t>(got);
    }
    source_bytes_ += len;
    if (eol_pending_ && detail::FirstLineEnd(std::string_view(in, len), eol_)) {
      eol_pending_ = false;
    }
    taken = {next_seq_++, len, eof_, read_end_state_, eol_};
    read_end_state_ = detail::StateAtCut(in, in + len, read_end_state_);
    return true;
  }

  // Waits for the block's turn and writes it (size bytes at the start of
  // buffer, which has room for them at their fileio::WriteShift); false
  // after any failure.
  bool WriteInTurn(std::uint64_t seq, char* buffer, std::size_t size) {
    std::uint64_t at = 0;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return write_turn_ == seq || failed_; });
      if (failed_) return false;
      at = write_base_ + target_bytes_;
    }
    // Where the block's output lands was not known while it was cleaned.
    const char* data = buffer;
    if (const std::size_t shift = fileio::WriteShift(at); shift != 0) {
      std::memmove(buffer + shift, buffer, size);
      data = buffer + shift;
    }
    // Only the holder of the turn writes, so no lock is needed for it.
    if (const int error = write_(data, size); error != 0) {
      Fail({false, error});
      return false;
    }
    {
      const std::lock_guard lock(mutex_);
      target_bytes_ += size;
      ++write_turn_;
    }
    changed_.notify_all();
    return true;
  }

  bool Failed() {
    const std::lock_guard lock(mutex_);
    return failed_;
  }

  void Fail(PumpError e) {
    {
      const std::lock_guard lock(mutex_);
      if (!failed_) error_ = e;
      failed_ = true;
    }
    changed_.notify_all();
  }

  const int in_fd_;
  const detail::WriteBlock& write_;
  const std::size_t block_;

  // Reading, under read_mutex_.
  std::mutex read_mutex_;
  bool eof_ = false;
  std::uint64_t next_seq_ = 0;
  std::uint64_t source_bytes_ = 0;
  detail::CleanState read_end_state_;
  detail::Eol eol_ = detail::Eol::kRule;
  bool eol_pending_ = false;

  // Writing in order and failing, under mutex_.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t write_turn_ = 0;
  std::uint64_t target_bytes_ = 0;
  std::uint64_t write_base_ = 0;  // the output's offset at the start
  bool failed_ = false;
  PumpError error_;
};

PumpError PumpParallel(int in_fd, fileio::Output& output, std::size_t block, LineEnd line_end,
                       TrimReport& report) {
  return detail::PumpParallel(
      in_fd, [&output](const char* data, std::size_t n) { return output.Write(data, n); }, block,
      line_end, report.source_bytes, report.target_bytes);
}

// What the source is, from its first read (start); the probed bytes are
// read again only when that read was shorter than them (tests shrink the
// block, or a read was cut short).
NotText ClassifyStart(int fd, std::string_view start, std::uint64_t size,
                      const std::string& source) {
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, kTextProbeBytes));
  if (start.size() >= want) return ClassifyText(start);
  thread_local std::unique_ptr<char[]> probe =
      std::make_unique_for_overwrite<char[]>(kTextProbeBytes);
  const std::int64_t got = fileio::ReadFullyAt(fd, probe.get(), want, 0);
  if (got < 0) Fail(fileio::Step::kReadSource, source, errno);
  return ClassifyText(std::string_view(probe.get(), static_cast<std::size_t>(got)));
}

}  // namespace

namespace detail {

PumpError PumpParallel(int in_fd, const WriteBlock& write, std::size_t block, LineEnd line_end,
                       std::uint64_t& source_bytes, std::uint64_t& target_bytes) {
  return ParallelPump(in_fd, write, block, line_end).Run(source_bytes, target_bytes);
}

}  // namespace detail

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
  const detail::OpenSource source_file = detail::OpenSourceFile(
      source, options.follow_links, options.source_listed_regular, options.source_at);
  report.result = source_file.result;
  if (report.result != kTrimDone) return report;
  const fileio::Fd& in = source_file.fd;

  // Small files get small reads: a batch touches little memory per file.
  const std::uint64_t file_size = source_file.size;
  const std::size_t block = std::max<std::size_t>(
      1, static_cast<std::size_t>(std::min<std::uint64_t>(
             options.block_size, std::max<std::uint64_t>(file_size + 1, 4096))));
  if (file_size > block) detail::AdviseSequential(in.get());

  // The first block is read before anything is written: it tells whether
  // the source is text at all, and is then the first the pump cleans.
  char* const first = Buffers::ForThisThread().input(block);
  const ssize_t first_got = ReadSome(in.get(), first, block);
  if (first_got < 0) Fail(fileio::Step::kReadSource, source, errno);
  if (!options.binary) {
    report.not_text = ClassifyStart(
        in.get(), std::string_view(first, static_cast<std::size_t>(first_got)), file_size, source);
    if (report.not_text != NotText::kText) {
      report.result = kTrimNotText;
      return report;
    }
  }

  if (options.check != TrimCheck::kNo) {
    if (const PumpError e = Compare(in.get(), block, report, file_size, first_got, options);
        e.error != 0) {
      Fail(fileio::Step::kReadSource, source, e.error);
    }
    return report;
  }

  if (options.dry_run) {
    if (const PumpError e = Pump(in.get(), nullptr, block, report, file_size, first_got, options);
        e.error != 0) {
      Fail(fileio::Step::kReadSource, source, e.error);
    }
    return report;
  }

  bool in_place = false;
  fileio::Output output = detail::OpenTargetFile(source, target, source_file, options, in_place);
  // The two workers read whole blocks from the start themselves. Where a
  // block starts inside a protected region only the text before it can
  // tell, so protected trims take one block after the other.
  const bool parallel =
      options.protect == 0 && file_size >= kOverlapFrom && ::lseek(in.get(), 0, SEEK_SET) == 0;
  const PumpError e = parallel
                          ? PumpParallel(in.get(), output, block, options.line_end, report)
                          : Pump(in.get(), &output, block, report, file_size, first_got, options);
  if (e.error != 0) {
    // A temporary file that could not be made on the way says so itself.
    output.RethrowFailure();
    Fail(e.in_read ? fileio::Step::kReadSource : fileio::Step::kWriteTarget,
         e.in_read ? source : target, e.error);
  }
  // Only an in-place trim is flushed to the disk before the rename: then the
  // new file replaces the user's only copy, and a crash must not leave an
  // empty file in its place. Into another file the source still exists, and
  // skipping the flush keeps batches of many files fast.
  output.Commit(in_place);
  report.unchanged = output.unchanged();
  return report;
}

NotText ClassifyText(std::string_view start) {
  // UTF-32 first: its little-endian mark begins with UTF-16's.
  if (start.starts_with(std::string_view("\xFF\xFE\0\0", 4)) ||
      start.starts_with(std::string_view("\0\0\xFE\xFF", 4))) {
    return NotText::kUtf32;
  }
  if (start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF")) return NotText::kUtf16;
  start = start.substr(0, kTextProbeBytes);
  if (std::memchr(start.data(), '\0', start.size()) != nullptr) return NotText::kNulBytes;
  return NotText::kText;
}

std::string_view NotTextReason(NotText kind) {
  switch (kind) {
    case NotText::kNulBytes:
      return "it holds NUL bytes";
    case NotText::kUtf16:
      return "UTF-16 text";
    case NotText::kUtf32:
      return "UTF-32 text";
    case NotText::kText:
      break;
  }
  return "text";
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

}  // namespace brevio

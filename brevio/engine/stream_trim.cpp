// TrimStream: one read, clean and write loop for standard input and output,
// whether they are descriptors or a caller's streams.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string_view>
#include <system_error>

#include "brevio/engine/file_trim.h"
#include "brevio/engine/stream_cleaner.h"
#include "fileio/io_buffer.h"
#include "fileio/replace.h"
#include "parallel_pump.h"

namespace brevio {

std::uint64_t TrimStream(const StreamEnds& ends, std::size_t block, ProtectSet protect,
                         LineEnd line_end) {
  block = std::max<std::size_t>(block, 1);
  const fileio::IoBuffer in(block);
  const fileio::IoBuffer out(FileStreamCleaner::MaxOutput(block) + fileio::kIoSlack);
  ProtectingCleaner cleaner(protect, line_end);
  std::uint64_t written = 0;
  for (;;) {
    std::size_t got = 0;
    if (const int error = ends.read(in.get(), block, got); error != 0) {
      throw std::system_error(error, std::system_category(), "read");
    }
    char* const at = out.get() + fileio::WriteShift(written);
    BufferSink sink(at);
    if (got == 0) {
      cleaner.finish(sink);
    } else {
      cleaner.feed(std::string_view(in.get(), got), sink);
    }
    if (const int error = ends.write(at, sink.size()); error != 0) {
      throw std::system_error(error, std::system_category(), "write");
    }
    written += sink.size();
    if (got == 0) return written;
  }
}

namespace {

// Standard input that is a big regular file (`brevio-trim < FILE`) is read
// ahead by a second worker while the first cleans, as a file trim is. A pipe
// is not: its reads come as the writer gives them, and each is passed on.
bool BigRegularFile(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const off_t at = ::lseek(fd, 0, SEEK_CUR);
  return at >= 0 && static_cast<std::uint64_t>(st.st_size - at) >= detail::kOverlapFrom;
}

}  // namespace

std::uint64_t TrimStream(int in_fd, int out_fd, std::size_t block, ProtectSet protect,
                         LineEnd line_end) {
  if (protect == 0 && BigRegularFile(in_fd)) {
    std::uint64_t read = 0;
    std::uint64_t written = 0;
    const detail::PumpError e = detail::PumpParallel(
        in_fd,
        [out_fd](const char* data, std::size_t n) { return fileio::WriteAll(out_fd, data, n); },
        std::max<std::size_t>(block, 1), line_end, read, written);
    if (e.error != 0) {
      throw std::system_error(e.error, std::system_category(), e.in_read ? "read" : "write");
    }
    return written;
  }
  const StreamEnds ends{
      [in_fd](char* into, std::size_t n, std::size_t& got) {
        for (;;) {
          const ssize_t r = ::read(in_fd, into, n);
          if (r >= 0) {
            got = static_cast<std::size_t>(r);
            return 0;
          }
          if (errno != EINTR) return errno;
        }
      },
      [out_fd](const char* data, std::size_t n) { return fileio::WriteAll(out_fd, data, n); }};
  return TrimStream(ends, block, protect, line_end);
}

}  // namespace brevio

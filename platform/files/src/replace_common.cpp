// What fileio does the same way on every system: the descriptor owner, the
// write and read loops over the calls of system_io.h, and ReplaceContents
// over Output.
#include <cerrno>
#include <utility>

#include "fileio/replace.h"
#include "system_io.h"

namespace fileio {

Fd::~Fd() {
  if (fd_ >= 0) detail::CloseFd(fd_);
}

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

void Fd::reset(int fd) {
  if (fd_ >= 0) detail::CloseFd(fd_);
  fd_ = fd;
}

int Fd::release() { return std::exchange(fd_, -1); }

int Fd::close() {
  const int fd = release();
  return (fd >= 0 && detail::CloseFd(fd) != 0) ? errno : 0;
}

int WriteAll(int fd, const char* data, std::size_t n) {
  while (n > 0) {
    const std::int64_t put = detail::WriteSome(fd, data, n);
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

std::int64_t ReadFullyAt(int fd, char* data, std::size_t n, std::int64_t offset) {
  std::size_t got = 0;
  while (got < n) {
    const std::int64_t read = detail::ReadAt(fd, data + got, n - got, offset + std::int64_t(got));
    if (read < 0 && errno == EINTR) continue;
    if (read < 0) return -1;
    if (read == 0) break;
    got += static_cast<std::size_t>(read);
  }
  return static_cast<std::int64_t>(got);
}

int ReadAll(int fd, std::string& out) {
  out.clear();
  char buffer[65536];
  std::int64_t offset = 0;
  for (;;) {
    const std::int64_t got = detail::ReadAt(fd, buffer, sizeof buffer, offset);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return 0;
    out.append(buffer, static_cast<std::size_t>(got));
    offset += got;
  }
}

void ReplaceContents(const std::string& path, std::string_view bytes, const TempName& name,
                     mode_t new_mode) {
  OutputOptions options;
  options.temp_name = name;
  options.in_place = true;
  options.new_mode = new_mode;
  options.non_blocking = true;
  Output output(path, options);
  if (const int error = WriteAll(output.fd(), bytes); error != 0) {
    throw FileError(Step::kWriteTarget, path, error);
  }
  output.Commit(true);
}

}  // namespace fileio

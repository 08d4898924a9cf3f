// fileio on Windows: descriptors are the C runtime's, paths are UTF-8 and
// reach the system as UTF-16 through the wide calls.
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <utility>

#include "fileio/replace.h"

namespace fileio {

Fd::~Fd() {
  if (fd_ >= 0) ::_close(fd_);
}

Fd& Fd::operator=(Fd&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

void Fd::reset(int fd) {
  if (fd_ >= 0) ::_close(fd_);
  fd_ = fd;
}

int Fd::release() { return std::exchange(fd_, -1); }

int Fd::close() {
  const int fd = release();
  return (fd >= 0 && ::_close(fd) != 0) ? errno : 0;
}

}  // namespace fileio

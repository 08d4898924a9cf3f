#include "brevio/cli/fd_output.h"

#include <unistd.h>

#include <cerrno>

namespace brevio::cli {

FdOutputBuffer::FdOutputBuffer(int fd) : fd_(fd), console_(IsConsole(fd)) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

FdOutputBuffer::~FdOutputBuffer() { Drain(); }

bool FdOutputBuffer::WriteAll(const char* data, std::size_t size) {
  if (console_ && error_ == 0) {
    error_ = WriteConsoleText(fd_, console_text_.Take({data, size}));
    return error_ == 0;
  }
  while (size > 0 && error_ == 0) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0) {
      if (errno != EINTR) error_ = errno;
      continue;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return error_ == 0;
}

bool FdOutputBuffer::Drain() {
  const bool ok = WriteAll(pbase(), static_cast<std::size_t>(pptr() - pbase()));
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return ok;
}

FdOutputBuffer::int_type FdOutputBuffer::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize FdOutputBuffer::xsputn(const char* data, std::streamsize size) {
  if (size <= epptr() - pptr()) {
    traits_type::copy(pptr(), data, static_cast<std::size_t>(size));
    pbump(static_cast<int>(size));
    return size;
  }
  // Larger than what is left: out with the buffer, then the block itself.
  if (!Drain() || !WriteAll(data, static_cast<std::size_t>(size))) return 0;
  return size;
}

int FdOutputBuffer::sync() { return Drain() ? 0 : -1; }

}  // namespace brevio::cli

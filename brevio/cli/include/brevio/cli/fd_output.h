#pragma once
// A stream buffer over a file descriptor that remembers why a write failed,
// so that the program can say "write error: No space left on device" after
// the fact; errno itself is long overwritten by then. The text goes to a
// console window as UTF-16, elsewhere as the UTF-8 bytes it is.

#include <array>
#include <streambuf>

#include "brevio/cli/console.h"

namespace brevio::cli {

class FdOutputBuffer : public std::streambuf {
 public:
  explicit FdOutputBuffer(int fd);
  ~FdOutputBuffer() override;
  FdOutputBuffer(const FdOutputBuffer&) = delete;
  FdOutputBuffer& operator=(const FdOutputBuffer&) = delete;

  // The errno of the first failed write, 0 while none failed. Once a write
  // failed, later output is dropped.
  int error() const { return error_; }
  // The descriptor is a console window (see console.h).
  bool console() const { return console_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* data, std::streamsize size) override;
  int sync() override;

 private:
  bool Drain();
  bool WriteAll(const char* data, std::size_t size);

  int fd_;
  bool console_;
  ConsoleText console_text_;  // a console's text, when a character is cut
  int error_ = 0;
  std::array<char, 64 * 1024> buffer_{};
};

}  // namespace brevio::cli

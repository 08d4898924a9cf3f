// brevio-trim.exe: the arguments come as UTF-16 from the system and go on
// as UTF-8 like every path; standard input and output carry bytes, never
// text with CR LF translation.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "brevio/cli/fd_output.h"
#include "brevio/cli/trim_command.h"
#include "fileio/replace.h"
#include "fileio/wide.h"

namespace {

std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** const wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(fileio::Utf8(wide[i]));
  ::LocalFree(wide);
  return args;
}

}  // namespace

int main() {
  fileio::RemoveTempFilesOnSignals();
  for (const int fd : {0, 1, 2}) ::_setmode(fd, _O_BINARY);
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args = Arguments();
  brevio::cli::CommandEnvironment environment;
  environment.err_is_terminal = ::_isatty(2) != 0;
  environment.in_fd = 0;
  environment.out_fd = 1;
  brevio::cli::FdOutputBuffer out_buffer(1);
  std::ostream out(&out_buffer);
  int status = brevio::cli::RunTrimCommand(args, out, std::cerr, std::cin, environment);
  // What could not be printed is a failure too; a closed pipe needs no words.
  if (out.flush(); out_buffer.error() != 0) {
    if (out_buffer.error() != EPIPE)
      std::cerr << "brevio-trim: write error: " << std::strerror(out_buffer.error()) << '\n';
    status = brevio::cli::kExitFileFailed;
  }
  return status;
}

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "brevio/cli/fd_output.h"
#include "brevio/cli/trim_command.h"
#include "fileio/replace.h"

int main(int argc, char** argv) {
  // A write limit should fail the file (EFBIG, reported) rather than kill us.
  std::signal(SIGXFSZ, SIG_IGN);
  // A reader that goes away must not end a batch half way: writes then fail
  // with EPIPE instead, and the clean-up on signals leaves SIGPIPE ignored.
  std::signal(SIGPIPE, SIG_IGN);
  fileio::RemoveTempFilesOnSignals();
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  brevio::cli::CommandEnvironment environment;
  environment.err_is_terminal = ::isatty(STDERR_FILENO) == 1;
  environment.in_fd = STDIN_FILENO;
  environment.out_fd = STDOUT_FILENO;
  brevio::cli::FdOutputBuffer out_buffer(STDOUT_FILENO);
  std::ostream out(&out_buffer);
  int status = brevio::cli::RunTrimCommand(args, out, std::cerr, std::cin, environment);
  // What could not be printed is a failure too, as in ls; a closed pipe
  // needs no words.
  if (out.flush(); out_buffer.error() != 0) {
    if (out_buffer.error() != EPIPE)
      std::cerr << "brevio-trim: write error: " << std::strerror(out_buffer.error()) << '\n';
    status = brevio::cli::kExitFileFailed;
  }
  return status;
}

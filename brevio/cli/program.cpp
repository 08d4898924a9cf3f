// What brevio-trim's main does on every system once that system's own
// set-up (signals, binary streams, the arguments as UTF-8) is done.
#include <cerrno>
#include <cstring>
#include <iostream>
#include <ostream>
#include <utility>

#include "brevio/cli/fd_output.h"
#include "brevio/cli/trim_command.h"

namespace brevio::cli {

int RunTrimProgram(std::span<const std::string> args, bool err_is_terminal,
                   OperandWildcards wildcards) {
  std::ios::sync_with_stdio(false);
  CommandEnvironment environment;
  environment.err_is_terminal = err_is_terminal;
  environment.wildcards = std::move(wildcards);
  environment.in_fd = 0;
  environment.out_fd = 1;
  FdOutputBuffer out_buffer(1);
  std::ostream out(&out_buffer);
  // Messages reach a console window through the same conversion, each at
  // once as std::cerr sends them; elsewhere they go as they are.
  FdOutputBuffer err_buffer(2);
  std::ostream err_console(&err_buffer);
  err_console << std::unitbuf;
  std::ostream& err = err_buffer.console() ? err_console : std::cerr;
  int status = RunTrimCommand(args, out, err, std::cin, environment);
  // What could not be printed is a failure too, as in ls; a closed pipe
  // needs no words.
  if (out.flush(); out_buffer.error() != 0) {
    if (out_buffer.error() != EPIPE)
      err << "brevio-trim: write error: " << std::strerror(out_buffer.error()) << '\n';
    status = kExitFileFailed;
  }
  return status;
}

}  // namespace brevio::cli

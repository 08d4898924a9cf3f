#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "brevio/cli/trim_command.h"
#include "fileio/replace.h"

int main(int argc, char** argv) {
  // A write limit should fail the file (EFBIG, reported) rather than kill us.
  std::signal(SIGXFSZ, SIG_IGN);
  // A reader that goes away must not end a batch half way: writes then fail
  // with EPIPE instead, and the clean-up on signals leaves SIGPIPE ignored.
  std::signal(SIGPIPE, SIG_IGN);
  fileio::RemoveTempFilesOnSignals();
  const std::vector<std::string> args(argv + 1, argv + argc);
  return brevio::cli::RunTrimProgram(args, ::isatty(STDERR_FILENO) == 1);
}

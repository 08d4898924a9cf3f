#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "brevio/cli/trim_command.h"

int main(int argc, char** argv) {
  // A write limit should fail the file (EFBIG, reported) rather than kill us.
  std::signal(SIGXFSZ, SIG_IGN);
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  brevio::cli::CommandEnvironment environment;
  environment.err_is_terminal = ::isatty(STDERR_FILENO) == 1;
  return brevio::cli::RunTrimCommand(args, std::cout, std::cerr, std::cin, environment);
}

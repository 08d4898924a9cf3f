#pragma once
// brevio-trim: trims files for scripts and build pipelines with the same
// engine as the window program. Streams are injected so that tests see
// everything it prints.

#include <chrono>
#include <iosfwd>
#include <span>
#include <string>

#include "brevio/cli/wildcards.h"

namespace brevio::cli {

class WatchStop;

enum ExitCode : int {
  kExitOk = 0,
  kExitFileFailed = 1,  // at least one file could not be trimmed
  kExitUsage = 2,
};

struct CommandEnvironment {
  // Progress goes to `err` only when it is a terminal.
  bool err_is_terminal = false;
  // A batch still running after this long shows a progress line.
  std::chrono::milliseconds progress_after{500};
  // Default for -j; 0 asks the system.
  unsigned processors = 0;
  // The descriptors behind `in` and `out` when they are the real standard
  // streams: the filter mode then copies between them directly and can say
  // why a read or write failed. -1: only the streams are known.
  int in_fd = -1;
  int out_fd = -1;
  // --watch ends when this is raised; null: on SIGINT or SIGTERM (Ctrl+C,
  // Ctrl+Break or the console closing on Windows), which then no longer
  // end the process at once.
  const WatchStop* watch_stop = nullptr;
  // File operands whose wildcards are the program's to expand (Windows).
  OperandWildcards wildcards;
};

// args excludes the program name. Returns the exit status.
int RunTrimCommand(std::span<const std::string> args, std::ostream& out, std::ostream& err,
                   std::istream& in, const CommandEnvironment& environment = {});

// The program itself, for main once the system's own set-up is done: runs
// over the standard streams (descriptors 0 and 1 behind cin and cout) and
// fails the run when the output could not be written.
int RunTrimProgram(std::span<const std::string> args, bool err_is_terminal,
                   OperandWildcards wildcards = {});

}  // namespace brevio::cli

#pragma once
// brevio-trim's arguments, parsed into what the run needs.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "brevio/cli/wildcards.h"
#include "brevio/engine/protect.h"

namespace brevio::cli {

enum class Mode {
  kFilter,     // standard input to standard output
  kPair,       // SOURCE TARGET
  kOutputDir,  // -o DIR FILE...
  kInPlace,    // -i FILE..., and what needs no target: --check, -n -r
  kHelp,
  kVersion,
};

struct CommandLine {
  Mode mode = Mode::kFilter;
  std::string output_dir;
  bool recursive = false;
  bool dereference = false;  // -L: the walk follows symbolic links
  bool dry_run = false;
  bool check = false;  // --check: each file compared with its trim, nothing written
  bool json = false;   // --json: the table as one JSON document
  bool watch = false;  // --watch: after the run, trim each source again when it is saved
  bool quiet = false;
  bool binary = false;                // --binary: files that are not text are trimmed too
  bool keep_times = false;            // -p: targets get their sources' times
  ProtectSet protect = 0;             // --protect: regions kept as they are
  LineEnd line_end = LineEnd::kCrLf;  // --eol
  unsigned jobs = 0;                  // 0: one per processor
  std::vector<std::string> includes;  // empty: the web page patterns
  std::vector<std::string> excludes;  // --exclude, and --exclude-from's lines
  std::vector<std::string> operands;
};

struct ParseOutcome {
  std::optional<CommandLine> command;
  std::string error;  // set when command is empty: what was wrong
  // The error is a misuse, worth the usage lines (not a pattern that
  // matched nothing).
  bool usage = true;
};

// Operands marked in `wildcards` (by their place in args) are replaced by
// the paths they match before the mode is decided, as a shell would have
// put them there.
ParseOutcome ParseCommandLine(std::span<const std::string> args,
                              const OperandWildcards& wildcards = {});

}  // namespace brevio::cli

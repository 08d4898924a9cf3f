#pragma once
// brevio-trim --watch: after a first run over everything named, each source
// that is saved (written in place, replaced by an editor's write and rename,
// or newly made) is trimmed again once it has been quiet for a moment.
// Waiting costs no processor time.

#include <atomic>
#include <chrono>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "brevio/cli/command_line.h"
#include "brevio/engine/batch.h"

namespace brevio::cli {

struct WatchHooks {
  // Trims the jobs and prints what became of them; false when any failed.
  // The flag stops the run between files.
  std::function<bool(const std::vector<BatchJob>&, const std::atomic<bool>& stop)> trim;
  // Whether a walk takes a file, and enters a folder (--include,
  // --exclude); relative: its path below the walked operand.
  std::function<bool(const std::string& name, std::string_view relative)> takes_file;
  std::function<bool(const std::string& name, std::string_view relative)> enters_folder;
  // A descriptor that becomes readable when the watch must end (a signal,
  // or a test's pipe).
  int stop_fd = -1;
  // How long a file must be quiet before it is trimmed.
  std::chrono::milliseconds settle{100};
};

// Watches what `line` names (-r folders, or the folders of FILE operands;
// never the output folder), trims `first` (the whole run), then trims again
// what changes. `first_ok`: whether collecting the first jobs went well.
// Returns the exit status once stop_fd is readable: kExitOk when every
// trim succeeded.
int RunWatch(const CommandLine& line, std::optional<FileId> output_folder,
             const std::vector<BatchJob>& first, bool first_ok, const WatchHooks& hooks,
             std::ostream& err);

// A descriptor that becomes readable on SIGINT or SIGTERM, which no longer
// end the process (the calling thread, and threads it starts later, hold
// them). -1 when the system cannot give one.
int SignalStopDescriptor();

}  // namespace brevio::cli

#pragma once
// brevio-trim --watch: after a first run over everything named, each source
// that is saved (written in place, replaced by an editor's write and rename,
// or newly made) is trimmed again once it has been quiet for a moment.
// Waiting costs no processor time.
//
// The watch itself (watch.cpp) is one for every system; each system says
// below what its notifications report and how it examines files
// (watch_linux.cpp: inotify; watch_win.cpp: ReadDirectoryChangesW).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "brevio/cli/command_line.h"
#include "brevio/cli/watch_stop.h"
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
  // Raised when the watch must end (the console, or a test).
  WatchStop::Native stop{};
  // How long a file must be quiet before it is trimmed.
  std::chrono::milliseconds settle{100};
};

// Watches what `line` names (-r folders, or the folders of FILE operands;
// never the output folder), trims `first` (the whole run), then trims again
// what changes. `first_ok`: whether collecting the first jobs went well.
// Returns the exit status once the stop is raised: kExitOk when every trim
// succeeded.
int RunWatch(const CommandLine& line, std::optional<FileId> output_folder,
             const std::vector<BatchJob>& first, bool first_ok, const WatchHooks& hooks,
             std::ostream& err);

// The stop the console raises: SIGINT or SIGTERM, which then no longer end
// the process (the calling thread, and threads it starts later, hold them);
// on Windows Ctrl+C, Ctrl+Break and the console closing. Empty, errno set,
// when the system gives none.
std::optional<WatchStop::Native> ConsoleStop();

// What each system provides for the watch.

// One version of a file: when any part differs, it was written.
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // in the system's own steps
  bool operator==(const FileStamp&) const = default;
};

enum class EntryKind { kMissing, kFile, kFolder, kOther };  // a link is kOther

struct EntryState {
  EntryKind kind = EntryKind::kMissing;  // also when it cannot be examined
  FileStamp stamp;
  bool missing_for_sure = false;  // it is not there (rather than unreadable)
};

// What is at path; links are not followed.
EntryState StateOf(const std::string& path);

// Whether an operand is a folder, following links.
bool IsFolderOperand(const std::string& path);

struct FolderEntry {
  std::string name;
  EntryKind kind;
};
// A folder's entries ("." and ".." left out); empty when it cannot be read.
std::vector<FolderEntry> ListFolder(const std::string& folder);

// A name as this system compares names (Windows ignores letter case).
std::string NameKey(std::string_view name);

// What the system's notifications say, in the terms the watch needs.
struct Change {
  enum class Kind {
    kWritten,    // a file's bytes may have changed
    kAppeared,   // an entry came (made, or renamed in)
    kGone,       // an entry went (removed, or renamed away)
    kPlaceGone,  // the watched folder itself went; its watch has ended
    kLost,       // changes were lost: too many at once
  };
  Kind kind = Kind::kWritten;
  int place = -1;        // which watch; -1 with kLost: every one
  std::string relative;  // below the watched folder, the system's separators
  bool folder = false;   // kAppeared: the entry is a folder
};

class ChangeFeed {
 public:
  // `stop` ends every wait.
  ChangeFeed(WatchStop::Native stop, std::ostream& err);
  ~ChangeFeed();
  ChangeFeed(const ChangeFeed&) = delete;
  ChangeFeed& operator=(const ChangeFeed&) = delete;

  // Whether the system gave what watching needs (if not, it said why).
  bool ok() const;

  // Whether one watch on a folder covers every folder below it.
  static bool CoversTrees();

  // Watches a folder (tree: with every folder below it, where the system
  // can). The watch's number, the same for a folder watched already; -1
  // after saying why it cannot be had.
  int Add(const std::string& folder, bool tree);

  enum class Woke { kChanges, kTimeout, kStopped };
  // Waits, without using the processor, for changes (added to `changes`),
  // the timeout (none: no end) or the stop.
  Woke Wait(std::optional<std::chrono::milliseconds> timeout, std::vector<Change>& changes);

  // Waits for `done` or the stop: false when the stop came first. Changes
  // meanwhile are kept for the next Wait.
  bool WaitFor(const WatchStop& done);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace brevio::cli

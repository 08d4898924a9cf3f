#include "watch.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <map>
#include <ostream>
#include <set>
#include <system_error>
#include <thread>

#include "brevio/cli/trim_command.h"
#include "brevio/engine/file_trim.h"
#include "brevio/engine/quote.h"
#include "fileio/path.h"

namespace brevio::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kFolderEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE |
                                        IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR |
                                        IN_DONT_FOLLOW | IN_EXCL_UNLINK;

std::string Message(std::string_view text) { return "brevio-trim: " + std::string(text); }

// The limit inotify puts on watches, for the message when it is reached.
std::string WatchLimitAdvice() {
  std::ifstream in("/proc/sys/fs/inotify/max_user_watches");
  long limit = 0;
  in >> limit;
  const std::string now = limit > 0 ? " (now " + std::to_string(limit) + ")" : "";
  return "the system's limit of watched folders is reached: raise fs.inotify.max_user_watches" +
         now + ", e.g. sysctl fs.inotify.max_user_watches=" +
         std::to_string(std::max(limit * 2, 524288L));
}

// A watched place: where a folder lies, and the operand it was reached
// from (targets are named below the output folder after the path below
// that root).
struct Place {
  std::string path;
  std::string root;  // the -r operand; empty for the folder of FILE operands
  // FILE operands in this folder, by name: the only files taken there,
  // named as the operand names them.
  std::map<std::string, std::string> operands;
};

class Watcher {
 public:
  Watcher(const CommandLine& line, std::optional<FileId> output_folder, const WatchHooks& hooks,
          std::ostream& err)
      : line_(line), output_folder_(output_folder), hooks_(hooks), err_(err) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) {
      err_ << Message("cannot watch for changes: " + std::generic_category().message(errno))
           << '\n';
      ok_ = false;
    }
  }
  ~Watcher() {
    if (fd_ >= 0) ::close(fd_);
    if (done_fd_ >= 0) ::close(done_fd_);
  }
  Watcher(const Watcher&) = delete;
  Watcher& operator=(const Watcher&) = delete;

  // Watches every operand: folders with -r (and all below), else the
  // folder each FILE lies in, for its name alone.
  void WatchOperands() {
    if (fd_ < 0) return;
    for (const std::string& operand : line_.operands) {
      struct stat st {};
      if (line_.recursive && ::stat(operand.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        WatchTree(operand, operand);
        continue;
      }
      const std::string folder = fileio::FolderOf(operand);
      const std::string where = folder.empty() ? "." : folder;
      if (const int wd = Add(where, ""); wd >= 0) {
        places_[wd].operands.emplace(fileio::NameOf(operand), operand);
      }
    }
  }

  // Trims the jobs on a worker while this thread waits for the stop
  // descriptor; false when any failed.
  bool Trim(const std::vector<BatchJob>& jobs) {
    if (jobs.empty()) return true;
    const bool ok = TrimOnWorker(jobs);
    // A file trimmed in place is written by the trim itself: that write is
    // known by what the file then is, and starts no trim of its own.
    for (const BatchJob& job : jobs) {
      if (job.source != job.target) continue;
      struct stat st {};
      if (::lstat(job.source.c_str(), &st) == 0) written_[job.source] = Stamp(st);
    }
    return ok;
  }

 private:
  // What tells one version of a file from another.
  struct FileStamp {
    dev_t device;
    ino_t inode;
    off_t size;
    timespec modified;
    bool operator==(const FileStamp& o) const {
      return device == o.device && inode == o.inode && size == o.size &&
             modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
  };
  static FileStamp Stamp(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  }

  bool TrimOnWorker(const std::vector<BatchJob>& jobs) {
    if (done_fd_ < 0) done_fd_ = ::eventfd(0, EFD_CLOEXEC);
    std::atomic<bool> stop{false};
    bool ok = false;
    std::thread worker([&] {
      ok = hooks_.trim(jobs, stop);
      const std::uint64_t one = 1;
      [[maybe_unused]] const ssize_t n = ::write(done_fd_, &one, sizeof one);
    });
    for (;;) {
      pollfd fds[2] = {{done_fd_, POLLIN, 0}, {hooks_.stop_fd, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
      if ((fds[0].revents & POLLIN) != 0) break;
      if ((fds[1].revents & POLLIN) != 0) {
        // The files under way finish; no other starts.
        stop = true;
        stopping_ = true;
        break;
      }
    }
    worker.join();
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(done_fd_, &count, sizeof count);
    return ok;
  }

 public:
  // Waits for changes and trims them until the stop descriptor is
  // readable. Returns whether every trim succeeded.
  bool Loop() {
    bool all_ok = true;
    while (!stopping_) {
      int timeout = -1;  // nothing pending: sleep until something happens
      if (!pending_.empty()) {
        const auto first =
            std::min_element(pending_.begin(), pending_.end(), [](const auto& a, const auto& b) {
              return a.second < b.second;
            })->second;
        const auto wait =
            std::chrono::ceil<std::chrono::milliseconds>(first + hooks_.settle - Clock::now());
        timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, wait.count()));
      }
      pollfd fds[2] = {{fd_, POLLIN, 0}, {hooks_.stop_fd, POLLIN, 0}};
      if (::poll(fds, 2, timeout) < 0 && errno != EINTR) break;
      if ((fds[1].revents & POLLIN) != 0) break;
      if ((fds[0].revents & POLLIN) != 0) ReadEvents();
      if (!TrimSettled()) all_ok = false;
    }
    return all_ok && ok_;
  }

  bool stopping() const { return stopping_; }

 private:
  // Adds a watch on one folder; -1 (after saying why) when it cannot be had.
  int Add(const std::string& folder, const std::string& root) {
    const int wd = ::inotify_add_watch(fd_, folder.c_str(), kFolderEvents);
    if (wd < 0) {
      const int error = errno;
      ok_ = false;
      err_ << Message(
                  "cannot watch " + QuoteName(folder) + ": " +
                  (error == ENOSPC ? WatchLimitAdvice() : std::generic_category().message(error)))
           << '\n';
      return -1;
    }
    // One folder named twice (a tree and a FILE in it) is one watch.
    Place& place = places_[wd];
    place.path = folder;
    if (!root.empty()) place.root = root;
    return wd;
  }

  bool IsOutputFolder(const std::string& folder) const {
    if (!output_folder_) return false;
    struct stat st {};
    return ::lstat(folder.c_str(), &st) == 0 &&
           FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)} ==
               *output_folder_;
  }

  // Watches a folder and every folder below it (links are not followed),
  // except the output folder and folders left out. Files already there
  // when found_new is set (a folder made meanwhile) are trimmed.
  void WatchTree(const std::string& folder, const std::string& root, bool found_new = false) {
    if (IsOutputFolder(folder)) return;
    if (Add(folder, root) < 0) return;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> folders;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = fileio::JoinPath(folder, name);
      struct stat st {};
      if (::lstat(path.c_str(), &st) != 0) continue;
      if (S_ISDIR(st.st_mode)) {
        if (hooks_.enters_folder(name, Below(root, path))) folders.push_back(path);
      } else if (found_new && S_ISREG(st.st_mode) && hooks_.takes_file(name, Below(root, path))) {
        pending_[path] = Clock::now();
        roots_[path] = root;
      }
    }
    ::closedir(dir);
    for (const std::string& path : folders) WatchTree(path, root, found_new);
  }

  void ReadEvents() {
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
      const ssize_t got = ::read(fd_, buffer, sizeof buffer);
      if (got <= 0) return;  // EAGAIN: all read
      for (const char* at = buffer; at < buffer + got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        at += sizeof(inotify_event) + event->len;
        Event(*event);
      }
    }
  }

  void Event(const inotify_event& event) {
    if ((event.mask & IN_Q_OVERFLOW) != 0) {
      // Changes were lost: every watched file is looked at again.
      err_ << Message("too many changes at once; trimming every file again") << '\n';
      for (const auto& [wd, place] : places_) {
        if (!place.root.empty()) WatchTree(place.path, place.root, true);
      }
      return;
    }
    const auto found = places_.find(event.wd);
    if (found == places_.end()) return;
    if ((event.mask & IN_IGNORED) != 0) {
      places_.erase(found);
      return;
    }
    if (event.len == 0) return;
    const Place& place = found->second;
    const std::string name = event.name;
    const auto operand = place.operands.find(name);
    const bool named = operand != place.operands.end();
    const std::string path = named ? operand->second : fileio::JoinPath(place.path, name);
    if ((event.mask & IN_ISDIR) != 0) {
      // A folder made or moved in below a watched tree: watched from now on,
      // what it holds trimmed.
      if ((event.mask & (IN_CREATE | IN_MOVED_TO)) != 0 && !place.root.empty() &&
          hooks_.enters_folder(name, Below(place.root, path))) {
        WatchTree(path, place.root, true);
      }
      return;
    }
    if (IsTrimTempName(name)) return;
    if (!named && (place.root.empty() || !hooks_.takes_file(name, Below(place.root, path)))) return;
    // Saved, replaced, removed or made: what it is is seen once it is quiet.
    if ((event.mask & (IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE)) != 0) {
      pending_[path] = Clock::now();
      roots_[path] = named ? std::string() : place.root;
    }
  }

  // Trims the files quiet long enough; says which are gone.
  bool TrimSettled() {
    const auto now = Clock::now();
    std::vector<BatchJob> jobs;
    for (auto it = pending_.begin(); it != pending_.end();) {
      if (now - it->second < hooks_.settle) {
        ++it;
        continue;
      }
      const std::string path = it->first;
      it = pending_.erase(it);
      struct stat st {};
      if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) {
          err_ << Message(QuoteName(path) + ": removed; its trimmed copy is left as it is") << '\n';
        }
        continue;
      }
      if (!S_ISREG(st.st_mode)) continue;
      if (const auto own = written_.find(path); own != written_.end()) {
        const bool ours = own->second == Stamp(st);
        written_.erase(own);
        if (ours) continue;
      }
      jobs.push_back(JobFor(path));
    }
    std::sort(jobs.begin(), jobs.end(),
              [](const BatchJob& a, const BatchJob& b) { return a.source < b.source; });
    return Trim(jobs);
  }

  // The path below a walked operand (the name alone for a FILE operand).
  static std::string Below(const std::string& root, const std::string& path) {
    if (root.empty() || path.size() <= root.size()) return fileio::NameOf(path);
    std::string relative = path.substr(root.size());
    while (!relative.empty() && fileio::IsSeparator(relative.front())) relative.erase(0, 1);
    return relative;
  }

  BatchJob JobFor(const std::string& path) {
    BatchJob job;
    job.source = path;
    // Files met in a tree are not followed through links, as in the walk.
    job.follow_links = roots_[path].empty() || line_.dereference;
    job.target = line_.mode == Mode::kInPlace
                     ? path
                     : fileio::JoinPath(line_.output_dir, Below(roots_[path], path));
    return job;
  }

  const CommandLine& line_;
  std::optional<FileId> output_folder_;
  const WatchHooks& hooks_;
  std::ostream& err_;
  int fd_ = -1;
  int done_fd_ = -1;
  bool ok_ = true;
  bool stopping_ = false;
  std::map<int, Place> places_;
  std::map<std::string, Clock::time_point> pending_;
  std::map<std::string, std::string> roots_;
  std::map<std::string, FileStamp> written_;  // in place: each file as the trim left it
};

}  // namespace

int RunWatch(const CommandLine& line, std::optional<FileId> output_folder,
             const std::vector<BatchJob>& first, bool first_ok, const WatchHooks& hooks,
             std::ostream& err) {
  Watcher watcher(line, output_folder, hooks, err);
  // Watched before the first run, so that no save during it is missed.
  watcher.WatchOperands();
  bool ok = watcher.Trim(first) && first_ok;
  if (!watcher.stopping()) ok = watcher.Loop() && ok;
  return ok ? kExitOk : kExitFileFailed;
}

int SignalStopDescriptor() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  if (::pthread_sigmask(SIG_BLOCK, &signals, nullptr) != 0) return -1;
  return ::signalfd(-1, &signals, SFD_CLOEXEC);
}

}  // namespace brevio::cli

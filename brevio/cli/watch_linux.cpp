// The watch's system part on Linux: inotify, one watch per folder, and
// poll on it and the stop descriptor.
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
#include <ostream>
#include <system_error>

#include "brevio/engine/quote.h"
#include "watch.h"

namespace brevio::cli {

namespace {

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

EntryKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::kFile;
  if (S_ISDIR(mode)) return EntryKind::kFolder;
  return EntryKind::kOther;
}

bool Readable(int fd, short revents) { return fd >= 0 && (revents & POLLIN) != 0; }

// What one event says; nothing for what the watch need not know.
std::optional<Change> ChangeOf(const inotify_event& event) {
  Change change;
  change.place = event.wd;
  if ((event.mask & IN_Q_OVERFLOW) != 0) {
    change.kind = Change::Kind::kLost;
    change.place = -1;
    return change;
  }
  if ((event.mask & IN_IGNORED) != 0) {
    change.kind = Change::Kind::kPlaceGone;
    return change;
  }
  if (event.len == 0) return std::nullopt;
  change.relative = event.name;
  if ((event.mask & IN_ISDIR) != 0) {
    // A folder that goes ends its own watch (IN_IGNORED).
    if ((event.mask & (IN_CREATE | IN_MOVED_TO)) == 0) return std::nullopt;
    change.kind = Change::Kind::kAppeared;
    change.folder = true;
  } else if ((event.mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) != 0) {
    change.kind = Change::Kind::kWritten;
  } else if ((event.mask & (IN_MOVED_FROM | IN_DELETE)) != 0) {
    change.kind = Change::Kind::kGone;
  } else {
    return std::nullopt;  // made, not yet written: its close says when
  }
  return change;
}

}  // namespace

WatchStop::WatchStop() : native_(::eventfd(0, EFD_CLOEXEC)) {
  if (native_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

WatchStop::~WatchStop() { ::close(native_); }

void WatchStop::Raise() const {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(native_, &one, sizeof one);
}

std::optional<WatchStop::Native> ConsoleStop() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  if (const int error = ::pthread_sigmask(SIG_BLOCK, &signals, nullptr); error != 0) {
    errno = error;
    return std::nullopt;
  }
  const int fd = ::signalfd(-1, &signals, SFD_CLOEXEC);
  if (fd < 0) return std::nullopt;
  return fd;
}

EntryState StateOf(const std::string& path) {
  EntryState state;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    state.missing_for_sure = errno == ENOENT;
    return state;
  }
  state.kind = KindOf(st.st_mode);
  state.stamp = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                 static_cast<std::uint64_t>(st.st_size),
                 std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec};
  return state;
}

bool IsFolderOperand(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return entries;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    entries.push_back({name, KindOf(st.st_mode)});
  }
  ::closedir(dir);
  return entries;
}

std::string NameKey(std::string_view name) { return std::string(name); }

struct ChangeFeed::State {
  std::ostream& err;
  WatchStop::Native stop;
  int fd = -1;
};

ChangeFeed::ChangeFeed(WatchStop::Native stop, std::ostream& err)
    : state_(new State{err, stop, ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)}) {
  if (state_->fd < 0) {
    err << Message("cannot watch for changes: " + std::generic_category().message(errno)) << '\n';
  }
}

ChangeFeed::~ChangeFeed() {
  if (state_->fd >= 0) ::close(state_->fd);
}

bool ChangeFeed::ok() const { return state_->fd >= 0; }

bool ChangeFeed::CoversTrees() { return false; }

int ChangeFeed::Add(const std::string& folder, bool /*tree*/) {
  const int wd = ::inotify_add_watch(state_->fd, folder.c_str(), kFolderEvents);
  if (wd < 0) {
    const int error = errno;
    state_->err << Message("cannot watch " + QuoteName(folder) + ": " +
                           (error == ENOSPC ? WatchLimitAdvice()
                                            : std::generic_category().message(error)))
                << '\n';
  }
  return wd;
}

ChangeFeed::Woke ChangeFeed::Wait(std::optional<std::chrono::milliseconds> timeout,
                                  std::vector<Change>& changes) {
  const int ms =
      timeout
          ? static_cast<int>(std::min<std::chrono::milliseconds::rep>(timeout->count(), INT_MAX))
          : -1;
  pollfd fds[2] = {{state_->fd, POLLIN, 0}, {state_->stop, POLLIN, 0}};
  if (::poll(fds, 2, ms) < 0) return errno == EINTR ? Woke::kTimeout : Woke::kStopped;
  if (Readable(state_->stop, fds[1].revents)) return Woke::kStopped;
  if (!Readable(state_->fd, fds[0].revents)) return Woke::kTimeout;
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = ::read(state_->fd, buffer, sizeof buffer);
    if (got <= 0) break;  // EAGAIN: all read
    for (const char* at = buffer; at < buffer + got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      at += sizeof(inotify_event) + event->len;
      if (std::optional<Change> change = ChangeOf(*event)) changes.push_back(std::move(*change));
    }
  }
  return Woke::kChanges;
}

bool ChangeFeed::WaitFor(const WatchStop& done) {
  for (;;) {
    pollfd fds[2] = {{done.native(), POLLIN, 0}, {state_->stop, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return true;
    if (Readable(state_->stop, fds[1].revents)) return false;
    if ((fds[0].revents & POLLIN) != 0) return true;
  }
}

}  // namespace brevio::cli

#include "spawn.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace tarnex::detail {
namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0 && ::access(path.c_str(), X_OK) == 0;
}

// Everything the spawn needs, prepared before fork: the child of a fork in
// a threaded host may only make async-signal-safe calls, so it allocates
// nothing.
class SpawnPlan {
 public:
  SpawnPlan(const std::string& program, const std::vector<std::string>& argv,
            const std::string& directory)
      : program_(program), args_(argv) {
    for (std::string& a : args_) pointers_.push_back(a.data());
    pointers_.push_back(nullptr);
    ::posix_spawn_file_actions_init(&actions_);
    ::posix_spawnattr_init(&attr_);
    ::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
    if (!directory.empty()) ::posix_spawn_file_actions_addchdir_np(&actions_, directory.c_str());
    // Nothing of the host's but the standard streams reaches the program.
    ::posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&attr_, &none);
    ::posix_spawnattr_setsigdefault(&attr_, &all);
    ::posix_spawnattr_setflags(&attr_,
                               POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  ~SpawnPlan() {
    ::posix_spawn_file_actions_destroy(&actions_);
    ::posix_spawnattr_destroy(&attr_);
  }
  SpawnPlan(const SpawnPlan&) = delete;
  SpawnPlan& operator=(const SpawnPlan&) = delete;

  int Run(pid_t* pid) const {
    return ::posix_spawn(pid, program_.c_str(), &actions_, &attr_, pointers_.data(), environ);
  }

 private:
  std::string program_;
  std::vector<std::string> args_;
  std::vector<char*> pointers_;
  posix_spawn_file_actions_t actions_{};
  posix_spawnattr_t attr_{};
};

}  // namespace

std::string FindOnPath(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string_view dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const std::size_t colon = dirs.find(':');
    const std::string_view dir = colon == 0 ? std::string_view(".") : dirs.substr(0, colon);
    std::string candidate(dir);
    candidate.append("/").append(name);
    if (IsExecutableFile(candidate)) return candidate;
    if (colon == std::string_view::npos) return {};
    dirs.remove_prefix(colon + 1);
  }
}

namespace {

// What the middle process reports through its pipe.
struct MiddleReport {
  int error;         // of the spawn
  int failed_early;  // 1: the program ended with a failure within the watch
};

MiddleReport Spawn(const std::vector<std::string>& argv, const std::string& directory,
                   int watch_ms) {
  if (argv.empty()) return {ENOENT, 0};
  // The PATH search happens here rather than in the forked child.
  std::string program = FindOnPath(argv[0]);
  if (program.empty()) {
    return {argv[0].find('/') != std::string::npos && ::access(argv[0].c_str(), F_OK) == 0 ? EACCES
                                                                                           : ENOENT,
            0};
  }
  if (program[0] != '/') {
    // The program may change folder before it starts: anchor the path here.
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return {errno, 0};
    program = std::string(cwd) + "/" + program;
  }
  const SpawnPlan plan(program, argv, directory);
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return {errno, 0};
  // Double fork: the middle process spawns the program, reports the result
  // and ends; we reap only that process, so the program itself is adopted
  // by init (or a subreaper) and the host's children stay its own.
  const pid_t middle = ::fork();
  if (middle < 0) {
    const int err = errno;
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    return {err, 0};
  }
  if (middle == 0) {
    // Only async-signal-safe calls from here on.
    pid_t pid = 0;
    MiddleReport report{plan.Run(&pid), 0};
    // The watch: the program's own child until it ends or the time is up.
    for (int waited = 0; report.error == 0 && waited < watch_ms; waited += 10) {
      int status = 0;
      const pid_t ended = ::waitpid(pid, &status, WNOHANG);
      if (ended == pid) {
        report.failed_early = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
        break;
      }
      if (ended < 0 && errno != EINTR) break;
      ::poll(nullptr, 0, 10);
    }
    const char* p = reinterpret_cast<const char*>(&report);
    std::size_t left = sizeof report;
    while (left > 0) {
      const ssize_t n = ::write(pipe_fds[1], p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      p += n;
      left -= static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(pipe_fds[1]);
  MiddleReport report{0, 0};
  std::size_t got = 0;
  char* p = reinterpret_cast<char*>(&report);
  while (got < sizeof report) {
    const ssize_t n = ::read(pipe_fds[0], p + got, sizeof report - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(pipe_fds[0]);
  if (got != sizeof report) report = {ECHILD, 0};  // the middle process died first
  while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
  }
  return report;
}

}  // namespace

int SpawnDetached(const std::vector<std::string>& argv, const std::string& directory) {
  return Spawn(argv, directory, 0).error;
}

WatchedStart SpawnWatched(const std::vector<std::string>& argv, int watch_ms,
                          const std::string& directory) {
  const MiddleReport report = Spawn(argv, directory, watch_ms);
  return {report.error, report.failed_early != 0};
}

}  // namespace tarnex::detail

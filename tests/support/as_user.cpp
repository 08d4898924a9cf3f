#include "tests/support/as_user.h"

#include <grp.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace brevio::testing {

namespace {

constexpr const char* kUserName = "brevio-test";

std::optional<OrdinaryUser> Lookup() {
  const passwd* entry = ::getpwnam(kUserName);
  if (entry == nullptr) return std::nullopt;
  return OrdinaryUser{entry->pw_uid, entry->pw_gid};
}

void CreateUser() {
  // Started directly, never through a shell.
  std::vector<std::string> args = {"/usr/sbin/useradd", "--no-create-home",  "--user-group",
                                   "--shell",           "/usr/sbin/nologin", kUserName};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return;
  int status = 0;
  ::waitpid(pid, &status, 0);
}

}  // namespace

std::optional<OrdinaryUser> TestUser() {
  if (::geteuid() != 0) return std::nullopt;
  if (auto user = Lookup()) return user;
  CreateUser();  // two test programs may race here; the loser finds the winner's user
  auto user = Lookup();
  if (!user) throw std::runtime_error("cannot create the user brevio-test");
  return user;
}

int RunAsOrdinaryUser(const std::function<int()>& check, const std::string& home) {
  const std::optional<OrdinaryUser> user = TestUser();
  if (!user) return check();
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(user->gid) != 0 || ::setuid(user->uid) != 0) {
      ::_exit(126);
    }
    if (!home.empty()) {
      ::setenv("HOME", home.c_str(), 1);
      ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    }
    ::_exit(check());
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ShareWithTestUser(const std::string& folder) {
  const std::optional<OrdinaryUser> user = TestUser();
  if (!user) return;
  namespace fs = std::filesystem;
  if (::chown(folder.c_str(), user->uid, user->gid) != 0) {
    throw std::runtime_error("cannot hand " + folder + " to brevio-test");
  }
  const fs::path temp = fs::temp_directory_path();
  for (fs::path up = fs::path(folder); up.has_relative_path() && up != temp;
       up = up.parent_path()) {
    struct stat st {};
    if (::stat(up.c_str(), &st) == 0 && (st.st_mode & S_IXOTH) == 0) {
      ::chmod(up.c_str(), (st.st_mode & 07777) | S_IXOTH);
    }
  }
}

}  // namespace brevio::testing

#pragma once
// Permission rows must run as an ordinary user: root reads and writes
// everything. The suite runs as root in CI, so these helpers lend it one.

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

namespace brevio::testing {

struct OrdinaryUser {
  uid_t uid = 0;
  gid_t gid = 0;  // the user's own group
};

// The user "brevio-test", created with useradd when missing. Only root can
// lend one: nullopt for everybody else, who already is an ordinary user.
std::optional<OrdinaryUser> TestUser();

// Runs `check` in a child process that has become TestUser() (HOME and
// XDG_CONFIG_HOME pointed at `home` when given), and returns its exit
// status; -1 when the child died of a signal. Without root, runs `check` in
// this process as the current user. A folder the child must reach needs
// search permission for it: see ShareWithTestUser.
int RunAsOrdinaryUser(const std::function<int()>& check, const std::string& home = {});

// Gives TestUser() access to `folder` (owner and group) and search
// permission on the folders above it up to the temp folder.
void ShareWithTestUser(const std::string& folder);

}  // namespace brevio::testing

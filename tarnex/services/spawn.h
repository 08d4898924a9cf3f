#pragma once
#include <string>
#include <vector>

namespace tarnex::detail {

// Starts argv[0] (looked up on PATH when it has no '/') with `argv`, in
// `directory` when not empty, in a new session, stdin from /dev/null, empty
// signal mask and default signal handlers. Never waits for the program and
// leaves no zombie: a short-lived middle process starts it and ends at once
// (a double fork), so init adopts the program; only the middle process is
// reaped here. Returns 0 or the errno of the failed start (ENOENT when the
// program or the folder is missing).
int SpawnDetached(const std::vector<std::string>& argv, const std::string& directory = {});

// The path of `name` on PATH (regular file with execute permission), or "".
std::string FindOnPath(const std::string& name);

}  // namespace tarnex::detail

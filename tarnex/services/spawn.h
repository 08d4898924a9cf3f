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

struct WatchedStart {
  int error = 0;              // as SpawnDetached returns it
  bool failed_early = false;  // started, then ended with a failure within the watch
};

// As SpawnDetached, but the middle process watches the program for up to
// `watch_ms` milliseconds before it ends: a program that exits with a
// status other than 0, or is killed, within that time has failed early (an
// opener that found nothing to open with, a browser that could not start).
// One still running when the time is up, or done with status 0, has not.
// The call returns when the program ends or the time is up.
WatchedStart SpawnWatched(const std::vector<std::string>& argv, int watch_ms,
                          const std::string& directory = {});

// The path of `name` on PATH (regular file with execute permission), or "".
std::string FindOnPath(const std::string& name);

}  // namespace tarnex::detail

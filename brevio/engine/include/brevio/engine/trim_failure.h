#pragma once
// Why a file was not trimmed, in the terms every front end words it from:
// the command line's messages and report, the windows' rows and boxes.
// Whatever the engine threw or returned is read into it once, here.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "brevio/engine/file_trim.h"
#include "fileio/file_error.h"

namespace brevio {

struct TrimFailure {
  // What TrimFile returned (kTrimSourceBlank, kTrimTargetBlank,
  // kTrimSourceNotFound); kTrimDone when a step failed or something threw.
  std::int32_t result = kTrimDone;
  // The step on a file that failed, when one did.
  std::optional<fileio::Step> step;
  // The path the failure is about: the step's, else the source (the target
  // for kTrimTargetBlank).
  std::string path;
  // The system's error number (errno values on every system); 0 when none
  // applies, e.g. a source that exists but is no regular file.
  int error = 0;
  // The failure in the system's words, for logs and reports:
  // "cannot open x.htm: Permission denied", "No such file or directory".
  std::string message;
};

// The failure an exception stands for; source names the file being trimmed.
TrimFailure FailureOf(const std::exception& error, const std::string& source);
TrimFailure FailureOf(const std::exception_ptr& error, const std::string& source);

// The failure a returned result stands for; empty for kTrimDone and
// kTrimNotText (a file left alone is skipped, not failed). Looks at the
// source again to tell why none was found.
std::optional<TrimFailure> FailureOf(const TrimReport& report, const std::string& source,
                                     const std::string& target);

}  // namespace brevio

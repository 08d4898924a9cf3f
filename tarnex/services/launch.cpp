#include "tarnex/services/launch.h"

#include <comrt_text.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "spawn.h"
#include "tarnex/services/command_line.h"

namespace tarnex {
namespace {

// ShellExecute's answers.
constexpr std::int32_t kStarted = 42;
constexpr std::int32_t kFileNotFound = 2;
constexpr std::int32_t kPathNotFound = 3;
constexpr std::int32_t kAccessDenied = 5;
constexpr std::int32_t kBadFormat = 11;
constexpr std::int32_t kNoAssociation = 31;

std::int32_t ErrnoToShellCode(int err) {
  switch (err) {
    case 0:
      return kStarted;
    case ENOENT:
      return kFileNotFound;
    case ENOTDIR:
      return kPathNotFound;
    case EACCES:
    case EPERM:
      return kAccessDenied;
    case ENOEXEC:
      return kBadFormat;
    case ENOMEM:
    case EAGAIN:
      return 0;
    default:
      return kNoAssociation;
  }
}

// How long ShellExecuteUtf8 watches what it started: long enough for an
// opener to say it found no program (xdg-open takes about a tenth of a
// second for that), short enough not to hold the caller's window.
constexpr int kWatchMs = 1000;

// Starts argv; true when it started and, watched for `watch_ms`, did not
// fail at once.
bool Start(const std::vector<std::string>& argv, int watch_ms, const std::string& directory = {}) {
  if (watch_ms <= 0) return detail::SpawnDetached(argv, directory) == 0;
  const detail::WatchedStart started = detail::SpawnWatched(argv, watch_ms, directory);
  return started.error == 0 && !started.failed_early;
}

// xdg-open, or 31 when there is no such program or it found none for
// the target within the watch.
std::int32_t OpenWithUserProgram(const std::string& target, const std::string& directory = {},
                                 int watch_ms = 0) {
  if (detail::FindOnPath("xdg-open").empty()) return kNoAssociation;
  return Start({"xdg-open", target}, watch_ms, directory) ? kStarted : kNoAssociation;
}

// "scheme:..." with a scheme of two or more letters (one letter would be a
// Windows drive), as in http://, mailto:, file:.
bool LooksLikeAddress(std::string_view s) {
  const std::size_t colon = s.find(':');
  if (colon == std::string_view::npos || colon < 2) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = s[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
      return false;
  }
  return true;
}

// Text handed to the platform's 8-bit calls ends at its first NUL.
std::string CString(const std::string& s) { return std::string(comrt::ascii::UpToNul(s)); }

// Browsers known to take --new-window; others just get the address.
bool TakesNewWindow(const std::string& program) {
  const std::string path = detail::FindOnPath(program);
  char resolved[PATH_MAX];
  if (path.empty() || ::realpath(path.c_str(), resolved) == nullptr) return false;
  const std::string_view name =
      std::string_view(resolved).substr(std::string_view(resolved).rfind('/') + 1);
  for (const std::string_view known :
       {"firefox", "chromium", "google-chrome", "brave-browser", "microsoft-edge", "vivaldi"}) {
    if (name.substr(0, known.size()) == known) return true;
  }
  return false;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The browser for `address`: the first of $BROWSER's first entry,
// x-www-browser and xdg-open that starts (and, watched, does not fail at
// once); 42, or 31 when none did.
std::int32_t StartBrowser(const std::string& address, int watch_ms) {
  std::vector<std::string> argv;
  const char* browser = std::getenv("BROWSER");
  std::string_view entry = browser != nullptr ? browser : "";
  entry = entry.substr(0, entry.find(':'));
  if (!entry.empty()) {
    // The entry is a program and its options, split at blanks (never by a
    // shell); "%s" stands for the address, else the address goes last.
    bool placed = false;
    std::size_t pos = 0;
    while (pos < entry.size()) {
      const std::size_t start = entry.find_first_not_of(" \t", pos);
      if (start == std::string_view::npos) break;
      const std::size_t end = std::min(entry.find_first_of(" \t", start), entry.size());
      std::string word(entry.substr(start, end - start));
      for (std::size_t at = word.find("%s"); at != std::string::npos;
           at = word.find("%s", at + address.size())) {
        word.replace(at, 2, address);
        placed = true;
      }
      argv.push_back(std::move(word));
      pos = end;
    }
    if (!placed && !address.empty()) {
      if (TakesNewWindow(argv[0])) argv.emplace_back("--new-window");
      argv.push_back(address);
    }
    if (!argv.empty() && Start(argv, watch_ms)) return kStarted;
  }
  for (const char* program : {"x-www-browser", "xdg-open"}) {
    if (detail::FindOnPath(program).empty()) continue;
    argv = {program};
    // An empty address starts the browser with an empty command line.
    if (!address.empty()) {
      if (TakesNewWindow(program)) argv.emplace_back("--new-window");
      argv.push_back(address);
    }
    if (Start(argv, watch_ms)) return kStarted;
  }
  return kNoAssociation;
}

}  // namespace

void OpenDocument(const std::string& target) { OpenWithUserProgram(CString(target)); }

void OpenBrowserNewWindow(const std::string& address) { StartBrowser(CString(address), 0); }

std::int32_t ShellExecuteUtf8(std::int32_t /*hwnd*/, const std::string& operation_in,
                              const std::string& file_in, const std::string& parameters_in,
                              const std::string& directory_in, std::int32_t /*show_cmd*/) {
  const std::string operation = CString(operation_in);
  const std::string file = CString(file_in);
  const std::string parameters = CString(parameters_in);
  const std::string directory = CString(directory_in);
  if (!operation.empty() && !comrt::ascii::EqualsNoCase(operation, "open")) return kNoAssociation;
  if (!directory.empty() && !IsDirectory(directory)) return kPathNotFound;
  if (file.empty()) return kFileNotFound;

  // Where the file is: a name with '/' is a path (relative ones taken from
  // `directory` when given); a bare name is a program on PATH or a file in
  // `directory` (else the current folder).
  std::string path;
  if (file.find('/') != std::string::npos) {
    path = (file[0] != '/' && !directory.empty()) ? directory + "/" + file : file;
  } else {
    const std::string local = (directory.empty() ? std::string(".") : directory) + "/" + file;
    if (::access(local.c_str(), F_OK) == 0) {
      path = local;
    } else {
      path = detail::FindOnPath(file);
      // Windows' own browser by its name, as its shell finds it: here the
      // user's browser, in a new window, with `parameters` as the address.
      if (path.empty() && comrt::ascii::EqualsNoCase(file, "IExplore.exe"))
        return StartBrowser(parameters, kWatchMs);
      if (path.empty())
        return LooksLikeAddress(file) ? OpenWithUserProgram(file, directory, kWatchMs)
                                      : kFileNotFound;
    }
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    const int err = errno;
    if (LooksLikeAddress(file)) return OpenWithUserProgram(file, directory, kWatchMs);
    return ErrnoToShellCode(err);
  }
  const bool executable = S_ISREG(st.st_mode) && (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
  if (!executable) return OpenWithUserProgram(path, directory, kWatchMs);  // documents, folders

  std::vector<std::string> argv{path};
  for (std::string& arg : SplitCommandLine(parameters)) argv.push_back(std::move(arg));
  return ErrnoToShellCode(detail::SpawnDetached(argv, directory));
}

}  // namespace tarnex

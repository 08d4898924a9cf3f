// CollectJobs on Windows: FindFirstFileW lists the folders, names travel
// as UTF-8, and paths are joined with the backslash. Reparse points
// (symbolic links, junctions) are passed over unless -L asks to follow them.
#include <windows.h>

#include <algorithm>
#include <utility>

#include "fileio/path.h"
#include "fileio/wide.h"
#include "walk.h"
#include "walk_filter.h"
#include "walk_trail.h"

namespace brevio::cli {

namespace {

using fileio::JoinPath;

char Fold(char c, bool fold_case) {
  return fold_case && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A [...] set at p (just after the '['): whether c is in it; p moves past
// the ']'. A set without its ']' is no set: false, p unchanged.
bool InSet(std::string_view pattern, std::size_t& p, char c, bool fold_case) {
  std::size_t i = p;
  const bool negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
  if (negated) ++i;
  bool found = false;
  for (bool first = true; i < pattern.size() && (first || pattern[i] != ']'); first = false) {
    const char low = Fold(pattern[i], fold_case);
    if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
      const char high = Fold(pattern[i + 2], fold_case);
      found = found || (low <= c && c <= high);
      i += 3;
    } else {
      found = found || low == c;
      ++i;
    }
  }
  if (i >= pattern.size()) return false;
  p = i + 1;
  return found != negated;
}

// fnmatch's *, ? and [...] over bytes, without its special cases for '/'
// and leading dots (file names here have neither meaning).
bool Matches(std::string_view pattern, std::string_view name, bool fold_case) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::string_view::npos;
  std::size_t star_name = 0;
  while (n < name.size()) {
    const char c = Fold(name[n], fold_case);
    if (p < pattern.size() && pattern[p] == '*') {
      star = ++p;
      star_name = n;
      continue;
    }
    if (p < pattern.size()) {
      std::size_t next = p + 1;
      bool one = false;
      if (pattern[p] == '?') {
        one = true;
      } else if (pattern[p] == '[') {
        one = InSet(pattern, next, c, fold_case) || (next == p + 1 && c == '[');
      } else {
        one = Fold(pattern[p], fold_case) == c;
      }
      if (one) {
        p = next;
        ++n;
        continue;
      }
    }
    if (star == std::string_view::npos) return false;
    p = star;
    n = ++star_name;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesName(const std::string& pattern, const std::string& name, bool fold_case) {
  return Matches(pattern, name, fold_case);
}

namespace {

struct Entry {
  std::string name;
  DWORD attributes;
};

struct Found {
  std::string path;
  std::string relative;  // below the walked operand
};

class Walk {
 public:
  Walk(const CommandLine& line, std::optional<FileId> output_folder,
       std::vector<std::string>& problems)
      : line_(line), filter_(line), trail_(output_folder, problems) {}

  std::vector<Found> Run(const std::string& operand, FileId id) {
    found_.clear();
    trail_.Start(id);
    Folder(operand, {});
    return std::move(found_);
  }

 private:
  std::vector<Entry> List(const std::string& folder) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileW(fileio::Wide(JoinPath(folder, "*")).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
      if (::GetLastError() != ERROR_FILE_NOT_FOUND) trail_.CannotRead(folder, fileio::LastErrno());
      return entries;
    }
    do {
      const std::wstring_view name = data.cFileName;
      if (name != L"." && name != L"..") {
        entries.push_back({fileio::Utf8(name), data.dwFileAttributes});
      }
    } while (::FindNextFileW(find, &data) != 0);
    if (::GetLastError() != ERROR_NO_MORE_FILES) trail_.CannotRead(folder, fileio::LastErrno());
    ::FindClose(find);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
  }

  void Folder(const std::string& folder, const std::string& relative) {
    for (Entry& entry : List(folder)) {
      const std::string path = JoinPath(folder, entry.name);
      if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        if (!line_.dereference) continue;
        // With -L the link's file counts; a link to nothing has none to take.
        const DWORD followed = FollowedAttributes(path);
        if (followed == INVALID_FILE_ATTRIBUTES) continue;
        entry.attributes = followed;
      }
      std::string below = JoinPath(relative, entry.name);
      if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        // A folder left out is not opened at all.
        if (filter_.EntersFolder(entry.name, below)) Descend(path, below);
      } else if (filter_.TakesFile(entry.name, below)) {
        found_.push_back({path, std::move(below)});
      }
    }
  }

  // The attributes of what a link leads to (the handle is opened through it).
  static DWORD FollowedAttributes(const std::string& path) {
    const HANDLE handle = ::CreateFileW(
        fileio::Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return INVALID_FILE_ATTRIBUTES;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
    ::CloseHandle(handle);
    return known ? info.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
  }

  void Descend(const std::string& folder, const std::string& relative) {
    const std::optional<FileId> id = FileIdOf(folder);
    if (!id) {
      trail_.CannotRead(folder, errno);
      return;
    }
    if (!trail_.Enter(folder, *id)) return;
    Folder(folder, relative);
    trail_.Leave();
  }

  const CommandLine& line_;
  const WalkFilter filter_;
  WalkTrail trail_;
  std::vector<Found> found_;
};

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(fileio::Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

BatchJob JobFor(const std::string& source, const std::string& target) {
  BatchJob job;
  job.source = source;
  job.target = target;
  return job;
}

}  // namespace

std::vector<BatchJob> CollectJobs(const CommandLine& line, std::optional<FileId> output_folder,
                                  std::vector<std::string>& problems) {
  std::vector<BatchJob> jobs;
  if (line.mode == Mode::kPair) {
    jobs.push_back(JobFor(line.operands[0], line.operands[1]));
    return jobs;
  }
  const auto add = [&](const std::string& source, const std::string& relative) {
    BatchJob job = JobFor(source, source);
    if (line.mode == Mode::kOutputDir) {
      job.target = JoinPath(line.output_dir, relative);
    }
    jobs.push_back(std::move(job));
  };
  Walk walk(line, output_folder, problems);
  for (const std::string& operand : line.operands) {
    std::optional<FileId> id;
    if (line.recursive && IsFolder(operand)) id = FileIdOf(operand);
    if (!id) {
      add(operand, fileio::TextOf(fileio::PathOf(operand).filename()));
      continue;
    }
    for (Found& file : walk.Run(operand, *id)) {
      add(file.path, file.relative);
      jobs.back().follow_links = line.dereference;
    }
  }
  return jobs;
}

}  // namespace brevio::cli

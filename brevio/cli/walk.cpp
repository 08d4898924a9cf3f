#include "walk.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <iterator>
#include <utility>

#include "walk_trail.h"

namespace brevio::cli {

namespace {

constexpr const char* kWebPatterns[] = {"*.htm", "*.html", "*.asp", "*.php"};

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.ends_with('/') ? folder + name : folder + '/' + name;
}

bool Wanted(const std::string& file_name, const std::vector<std::string>& includes) {
  // Another trim's file in the making, whatever the patterns say.
  if (IsTrimTempName(file_name)) return false;
  if (includes.empty()) {
    return std::any_of(std::begin(kWebPatterns), std::end(kWebPatterns), [&](const char* pattern) {
      return ::fnmatch(pattern, file_name.c_str(), FNM_CASEFOLD) == 0;
    });
  }
  return std::any_of(includes.begin(), includes.end(), [&](const std::string& pattern) {
    return ::fnmatch(pattern.c_str(), file_name.c_str(), 0) == 0;
  });
}

// A folder entry with what readdir tells for free: its type (DT_UNKNOWN
// on file systems that do not say) and its inode.
struct Entry {
  std::string name;
  unsigned char type;
  ino_t inode;
};

unsigned char TypeOf(mode_t mode) {
  if (S_ISDIR(mode)) return DT_DIR;
  if (S_ISREG(mode)) return DT_REG;
  if (S_ISLNK(mode)) return DT_LNK;
  return DT_UNKNOWN;
}

// Takes each file found: its path, its path below the walked operand and
// its identity.
using Take = std::function<void(std::string path, const std::string& relative, FileId id)>;

// One -r walk. Symbolic links met on the way are passed over unless -L asks
// to follow them, so that a link planted in a served tree cannot lead a
// trim run by root to files outside it. Names and types come from the
// folder listing alone: a file costs no look-up of its own unless it is a
// link to follow.
class Walk {
 public:
  Walk(const CommandLine& line, std::optional<FileId> output_folder,
       std::vector<std::string>& problems)
      : line_(line), trail_(output_folder, problems) {}

  void Run(const std::string& operand, FileId id, const Take& take) {
    take_ = &take;
    trail_.Start(id);
    Folder(operand, {}, id.device);
  }

 private:
  std::vector<Entry> List(const std::string& folder) {
    std::vector<Entry> entries;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
      trail_.CannotRead(folder, errno);
      return entries;
    }
    errno = 0;
    while (const dirent* e = ::readdir(dir)) {
      const std::string_view name = e->d_name;
      if (name != "." && name != "..") entries.push_back({e->d_name, e->d_type, e->d_ino});
      errno = 0;
    }
    if (errno != 0) trail_.CannotRead(folder, errno);
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
  }

  void Folder(const std::string& folder, const std::string& relative, dev_t device) {
    for (Entry& entry : List(folder)) {
      std::string path = Join(folder, entry.name);
      FileId id{device, entry.inode};
      if (entry.type == DT_UNKNOWN || (entry.type == DT_LNK && line_.dereference)) {
        // With -L the link's file counts; a link to nothing has none to take.
        struct stat st {};
        const int examined =
            entry.type == DT_LNK ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
        if (examined != 0) continue;
        entry.type = TypeOf(st.st_mode);
        id = {st.st_dev, st.st_ino};
      }
      if (entry.type == DT_DIR) {
        Descend(path, Join(relative, entry.name));
      } else if (entry.type == DT_REG && Wanted(entry.name, line_.includes)) {
        (*take_)(std::move(path), Join(relative, entry.name), id);
      }
    }
  }

  void Descend(const std::string& folder, const std::string& relative) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
      trail_.CannotRead(folder, errno);
      return;
    }
    const FileId id{st.st_dev, st.st_ino};
    if (!trail_.Enter(folder, id)) return;
    Folder(folder, relative, id.device);
    trail_.Leave();
  }

  const CommandLine& line_;
  WalkTrail trail_;
  const Take* take_ = nullptr;
};

}  // namespace

std::vector<BatchJob> CollectJobs(const CommandLine& line, std::optional<FileId> output_folder,
                                  std::vector<std::string>& problems) {
  std::vector<BatchJob> jobs;
  if (line.mode == Mode::kPair) {
    BatchJob& job = jobs.emplace_back();
    job.source = line.operands[0];
    job.target = line.operands[1];
    return jobs;
  }
  const auto add = [&](std::string source, const std::string& relative) -> BatchJob& {
    BatchJob& job = jobs.emplace_back();
    if (line.mode == Mode::kOutputDir) {
      job.target = Join(line.output_dir, relative);
      job.make_folder = relative.find('/') != std::string::npos;
    } else {
      job.target = source;
    }
    job.source = std::move(source);
    return job;
  };
  Walk walk(line, output_folder, problems);
  for (const std::string& operand : line.operands) {
    // An operand is taken as named, also when it is a symbolic link.
    struct stat st {};
    if (!line.recursive || ::stat(operand.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      add(operand, std::filesystem::path(operand).filename().string());
      continue;
    }
    walk.Run(operand, {st.st_dev, st.st_ino},
             [&](std::string path, const std::string& relative, FileId id) {
               BatchJob& job = add(std::move(path), relative);
               // The walk passed over links; one swapped in since must not be followed either.
               job.follow_links = line.dereference;
               job.id = id;
               job.listed_regular = true;
             });
  }
  return jobs;
}

}  // namespace brevio::cli

#include "walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "brevio/cli/shown_name.h"
#include "brevio/engine/held_folders.h"
#include "fileio/file_error.h"
#include "fileio/path.h"
#include "walk_filter.h"
#include "walk_trail.h"

namespace brevio::cli {

bool MatchesName(const std::string& pattern, const std::string& name, bool fold_case) {
  return ::fnmatch(pattern.c_str(), name.c_str(), fold_case ? FNM_CASEFOLD : 0) == 0;
}

namespace {

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

// A file found: its path, its path below the walked operand, its identity
// and where it lies (a held folder and its name there).
struct Found {
  std::string path;
  std::string relative;
  FileId id;
  HeldFolders::Id folder;
  std::string name;
};
using Take = std::function<void(Found found)>;

// One -r walk, on open folder descriptors as find and rm -r walk: each
// folder is opened from its parent's descriptor with links refused and
// checked to be the folder that was listed, so that nobody renaming or
// swapping folders meanwhile can lead a run by root out of the tree.
// Symbolic links met on the way are passed over unless -L asks to follow
// them. Names and types come from the folder listing: a file costs no
// look-up of its own unless it is a link to follow.
class Walk {
 public:
  Walk(const CommandLine& line, std::optional<FileId> output_folder,
       std::vector<std::string>& problems, std::shared_ptr<HeldFolders> folders)
      : line_(line),
        filter_(line),
        trail_(output_folder, problems),
        problems_(problems),
        folders_(std::move(folders)) {}

  // operand: a folder the user named, opened as named.
  void Run(const std::string& operand, const Take& take) {
    take_ = &take;
    HeldFolders::Id root = 0;
    try {
      root = folders_->AddRoot(operand);
    } catch (const fileio::FileError& e) {
      trail_.CannotRead(operand, e.code().value());
      return;
    }
    trail_.Start(folders_->Identity(root));
    Folder(root, operand, {});
  }

 private:
  // The folder's descriptor, or nullptr once it is reported (replaced, or
  // not to be opened). Taken afresh for each use rather than held across a
  // descent, so that the open folders stay as few as HeldFolders keeps.
  std::shared_ptr<const fileio::Fd> Open(HeldFolders::Id folder, const std::string& path) {
    try {
      return folders_->Open(folder);
    } catch (const fileio::FileError& e) {
      Report(e, path);
      return nullptr;
    }
  }

  std::vector<Entry> List(HeldFolders::Id folder, const std::string& path) {
    std::vector<Entry> entries;
    const std::shared_ptr<const fileio::Fd> fd = Open(folder, path);
    if (!fd) return entries;
    // The listing reads through its own descriptor: closedir closes it.
    const int listing = ::fcntl(fd->get(), F_DUPFD_CLOEXEC, 3);
    DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (dir == nullptr) {
      trail_.CannotRead(path, errno);
      if (listing >= 0) ::close(listing);
      return entries;
    }
    errno = 0;
    while (const dirent* e = ::readdir(dir)) {
      const std::string_view name = e->d_name;
      if (name != "." && name != "..") entries.push_back({e->d_name, e->d_type, e->d_ino});
      errno = 0;
    }
    if (errno != 0) trail_.CannotRead(path, errno);
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
  }

  void Folder(HeldFolders::Id folder, const std::string& path, const std::string& relative) {
    const dev_t device = static_cast<dev_t>(folders_->Identity(folder).device);
    for (Entry& entry : List(folder, path)) {
      FileId id{device, entry.inode};
      std::optional<FileId> listed;
      if (entry.type == DT_UNKNOWN || entry.type == DT_DIR ||
          (entry.type == DT_LNK && line_.dereference)) {
        const std::shared_ptr<const fileio::Fd> at = Open(folder, path);
        if (!at) return;
        // With -L the link's file counts; a link to nothing has none to take.
        struct stat st {};
        const int flags = entry.type == DT_LNK ? 0 : AT_SYMLINK_NOFOLLOW;
        if (::fstatat(at->get(), entry.name.c_str(), &st, flags) != 0) continue;
        entry.type = TypeOf(st.st_mode);
        id = {st.st_dev, st.st_ino};
        listed = id;
      }
      std::string below = fileio::JoinPath(relative, entry.name);
      if (entry.type == DT_DIR) {
        // A folder left out is not opened at all.
        if (!filter_.EntersFolder(entry.name, below)) continue;
        Descend(folder, entry.name, fileio::JoinPath(path, entry.name), below, listed);
      } else if (entry.type == DT_REG && filter_.TakesFile(entry.name, below)) {
        (*take_)({fileio::JoinPath(path, entry.name), std::move(below), id, folder, entry.name});
      }
    }
  }

  void Descend(HeldFolders::Id parent, const std::string& name, const std::string& path,
               const std::string& relative, std::optional<FileId> listed) {
    HeldFolders::Id folder = 0;
    try {
      folder = folders_->AddChild(parent, name, listed);
    } catch (const fileio::FileError& e) {
      Report(e, path);
      return;
    }
    if (!trail_.Enter(path, folders_->Identity(folder))) return;
    Folder(folder, path, relative);
    trail_.Leave();
  }

  // A folder that was swapped, or could not be opened, is named and passed over.
  void Report(const fileio::FileError& e, const std::string& path) {
    if (e.step() == fileio::Step::kFolderChanged) {
      problems_.push_back("will not go into " + QuoteName(path) +
                          ": it was replaced while the run went on");
    } else {
      trail_.CannotRead(path, e.code().value());
    }
  }

  const CommandLine& line_;
  const WalkFilter filter_;
  WalkTrail trail_;
  std::vector<std::string>& problems_;
  std::shared_ptr<HeldFolders> folders_;
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
    job.target =
        line.mode == Mode::kOutputDir ? fileio::JoinPath(line.output_dir, relative) : source;
    job.source = std::move(source);
    return job;
  };
  const auto folders = std::make_shared<HeldFolders>(line.dereference);
  Walk walk(line, output_folder, problems, folders);
  for (const std::string& operand : line.operands) {
    // An operand is taken as named, also when it is a symbolic link.
    struct stat st {};
    if (!line.recursive || ::stat(operand.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      add(operand, fileio::NameOf(operand));
      continue;
    }
    walk.Run(operand, [&](Found found) {
      BatchJob& job = add(std::move(found.path), found.relative);
      // The walk passed over links; one swapped in since must not be followed either.
      job.follow_links = line.dereference;
      job.id = found.id;
      job.listed_regular = true;
      job.folders = folders;
      job.source_folder = found.folder;
      job.source_name = std::move(found.name);
    });
  }
  return jobs;
}

}  // namespace brevio::cli

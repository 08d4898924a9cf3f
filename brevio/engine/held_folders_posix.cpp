#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "brevio/engine/held_folders.h"
#include "fileio/file_error.h"
#include "fileio/path.h"

namespace brevio {

struct HeldFolders::Folder {
  Id parent = 0;
  bool root = false;
  std::string name;  // in the parent; the root's: its path
  std::string path;
  FileId id;
  std::shared_ptr<const fileio::Fd> fd;  // while kept
};

namespace {

[[noreturn]] void Changed(const std::string& path, int error) {
  throw fileio::FileError(fileio::Step::kFolderChanged, path, error,
                          "it was replaced while the run went on");
}

FileId IdentityOf(const struct stat& st) { return {st.st_dev, st.st_ino}; }

// A sixteenth of the descriptor limit: a deep or wide tree never runs the
// run out of descriptors.
std::size_t ShareOfDescriptors() {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 64;
  return std::clamp<std::size_t>(static_cast<std::size_t>(limit.rlim_cur) / 16, 2, 64);
}

}  // namespace

HeldFolders::HeldFolders(bool follow_links, std::size_t keep_open)
    : follow_links_(follow_links), keep_open_(keep_open != 0 ? keep_open : ShareOfDescriptors()) {}

HeldFolders::~HeldFolders() = default;

HeldFolders::Id HeldFolders::AddRoot(const std::string& path) {
  fileio::Fd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY));
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
    throw fileio::FileError(fileio::Step::kOpenFolder, path, errno);
  }
  const std::lock_guard lock(mutex_);
  const Id id = Add(0, path, path, std::move(fd), IdentityOf(st));
  folders_[id]->root = true;
  return id;
}

HeldFolders::Id HeldFolders::AddChild(Id parent, const std::string& name,
                                      std::optional<FileId> listed) {
  const std::lock_guard lock(mutex_);
  const std::string path = fileio::JoinPath(folders_[parent]->path, name);
  const std::shared_ptr<const fileio::Fd> at = OpenLocked(parent);
  const int no_follow = follow_links_ ? 0 : O_NOFOLLOW;
  fileio::Fd fd(
      ::openat(at->get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY | no_follow));
  if (fd.get() < 0) {
    // Listed as a folder a moment ago, a link or a file now.
    if (errno == ELOOP || errno == ENOTDIR) Changed(path, errno);
    throw fileio::FileError(fileio::Step::kOpenFolder, path, errno);
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) throw fileio::FileError(fileio::Step::kOpenFolder, path, errno);
  const FileId id = IdentityOf(st);
  // Another folder of the same file system swapped in since the listing (a
  // folder mounted here has the other system's identity: not comparable).
  if (listed && listed->device == id.device && listed->inode != id.inode) Changed(path, ESTALE);
  return Add(parent, name, path, std::move(fd), id);
}

HeldFolders::Id HeldFolders::MakeChild(Id parent, const std::string& name, bool& made) {
  const std::lock_guard lock(mutex_);
  const std::string path = fileio::JoinPath(folders_[parent]->path, name);
  const std::shared_ptr<const fileio::Fd> at = OpenLocked(parent);
  made = ::mkdirat(at->get(), name.c_str(), 0777) == 0;
  if (!made && errno != EEXIST) throw fileio::FileError(fileio::Step::kMakeFolder, path, errno);
  fileio::Fd fd(::openat(at->get(), name.c_str(),
                         O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW));
  if (fd.get() < 0) {
    const int error = errno;
    struct stat st {};
    if (error == ELOOP || (::fstatat(at->get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                           S_ISLNK(st.st_mode))) {
      // cp -r refuses too: the link would lead the run's files out of the folder.
      throw fileio::FileError(fileio::Step::kRefuseTarget, path, ENOTDIR,
                              "a symbolic link where the output needs a folder");
    }
    throw fileio::FileError(fileio::Step::kMakeFolder, path, error == ENOTDIR ? EEXIST : error);
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) throw fileio::FileError(fileio::Step::kOpenFolder, path, errno);
  return Add(parent, name, path, std::move(fd), IdentityOf(st));
}

std::shared_ptr<const fileio::Fd> HeldFolders::Open(Id folder) {
  const std::lock_guard lock(mutex_);
  return OpenLocked(folder);
}

std::string HeldFolders::Path(Id folder) const {
  const std::lock_guard lock(mutex_);
  return folders_[folder]->path;
}

FileId HeldFolders::Identity(Id folder) const {
  const std::lock_guard lock(mutex_);
  return folders_[folder]->id;
}

std::shared_ptr<const fileio::Fd> HeldFolders::OpenLocked(Id id) {
  Folder& folder = *folders_[id];
  if (folder.fd) {
    Keep(id, folder.fd);
    return folder.fd;
  }
  fileio::Fd fd;
  if (folder.root) {
    fd.reset(::open(folder.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY));
  } else {
    const std::shared_ptr<const fileio::Fd> at = OpenLocked(folder.parent);
    const int no_follow = follow_links_ ? 0 : O_NOFOLLOW;
    fd.reset(::openat(at->get(), folder.name.c_str(),
                      O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY | no_follow));
  }
  if (fd.get() < 0) {
    if (errno == ELOOP || errno == ENOTDIR || errno == ENOENT) Changed(folder.path, errno);
    throw fileio::FileError(fileio::Step::kOpenFolder, folder.path, errno);
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    throw fileio::FileError(fileio::Step::kOpenFolder, folder.path, errno);
  }
  if (IdentityOf(st) != folder.id) Changed(folder.path, ESTALE);
  auto shared = std::make_shared<const fileio::Fd>(std::move(fd));
  Keep(id, shared);
  return shared;
}

HeldFolders::Id HeldFolders::Add(Id parent, const std::string& name, std::string path,
                                 fileio::Fd fd, FileId id) {
  auto folder = std::make_unique<Folder>();
  folder->parent = parent;
  folder->name = name;
  folder->path = std::move(path);
  folder->id = id;
  folders_.push_back(std::move(folder));
  const Id added = folders_.size() - 1;
  Keep(added, std::make_shared<const fileio::Fd>(std::move(fd)));
  return added;
}

// Marks the folder as used last; lets go of the least recently used ones
// beyond the limit (a descriptor still in use elsewhere stays open there).
void HeldFolders::Keep(Id id, std::shared_ptr<const fileio::Fd> fd) {
  folders_[id]->fd = std::move(fd);
  if (!kept_.empty() && kept_.back() == id) return;
  const auto at = std::find(kept_.rbegin(), kept_.rend(), id);
  if (at != kept_.rend()) kept_.erase(std::next(at).base());
  kept_.push_back(id);
  while (kept_.size() > keep_open_) {
    folders_[kept_.front()]->fd.reset();
    kept_.erase(kept_.begin());
  }
}

}  // namespace brevio

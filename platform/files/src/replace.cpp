#include "fileio/replace.h"

#include <acl/libacl.h>
#include <attr/error_context.h>
#include <attr/libattr.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <utility>

#include "system_io.h"
#include "temp_list.h"

namespace fileio {

namespace detail {

int CloseFd(int fd) { return ::close(fd); }

std::int64_t WriteSome(int fd, const char* data, std::size_t n) { return ::write(fd, data, n); }

std::int64_t ReadAt(int fd, char* data, std::size_t n, std::int64_t offset) {
  return ::pread(fd, data, n, static_cast<off_t>(offset));
}

}  // namespace detail

namespace {

[[noreturn]] void Fail(Step step, const std::string& path, int error) {
  throw FileError(step, path, error);
}

bool NotSupported(int error) { return error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS; }

std::string RandomSuffix() {
  static constexpr std::string_view kChars =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::minstd_rand random(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
  std::string suffix(6, ' ');
  for (char& c : suffix) c = kChars[random() % kChars.size()];
  return suffix;
}

// Collects the first failure libacl or libattr reports that is not a file
// system's lack of support (those are skipped, as cp does).
struct MetadataErrors {
  error_context context{};  // first, so the libraries' pointer is ours
  int error = 0;
};

// NOLINTNEXTLINE(cert-dcl50-cpp): the libraries' callback type is variadic
void OnMetadataError(error_context* context, const char* /*format*/, ...) {
  const int error = errno;
  auto* errors = reinterpret_cast<MetadataErrors*>(context);
  if (errors->error == 0 && error != 0 && !NotSupported(error)) errors->error = error;
}

const char* QuoteAsIs(error_context* /*context*/, const char* name) { return name; }
void FreeNothing(error_context* /*context*/, const char* /*name*/) {}

// ACLs are copied by perm_copy_fd; everything else follows the system's
// rules for which attributes travel with a file.
int CopyAttribute(const char* name, error_context* context) {
  if (std::strcmp(name, "system.posix_acl_access") == 0 ||
      std::strcmp(name, "system.posix_acl_default") == 0) {
    return 0;
  }
  return attr_copy_check_permissions(name, context);
}

// Whether the folder holding path is on the proc file system, whose links
// name a process's open files rather than paths.
bool InProc(const std::string& path) {
  struct statfs fs {};
  constexpr long kProcMagic = 0x9fa0;
  return ::statfs(FolderOf(path).c_str(), &fs) == 0 && fs.f_type == kProcMagic;
}

struct Examined {
  bool exists = false;  // something is at the end of the links
  bool dangling = false;
  bool through_proc = false;  // a link under /proc was followed
  struct stat st {};
  std::string final_path;  // where a replacement goes: the end of the links
};

// Follows symbolic links from target to the file they end at, so that the
// rename replaces that file and the links stay.
Examined Examine(const std::string& target) {
  Examined found;
  found.final_path = target;
  if (::lstat(target.c_str(), &found.st) != 0) {
    // A missing folder on the way is reported by the temporary file's creation.
    if (errno == ENOENT || errno == ENOTDIR) return found;
    Fail(Step::kExamine, target, errno);
  }
  if (!S_ISLNK(found.st.st_mode)) {
    found.exists = true;
    return found;
  }
  if (::stat(target.c_str(), &found.st) == 0) {
    found.exists = true;
  } else if (errno == ENOENT || errno == ENOTDIR) {
    found.dangling = true;
  } else if (errno == ELOOP) {
    Fail(Step::kRefuseTarget, target, ELOOP);
  } else {
    Fail(Step::kExamine, target, errno);
  }
  std::string path = target;
  for (int hops = 0; hops < 64; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    if (InProc(path)) found.through_proc = true;
    std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n < 0) Fail(Step::kExamine, path, errno);
    if (static_cast<std::size_t>(n) >= link.size()) Fail(Step::kExamine, path, ENAMETOOLONG);
    link.resize(static_cast<std::size_t>(n));
    if (!link.empty() && link.front() == '/') {
      path = std::move(link);
    } else {
      std::string joined = FolderOf(path);
      joined += '/';
      joined += link;
      path = std::move(joined);
    }
  }
  found.final_path = path;
  return found;
}

// Whether linkat names an open descriptor itself, which needs a privilege
// (CAP_DAC_READ_SEARCH); after a refusal the /proc name of the descriptor is
// used instead.
std::atomic<bool> link_by_descriptor{true};

// Gives the unnamed file open at fd the name path. Returns 0 or the errno.
int LinkUnnamed(int fd, const std::string& path) {
  const bool by_descriptor = link_by_descriptor.load(std::memory_order_relaxed);
  if (by_descriptor) {
    if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return 0;
    if (errno != ENOENT && errno != EPERM) return errno;
  }
  std::array<char, 32> name{};
  std::snprintf(name.data(), name.size(), "/proc/self/fd/%d", fd);
  if (::linkat(AT_FDCWD, name.data(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) return errno;
  if (by_descriptor) link_by_descriptor.store(false, std::memory_order_relaxed);
  return 0;
}

// Copies the file open at from, from its start, to to. Returns 0 or the errno.
int CopyAll(int from, int to) {
  std::array<char, 65536> buffer{};
  off_t offset = 0;
  for (;;) {
    const ssize_t got = ::pread(from, buffer.data(), buffer.size(), offset);
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return 0;
    if (const int error = WriteAll(to, buffer.data(), static_cast<std::size_t>(got)); error != 0) {
      return error;
    }
    offset += got;
  }
}

}  // namespace

TempFile::TempFile(const std::string& final_path, const TempName& name, mode_t mode) {
  const std::string folder = FolderOf(final_path);
  std::string base = NameOf(final_path);
  if (base.size() > 200) base.resize(200);  // leave room under NAME_MAX
  for (int attempt = 0;; ++attempt) {
    std::string temp = folder + "/";
    temp += name.before;
    temp += base;
    temp += name.after;
    temp += RandomSuffix();
    // Listed before it exists: a signal right after the creation must
    // already find it.
    slot_ = detail::ListTemp(temp.c_str());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) {
      path_ = std::move(temp);
      fd_.reset(fd);
      return;
    }
    const int error = errno;
    detail::UnlistTemp(std::exchange(slot_, -1));
    if (error != EEXIST || attempt >= 100) Fail(Step::kCreateTemp, folder, error);
  }
}

TempFile::~TempFile() {
  if (!committed_) {
    fd_.close();
    ::unlink(path_.c_str());
  }
  detail::UnlistTemp(slot_);
}

void TempFile::KeepMetadataOf(int original_fd, const std::string& target) {
  struct stat st {};
  if (::fstat(original_fd, &st) != 0) Fail(Step::kKeepMetadata, target, errno);
  const int fd = fd_.get();
  // Owner and group first: giving a file away clears its setuid bits. Who
  // may not give it away keeps at least the group when it is one of theirs.
  if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
    if (errno != EPERM) Fail(Step::kKeepMetadata, target, errno);
    if (::fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0 && errno != EPERM) {
      Fail(Step::kKeepMetadata, target, errno);
    }
  }
  MetadataErrors errors;
  errors.context.error = OnMetadataError;
  errors.context.quote = QuoteAsIs;
  errors.context.quote_free = FreeNothing;
  ::perm_copy_fd(target.c_str(), original_fd, path_.c_str(), fd, &errors.context);
  ::attr_copy_fd(target.c_str(), original_fd, path_.c_str(), fd, CopyAttribute, &errors.context);
  if (errors.error != 0) Fail(Step::kKeepMetadata, target, errors.error);
  // Last, for the setuid, setgid and sticky bits that neither chown nor the
  // ACL keeps; with an ACL the group bits are its mask, which this rewrites
  // unchanged.
  if (::fchmod(fd, st.st_mode & 07777) != 0 && !NotSupported(errno)) {
    Fail(Step::kKeepMetadata, target, errno);
  }
}

void TempFile::CommitAs(const std::string& final_path, bool flush, const std::string& target) {
  if (flush && ::fsync(fd_.get()) != 0) Fail(Step::kWriteTarget, target, errno);
  if (const int error = fd_.close(); error != 0) Fail(Step::kWriteTarget, target, error);
  if (::rename(path_.c_str(), final_path.c_str()) != 0) Fail(Step::kReplace, target, errno);
  committed_ = true;
}

Output::Output(const std::string& target, const OutputOptions& options)
    : target_(target), options_(options), original_fd_(options.original_fd) {
  if (options.new_in_made_folder && !options.in_place) {
    // Any failure here (no unnamed files on this file system, no folder)
    // is left to the usual way, which words it as it always does.
    unnamed_.reset(
        ::open(FolderOf(target).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, options.new_mode));
    if (unnamed_.get() >= 0) {
      final_path_ = target;
      return;
    }
  }
  const Examined found = Examine(target);
  final_path_ = found.final_path;
  if (found.dangling && !options.write_through_dangling_links) {
    throw FileError(Step::kRefuseTarget, target, ENOENT, "dangling symbolic link");
  }
  if (found.exists && S_ISDIR(found.st.st_mode)) Fail(Step::kRefuseTarget, target, EISDIR);

  // A FIFO, device or socket, or a descriptor's own file, is written into as
  // cp does: replacing it would put a plain file where the reader waits.
  if (found.exists && (!S_ISREG(found.st.st_mode) || (found.through_proc && !options.in_place))) {
    const int flags = O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY;
    direct_.reset(::open(target.c_str(), options.non_blocking ? flags | O_NONBLOCK : flags));
    if (direct_.get() < 0) Fail(Step::kOpenTarget, target, errno);
    return;
  }

  if (found.exists) {
    if (!options.in_place && ::faccessat(AT_FDCWD, final_path_.c_str(), W_OK, AT_EACCESS) != 0) {
      Fail(Step::kOpenTarget, target, errno);
    }
    if (original_fd_ < 0) {
      // Only for its metadata; reading or writing, whichever is allowed.
      original_.reset(::open(final_path_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
      if (original_.get() < 0 && errno == EACCES) {
        original_.reset(::open(final_path_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
      }
      if (original_.get() < 0) Fail(Step::kOpenTarget, target, errno);
      original_fd_ = original_.get();
    }
    // Private until it carries the target's owner and permissions.
    temp_.emplace(final_path_, options.temp_name, 0600);
  } else {
    temp_.emplace(final_path_, options.temp_name, options.new_mode);
  }
}

void Output::Commit(bool flush) {
  if (unnamed_.get() >= 0) {
    CommitUnnamed(flush);
    return;
  }
  if (!temp_) {
    if (const int error = direct_.close(); error != 0) Fail(Step::kWriteTarget, target_, error);
    return;
  }
  if (original_fd_ >= 0) temp_->KeepMetadataOf(original_fd_, target_);
  temp_->CommitAs(final_path_, flush, target_);
}

void Output::CommitUnnamed(bool flush) {
  if (flush && ::fsync(unnamed_.get()) != 0) Fail(Step::kWriteTarget, target_, errno);
  if (LinkUnnamed(unnamed_.get(), target_) == 0) {
    // Named and complete, unless closing reports a late write error.
    if (const int error = unnamed_.close(); error != 0) {
      ::unlink(target_.c_str());
      Fail(Step::kWriteTarget, target_, error);
    }
    return;
  }
  // The name was taken meanwhile, or the file cannot be named: the bytes go
  // the usual way, so that what is there now is treated as it always is.
  OutputOptions usual = options_;
  usual.new_in_made_folder = false;
  Output named(target_, usual);
  if (const int error = CopyAll(unnamed_.get(), named.fd()); error != 0) {
    Fail(Step::kWriteTarget, target_, error);
  }
  unnamed_.reset();
  named.Commit(flush);
}

}  // namespace fileio

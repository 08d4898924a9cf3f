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

#include "fileio/io_buffer.h"
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
    // No link any more (EINVAL) or none at all: it changed since the look above.
    if (n < 0 && (errno == EINVAL || errno == ENOENT)) {
      throw FileError(Step::kRefuseTarget, target, ESTALE, "it was replaced while the run went on");
    }
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

// Gives the unnamed file open at fd the name `name` in the folder open at
// folder. Returns 0 or the errno.
int LinkUnnamed(int fd, int folder, const std::string& name) {
  const bool by_descriptor = link_by_descriptor.load(std::memory_order_relaxed);
  if (by_descriptor) {
    if (::linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
    if (errno != ENOENT && errno != EPERM) return errno;
  }
  std::array<char, 32> proc{};
  std::snprintf(proc.data(), proc.size(), "/proc/self/fd/%d", fd);
  if (::linkat(AT_FDCWD, proc.data(), folder, name.c_str(), AT_SYMLINK_FOLLOW) != 0) return errno;
  if (by_descriptor) link_by_descriptor.store(false, std::memory_order_relaxed);
  return 0;
}

// What the copies below move at a time.
constexpr std::size_t kCopyChunk = 65536;

// Copies the first `size` bytes of the file open at from to to. Returns 0 or
// the errno.
int CopyStart(int from, int to, std::uint64_t size) {
  const IoBuffer buffer(kCopyChunk);
  std::uint64_t offset = 0;
  while (offset < size) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(kCopyChunk, size - offset));
    const std::int64_t got =
        ReadFullyAt(from, buffer.get(), want, static_cast<std::int64_t>(offset));
    if (got < 0) return errno;
    if (got == 0) return EIO;  // shorter than it was a moment ago
    if (const int error = WriteAll(to, buffer.get(), static_cast<std::size_t>(got)); error != 0) {
      return error;
    }
    offset += static_cast<std::uint64_t>(got);
  }
  return 0;
}

// Copies the file open at from, from its start, to to. Returns 0 or the errno.
int CopyAll(int from, int to) {
  const IoBuffer buffer(kCopyChunk);
  std::int64_t offset = 0;
  for (;;) {
    const std::int64_t got = ReadFullyAt(from, buffer.get(), kCopyChunk, offset);
    if (got < 0) return errno;
    if (got == 0) return 0;
    if (const int error = WriteAll(to, buffer.get(), static_cast<std::size_t>(got)); error != 0) {
      return error;
    }
    offset += got;
  }
}

// Whether the n bytes at data equal the file open at fd from offset on.
bool SameBytes(int fd, std::uint64_t offset, const char* data, std::size_t n) {
  constexpr std::size_t kChunk = 65536;
  thread_local const IoBuffer buffer(kChunk);
  while (n > 0) {
    const std::size_t want = std::min(n, kChunk);
    const std::int64_t got = ReadFullyAt(fd, buffer.get(), want, static_cast<std::int64_t>(offset));
    if (got != static_cast<std::int64_t>(want) || std::memcmp(buffer.get(), data, want) != 0) {
      return false;
    }
    data += want;
    offset += want;
    n -= want;
  }
  return true;
}

bool SameTimes(const struct stat& st, const FileTimes& times) {
  return st.st_atim.tv_sec == times.access.seconds &&
         st.st_atim.tv_nsec == times.access.nanoseconds &&
         st.st_mtim.tv_sec == times.modification.seconds &&
         st.st_mtim.tv_nsec == times.modification.nanoseconds;
}

int SetTimes(int fd, const FileTimes& times) {
  const struct timespec at[2] = {
      {static_cast<time_t>(times.access.seconds), static_cast<long>(times.access.nanoseconds)},
      {static_cast<time_t>(times.modification.seconds),
       static_cast<long>(times.modification.nanoseconds)}};
  return ::futimens(fd, at) == 0 ? 0 : errno;
}

}  // namespace

// A new file in a held folder, named ".NAME.brevio-XXXXXX" (or as the
// TempName says) beside its target, removed again unless committed. While
// it exists its name is on the list that the signal handlers clear.
class TempFile {
 public:
  // Throws kCreateTemp naming folder_path.
  TempFile(int folder, const std::string& folder_path, std::string_view target_name,
           const TempName& name, mode_t mode)
      : folder_(folder) {
    std::string_view base = target_name;
    if (base.size() > 200) base = base.substr(0, 200);  // leave room under NAME_MAX
    for (int attempt = 0;; ++attempt) {
      std::string temp;
      temp += name.before;
      temp += base;
      temp += name.after;
      temp += RandomSuffix();
      // Listed before it exists: a signal right after the creation must
      // already find it.
      slot_ = detail::ListTemp(folder, temp.c_str());
      const int fd = ::openat(folder, temp.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
      if (fd >= 0) {
        name_ = std::move(temp);
        fd_.reset(fd);
        return;
      }
      const int error = errno;
      detail::UnlistTemp(std::exchange(slot_, -1));
      if (error != EEXIST || attempt >= 100) Fail(Step::kCreateTemp, folder_path, error);
    }
  }

  ~TempFile() {
    if (!committed_) {
      fd_.close();
      ::unlinkat(folder_, name_.c_str(), 0);
    }
    detail::UnlistTemp(slot_);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_.get(); }

  // Gives the temporary file the owner, group, mode bits (setuid, setgid and
  // sticky included), ACLs and extended attributes of the open original.
  // What the file system does not support is skipped; any other failure
  // throws kKeepMetadata naming target.
  void KeepMetadataOf(int original_fd, const std::string& target) {
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
    ::perm_copy_fd(target.c_str(), original_fd, name_.c_str(), fd, &errors.context);
    ::attr_copy_fd(target.c_str(), original_fd, name_.c_str(), fd, CopyAttribute, &errors.context);
    if (errors.error != 0) Fail(Step::kKeepMetadata, target, errors.error);
    // Last, for the setuid, setgid and sticky bits that neither chown nor the
    // ACL keeps; with an ACL the group bits are its mask, which this rewrites
    // unchanged.
    if (::fchmod(fd, st.st_mode & 07777) != 0 && !NotSupported(errno)) {
      Fail(Step::kKeepMetadata, target, errno);
    }
  }

  // Flushes to the disk when asked, closes and renames the file to
  // final_name in its folder. Throws kWriteTarget or kReplace naming target.
  void CommitAs(const std::string& final_name, bool flush, const std::string& target) {
    if (flush && ::fsync(fd_.get()) != 0) Fail(Step::kWriteTarget, target, errno);
    if (const int error = fd_.close(); error != 0) Fail(Step::kWriteTarget, target, error);
    if (::renameat(folder_, name_.c_str(), folder_, final_name.c_str()) != 0) {
      Fail(Step::kReplace, target, errno);
    }
    committed_ = true;
  }

 private:
  int folder_;  // the Output's, open while this lives
  std::string name_;
  Fd fd_;
  int slot_ = -1;  // place on the signal list, -1 when not listed
  bool committed_ = false;
};

Output::Output(const std::string& target, const OutputOptions& options)
    : target_(target), options_(options), original_fd_(options.original_fd) {
  std::string folder_path;
  if (options.folder_fd >= 0) {
    folder_path = FolderOf(target);
    folder_.reset(::fcntl(options.folder_fd, F_DUPFD_CLOEXEC, 3));
    if (folder_.get() < 0) Fail(Step::kCreateTemp, folder_path, errno);
    name_ = options.name;
  } else {
    const Examined found =
        options.new_in_made_folder && !options.in_place ? Examined{} : Examine(target);
    if (found.dangling && !options.write_through_dangling_links) {
      throw FileError(Step::kRefuseTarget, target, ENOENT, "dangling symbolic link");
    }
    // A descriptor's own file (/dev/stdout) is written into as cp does.
    if (found.through_proc && !options.in_place && found.exists && !S_ISDIR(found.st.st_mode)) {
      const int flags = O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY;
      direct_.reset(::open(target.c_str(), options.non_blocking ? flags | O_NONBLOCK : flags));
      if (direct_.get() < 0) Fail(Step::kOpenTarget, target, errno);
      return;
    }
    const std::string& final_path = found.exists || found.dangling ? found.final_path : target;
    folder_path = FolderOf(final_path);
    name_ = NameOf(final_path);
    // A missing folder is reported as the temporary file's creation.
    folder_.reset(::open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder_.get() < 0) Fail(Step::kCreateTemp, folder_path, errno);
  }
  folder_path_ = std::move(folder_path);

  if (options.new_in_made_folder && !options.in_place) {
    // Any failure here (no unnamed files on this file system) is left to the
    // usual way, which words it as it always does.
    unnamed_.reset(::openat(folder_.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, options.new_mode));
    if (unnamed_.get() >= 0) return;
  }

  struct stat st {};
  const bool exists = ::fstatat(folder_.get(), name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (!exists && errno != ENOENT) Fail(Step::kExamine, target, errno);
  // The name is looked at in the held folder only: a link there now was put
  // there meanwhile, or lies in a folder whose links are not followed.
  if (exists && S_ISLNK(st.st_mode)) Fail(Step::kRefuseTarget, target, ELOOP);
  if (exists && S_ISDIR(st.st_mode)) Fail(Step::kRefuseTarget, target, EISDIR);

  // A FIFO, device or socket is written into as cp does: replacing it would
  // put a plain file where the reader waits.
  if (exists && !S_ISREG(st.st_mode)) {
    const int flags = O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW;
    direct_.reset(
        ::openat(folder_.get(), name_.c_str(), options.non_blocking ? flags | O_NONBLOCK : flags));
    if (direct_.get() < 0) Fail(Step::kOpenTarget, target, errno);
    return;
  }

  // In place replaces only the file that was read: another one swapped in
  // at the name since (a link's target, say) is not written over.
  struct stat read {};
  if (exists && original_fd_ >= 0 &&
      (::fstat(original_fd_, &read) != 0 || read.st_dev != st.st_dev || read.st_ino != st.st_ino)) {
    throw FileError(Step::kRefuseTarget, target, ESTALE, "it was replaced while the run went on");
  }
  original_exists_ = exists;
  bool readable = original_fd_ >= 0;  // the caller's own input, open for reading
  if (exists) {
    if (!options.in_place &&
        ::faccessat(folder_.get(), name_.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0) {
      Fail(Step::kOpenTarget, target, errno);
    }
    if (original_fd_ < 0) {
      // For its metadata and to compare; reading or writing, whichever is allowed.
      constexpr int kLook = O_NONBLOCK | O_NOCTTY | O_CLOEXEC | O_NOFOLLOW;
      original_.reset(::openat(folder_.get(), name_.c_str(), O_RDONLY | kLook));
      readable = original_.get() >= 0;
      if (original_.get() < 0 && errno == EACCES) {
        original_.reset(::openat(folder_.get(), name_.c_str(), O_WRONLY | kLook));
      }
      if (original_.get() < 0) Fail(Step::kOpenTarget, target, errno);
      original_fd_ = original_.get();
    }
    if (options.keep_unchanged && readable) {
      comparing_ = true;
      original_size_ = static_cast<std::uint64_t>(st.st_size);
      return;
    }
  }
  Open();
}

Output::~Output() = default;
Output::Output(Output&&) noexcept = default;

int Output::fd() const {
  if (unnamed_.get() >= 0) return unnamed_.get();
  return temp_ ? temp_->fd() : direct_.get();
}

void Output::Open() {
  // Private until it carries the target's owner and permissions.
  temp_ = std::make_unique<TempFile>(folder_.get(), folder_path_, name_, options_.temp_name,
                                     original_exists_ ? 0600 : options_.new_mode);
}

int Output::StopComparing() {
  comparing_ = false;
  try {
    Open();
  } catch (...) {
    failed_ = std::current_exception();
    return EIO;
  }
  return CopyStart(original_fd_, fd(), compared_);
}

int Output::Write(const char* data, std::size_t n) {
  if (failed_) return EIO;
  if (comparing_) {
    if (compared_ + n <= original_size_ && SameBytes(original_fd_, compared_, data, n)) {
      compared_ += n;
      return 0;
    }
    if (const int error = StopComparing(); error != 0) return error;
  }
  return WriteAll(fd(), data, n);
}

void Output::Commit(bool flush) {
  if (failed_) std::rethrow_exception(failed_);
  if (comparing_) {
    struct stat now {};
    if (compared_ == original_size_ && ::fstat(original_fd_, &now) == 0 &&
        static_cast<std::uint64_t>(now.st_size) == original_size_) {
      unchanged_ = true;
      // The bytes stay; times asked for still reach a copy whose own differ,
      // as cp -p would leave them (in place, the times are the file's own).
      if (options_.times && !options_.in_place && !SameTimes(now, *options_.times)) {
        if (const int error = SetTimes(original_fd_, *options_.times); error != 0) {
          Fail(Step::kKeepMetadata, target_, error);
        }
      }
      return;
    }
    if (const int error = StopComparing(); error != 0) {
      if (failed_) std::rethrow_exception(failed_);
      Fail(Step::kWriteTarget, target_, error);
    }
  }
  if (direct()) {
    if (const int error = direct_.close(); error != 0) Fail(Step::kWriteTarget, target_, error);
    return;
  }
  if (unnamed_.get() >= 0) {
    CommitUnnamed(flush);
    return;
  }
  CommitTemp(flush);
}

void Output::CommitTemp(bool flush) {
  if (original_fd_ >= 0 && original_exists_) temp_->KeepMetadataOf(original_fd_, target_);
  if (options_.times) {
    if (const int error = SetTimes(temp_->fd(), *options_.times); error != 0) {
      Fail(Step::kKeepMetadata, target_, error);
    }
  }
  temp_->CommitAs(name_, flush, target_);
}

void Output::CommitUnnamed(bool flush) {
  if (options_.times) {
    if (const int error = SetTimes(unnamed_.get(), *options_.times); error != 0) {
      Fail(Step::kKeepMetadata, target_, error);
    }
  }
  if (flush && ::fsync(unnamed_.get()) != 0) Fail(Step::kWriteTarget, target_, errno);
  if (LinkUnnamed(unnamed_.get(), folder_.get(), name_) == 0) {
    // Named and complete, unless closing reports a late write error.
    if (const int error = unnamed_.close(); error != 0) {
      ::unlinkat(folder_.get(), name_.c_str(), 0);
      Fail(Step::kWriteTarget, target_, error);
    }
    return;
  }
  // The name was taken meanwhile, or the file cannot be named: the bytes go
  // the usual way, so that what is there now is treated as it always is.
  OutputOptions usual = options_;
  usual.new_in_made_folder = false;
  usual.keep_unchanged = false;
  usual.folder_fd = folder_.get();
  usual.name = name_;
  Output named(target_, usual);
  if (const int error = CopyAll(unnamed_.get(), named.fd()); error != 0) {
    Fail(Step::kWriteTarget, target_, error);
  }
  unnamed_.reset();
  named.Commit(flush);
}

}  // namespace fileio

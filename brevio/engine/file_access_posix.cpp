#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "file_access.h"
#include "fileio/file_error.h"

namespace brevio {

std::optional<FileId> FileIdOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{st.st_dev, st.st_ino};
}

namespace detail {

namespace {

[[noreturn]] void Fail(fileio::Step step, const std::string& path, int error) {
  throw fileio::FileError(step, path, error);
}

// The source's kind as the codes report it: kTrimDone for a regular file,
// kTrimSourceNotFound for nothing there or anything else. A link where a
// walk follows none is refused; other failures throw.
std::int32_t ExamineSource(const std::string& source, bool follow_links, struct stat& st) {
  const int examined = follow_links ? ::stat(source.c_str(), &st) : ::lstat(source.c_str(), &st);
  if (examined == 0 && S_ISLNK(st.st_mode)) Fail(fileio::Step::kOpenSource, source, ELOOP);
  if (examined != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return kTrimSourceNotFound;
    Fail(fileio::Step::kExamine, source, errno);
  }
  return S_ISREG(st.st_mode) ? kTrimDone : kTrimSourceNotFound;
}

}  // namespace

OpenSource OpenSourceFile(const std::string& source, bool follow_links, bool listed_regular) {
  OpenSource opened;
  struct stat st {};
  if (!listed_regular && ExamineSource(source, follow_links, st) != kTrimDone) return opened;
  // Opened and checked again: it may have been replaced since it was
  // examined or listed. O_NONBLOCK: should a FIFO take the file's place
  // after the check, the open must not hang; it has no effect on regular
  // files.
  const int no_follow = follow_links ? 0 : O_NOFOLLOW;
  fileio::Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | no_follow));
  if (in.get() < 0) {
    const int error = errno;
    if (listed_regular && ExamineSource(source, follow_links, st) != kTrimDone) return opened;
    Fail(fileio::Step::kOpenSource, source, error);
  }
  if (::fstat(in.get(), &st) != 0) Fail(fileio::Step::kExamine, source, errno);
  if (!S_ISREG(st.st_mode)) return opened;
  opened.result = kTrimDone;
  opened.fd = std::move(in);
  opened.size = static_cast<std::uint64_t>(st.st_size);
  opened.id = {st.st_dev, st.st_ino};
  opened.permissions = st.st_mode & 0777;
  return opened;
}

void AdviseSequential(int fd) { ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL); }

fileio::Output OpenTargetFile(const std::string& source, const std::string& target,
                              const OpenSource& in, const TrimOptions& options, bool& in_place) {
  // The same file under another name (a link, "./", a hard link) is
  // trimmed in place too: its descriptor lends the metadata.
  in_place = source == target || (!options.target_folder_made && FileIdOf(target) == in.id);
  if (!options.follow_links && source == target) {
    struct stat now {};
    if (::lstat(target.c_str(), &now) == 0 && S_ISLNK(now.st_mode)) {
      Fail(fileio::Step::kRefuseTarget, target, ELOOP);
    }
  }
  fileio::OutputOptions output_options;
  output_options.in_place = in_place;
  output_options.original_fd = in_place ? in.fd.get() : -1;
  output_options.write_through_dangling_links = options.write_through_dangling_links;
  output_options.new_in_made_folder = options.target_folder_made;
  // A new copy is no more open than its source, less the umask, as with cp.
  output_options.new_mode = in.permissions;
  return fileio::Output(target, output_options);
}

}  // namespace detail

}  // namespace brevio

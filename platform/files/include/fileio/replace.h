#pragma once
// One way to write a file that someone else may be reading, used by every
// writer: the new bytes go to a temporary file beside the target, which takes
// on the target's owner, group, mode, ACLs and extended attributes and is
// renamed over it only when complete. A target that is not a regular file (a
// FIFO, a device, a descriptor's own file under /proc) is written into
// instead, never replaced. Every failure throws FileError.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "fileio/file_error.h"
#include "fileio/path.h"

namespace fileio {

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd();
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept;
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  int get() const { return fd_; }
  void reset(int fd = -1);
  int release();
  // Closes now and returns the error close gives, or 0 (late write errors of
  // network and quota-limited file systems show up here).
  int close();

 private:
  int fd_;
};

// Writes all n bytes, retrying after signals. Returns 0 or the errno.
int WriteAll(int fd, const char* data, std::size_t n);
inline int WriteAll(int fd, std::string_view bytes) {
  return WriteAll(fd, bytes.data(), bytes.size());
}

// Reads up to n bytes at offset without moving the file offset, as many as
// there are before the end, retrying after signals. Returns the count read,
// or -1 with errno set.
std::int64_t ReadFullyAt(int fd, char* data, std::size_t n, std::int64_t offset);

// Reads the whole file from offset 0 into out. Returns 0 or the errno.
int ReadAll(int fd, std::string& out);

// A temporary file's name is before + NAME + after + six random characters,
// in the target's folder: ".NAME.brevio-XXXXXX" is {".", ".brevio-"}.
struct TempName {
  std::string_view before;
  std::string_view after;
};

class TempFile;  // a new file beside a target, removed again unless committed

// A moment as the system keeps file times: seconds and nanoseconds since
// 1970 (UTC).
struct FileTime {
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;
};

struct FileTimes {
  FileTime access;
  FileTime modification;
};

// Writes bytes over the file at path through a temporary file named by name,
// flushed before the rename. An existing file lends its metadata; a new one
// gets new_mode less the umask. A FIFO or device there is written into
// without waiting (settings files must never hang their program).
void ReplaceContents(const std::string& path, std::string_view bytes, const TempName& name,
                     mode_t new_mode = 0666);

struct OutputOptions {
  TempName temp_name{".", ".brevio-"};
  // The target is the caller's own input: it is always replaced (never
  // written into) and needs no write permission of its own, as with sed -i.
  bool in_place = false;
  // An open descriptor of the target when the caller holds one (in place).
  int original_fd = -1;
  // A symbolic link to nothing is refused unless this is set; then the file
  // it names is created.
  bool write_through_dangling_links = false;
  // Bits of a new target, less the umask.
  mode_t new_mode = 0666;
  // The target is `name` in the folder open at folder_fd (the caller keeps
  // it open while the Output lives), not a path to look up: the bytes land
  // in that very folder, whatever happens meanwhile to the path that led
  // there, and a symbolic link at `name` is refused (ELOOP), never followed.
  // The target passed to Output is then only the path that messages name.
  // POSIX only.
  int folder_fd = -1;
  std::string name;
  // Bytes that equal what an existing target holds already are only
  // compared, not written: the temporary file is made at the first byte
  // that differs, and a target that would not change is left alone (same
  // file, same times). Use Write, not fd(), with this.
  bool keep_unchanged = false;
  // Access and modification times for the written file, as cp -p sets them;
  // also for a target left alone by keep_unchanged (not in place).
  std::optional<FileTimes> times;
  // A FIFO or device is opened without waiting for its other side.
  bool non_blocking = false;
  // The target's folder was made by this run and nothing has been written
  // under the target's name: it is not looked up, and the bytes go to an
  // unnamed file in that folder that gets the name only when complete (a
  // crash leaves no file to clean up). Should the name be taken after all,
  // or the system have no unnamed files, the usual way is taken instead.
  bool new_in_made_folder = false;
};

// Where a writer puts the bytes for one target: decided from what is at the
// target's path.
class Output {
 public:
  // Throws kExamine, kRefuseTarget (a folder, a link loop, a dangling link,
  // a link where folder_fd names the folder), kOpenTarget (an existing
  // target the user may not write, a special file that refuses) or
  // kCreateTemp.
  Output(const std::string& target, const OutputOptions& options);
  ~Output();
  Output(Output&&) noexcept;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  Output& operator=(Output&&) = delete;

  // Where the bytes go; not with keep_unchanged (see Write).
  int fd() const;
  // True when the bytes go straight into the target (not a regular file).
  bool direct() const { return direct_.get() >= 0; }

  // Takes the next n bytes of the new content. Returns 0 or an errno; when
  // the temporary file could not be made on the way, Commit throws that
  // failure as it would have been thrown at the start.
  int Write(const char* data, std::size_t n);

  // Throws the failure that made Write return an error, when it was the
  // temporary file's creation (kCreateTemp and the like); else nothing.
  void RethrowFailure() const {
    if (failed_) std::rethrow_exception(failed_);
  }

  // Makes the written bytes the target's. flush forces them to the disk
  // before a replacement. Throws like the constructor (kCreateTemp),
  // kWriteTarget, kKeepMetadata or kReplace. Without a commit the target is
  // left as it was (a direct target keeps what was written).
  void Commit(bool flush);

  // After Commit: the target held these bytes already and was left alone.
  bool unchanged() const { return unchanged_; }

 private:
  void Open();  // makes the place the bytes go (temporary or unnamed file)
  void CommitTemp(bool flush);
  void CommitUnnamed(bool flush);
  int StopComparing();  // the bytes differ: the place is made, the equal start copied

  std::string target_;
  OutputOptions options_;
  Fd folder_;                // the target's folder, held (POSIX)
  std::string folder_path_;  // its path, for messages
  std::string name_;         // the target's name in it
  Fd original_;              // the existing regular target, for its metadata
  bool original_exists_ = false;
  Fd direct_;
  std::unique_ptr<TempFile> temp_;
  Fd unnamed_;  // with new_in_made_folder, when the system has unnamed files
#if !defined(_WIN32)
  int original_fd_ = -1;
  // keep_unchanged: comparing with original_fd_, compared_ bytes equal so far
  // (Windows rewrites unchanged targets).
  bool comparing_ = false;
  std::uint64_t original_size_ = 0;
  std::uint64_t compared_ = 0;
#endif
  std::exception_ptr failed_;  // a failure of Write's, thrown by Commit
  bool unchanged_ = false;
};

// Installs handlers for SIGINT, SIGTERM, SIGHUP and SIGPIPE (where they are
// not ignored) that remove every live temporary file, then end the process
// by the same signal. A handler that was installed before is called after
// the removal instead.
void RemoveTempFilesOnSignals();

}  // namespace fileio

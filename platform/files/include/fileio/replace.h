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

// A new file beside a target, removed again unless committed. While it
// exists its name is on the process-wide list that the signal handlers of
// RemoveTempFilesOnSignals clear.
class TempFile {
 public:
  // Creates the file next to final_path with mode (less the umask).
  // Throws kCreateTemp naming the folder.
  TempFile(const std::string& final_path, const TempName& name, mode_t mode);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_.get(); }
  const std::string& path() const { return path_; }

  // Gives the temporary file the owner, group, mode bits (setuid, setgid and
  // sticky included), ACLs and extended attributes of the open original.
  // What the file system does not support is skipped; any other failure
  // throws kKeepMetadata naming target.
  void KeepMetadataOf(int original_fd, const std::string& target);

  // Flushes to the disk when asked, closes and renames the file to
  // final_path. Throws kWriteTarget or kReplace naming target.
  void CommitAs(const std::string& final_path, bool flush, const std::string& target);

 private:
  std::string path_;
  Fd fd_;
  int slot_ = -1;  // place on the signal list, -1 when not listed
  bool committed_ = false;
};

// Writes bytes over the file at path through a TempFile named by name,
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
  // Throws kExamine, kRefuseTarget (a folder, a link loop, a dangling link),
  // kOpenTarget (an existing target the user may not write, a special file
  // that refuses) or kCreateTemp.
  Output(const std::string& target, const OutputOptions& options);

  int fd() const {
    if (unnamed_.get() >= 0) return unnamed_.get();
    return temp_ ? temp_->fd() : direct_.get();
  }
  // True when the bytes go straight into the target (not a regular file).
  bool direct() const { return !temp_.has_value() && unnamed_.get() < 0; }

  // Makes the written bytes the target's. flush forces them to the disk
  // before a replacement. Throws like TempFile::CommitAs, or kWriteTarget
  // when closing a direct target fails. Without a commit the target is
  // left as it was (a direct target keeps what was written).
  void Commit(bool flush);

 private:
  void CommitUnnamed(bool flush);

  std::string target_;
  OutputOptions options_;
  std::string final_path_;
  Fd original_;  // the existing regular target, for its metadata
  int original_fd_ = -1;
  Fd direct_;
  std::optional<TempFile> temp_;
  Fd unnamed_;  // with new_in_made_folder, when the system has unnamed files
};

// Installs handlers for SIGINT, SIGTERM, SIGHUP and SIGPIPE (where they are
// not ignored) that remove every live temporary file, then end the process
// by the same signal. A handler that was installed before is called after
// the removal instead.
void RemoveTempFilesOnSignals();

}  // namespace fileio

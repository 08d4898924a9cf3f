#pragma once
// The system calls of a file trim, one implementation per system
// (file_access_posix.cpp, file_access_win.cpp); the reading, cleaning and
// writing around them are shared.

#include <cstdint>
#include <memory>
#include <string>

#include "brevio/engine/batch.h"
#include "brevio/engine/file_trim.h"
#include "fileio/replace.h"

namespace brevio::detail {

struct OpenSource {
  // kTrimSourceNotFound when there is no regular file at the path (then fd
  // is invalid), else kTrimDone.
  std::int32_t result = kTrimSourceNotFound;
  fileio::Fd fd;
  std::uint64_t size = 0;
  FileId id;
  unsigned permissions = 0666;  // a new copy's permission bits, less the umask
  fileio::FileTimes times;      // its access and modification times
};

// Examines the source and opens it for reading, checking again what was
// opened. A source a folder listing showed as a regular file is opened
// without the look-up first (looked up only when the open fails, so that the
// failure is told as it would have been). A link where follow_links is false
// is refused (kOpenSource, ELOOP); other failures throw FileError.
// A source at a held name (at.folders set) is opened in that folder only.
OpenSource OpenSourceFile(const std::string& source, bool follow_links, bool listed_regular,
                          const HeldName& at);

// Tells the system that the whole file is read from start to end.
void AdviseSequential(int fd);

// Where the output goes: a temporary file beside the target, or the target
// itself when it is no regular file. in_place tells whether the target is
// the source (the same path, or another name of the same file). A target in
// a folder the run made (options.target_folder_made) is not looked up.
fileio::Output OpenTargetFile(const std::string& source, const std::string& target,
                              const OpenSource& in, const TrimOptions& options, bool& in_place);

// How many trims may run at once within the descriptors the process may
// still open (each holds a few), at least one.
unsigned TrimsWithinDescriptorLimit();

// The folders below a run's output folder, made as the run needs them, a
// level at a time so that it knows which folders it made: those hold
// nothing the run did not put there. Thread-safe.
class OutputFolders {
 public:
  // root_made: the caller made root for this run.
  OutputFolders(std::string root, bool root_made);
  ~OutputFolders();
  OutputFolders(const OutputFolders&) = delete;
  OutputFolders& operator=(const OutputFolders&) = delete;

  // Makes the folders that target (a path below the root) lies in, where
  // missing, and says where the target goes: a held name where the system
  // holds folders, else none (the path). made_folder: this run made the
  // target's folder. Throws fileio::FileError; a folder that could not be
  // made fails every target in it the same way.
  HeldName Place(const std::string& target, bool& made_folder);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace brevio::detail

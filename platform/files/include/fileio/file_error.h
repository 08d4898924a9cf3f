#pragma once
// What every file writer throws when a step on a file fails: the step, the
// path it failed on and the system's error number, so that each front end
// (the command line, the window) can word it for its readers.

#include <string>
#include <string_view>
#include <system_error>

namespace fileio {

enum class Step : int {
  kExamine,        // "cannot examine PATH"
  kOpenSource,     // "cannot open PATH"
  kReadSource,     // "cannot read PATH"
  kOpenTarget,     // "cannot open PATH for writing" (no write permission, a device that refuses)
  kCreateTemp,     // "cannot create a temporary file in FOLDER" (path is the folder)
  kWriteTarget,    // "cannot write PATH"
  kKeepMetadata,   // "cannot keep the owner, permissions or attributes of PATH"
  kReplace,        // "cannot replace PATH"
  kMakeFolder,     // "cannot create the folder PATH"
  kRefuseTarget,   // "will not write to PATH": EISDIR a folder, ELOOP a link loop,
                   // ENOENT a dangling symbolic link
  kOpenFolder,     // "cannot open the folder PATH"
  kFolderChanged,  // "will not go into PATH": a folder replaced since it was
                   // listed or made (by another folder or a symbolic link)
};

// The words in front of the path, as in the comments above.
std::string_view StepPhrase(Step step);

class FileError : public std::system_error {
 public:
  // what(): "PHRASE PATH: REASON", e.g.
  // "cannot create a temporary file in rodir: Permission denied".
  FileError(Step step, std::string path, int error);
  // The same with the reason in plain words instead of the system's text for
  // error, e.g. "dangling symbolic link" for ENOENT.
  FileError(Step step, std::string path, int error, std::string_view reason);

  Step step() const { return step_; }
  const std::string& path() const { return path_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  Step step_;
  std::string path_;
  std::string what_;
};

}  // namespace fileio

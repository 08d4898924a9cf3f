#include "fileio/file_error.h"

namespace fileio {

std::string_view StepPhrase(Step step) {
  switch (step) {
    case Step::kExamine:
      return "cannot examine";
    case Step::kOpenSource:
      return "cannot open";
    case Step::kReadSource:
      return "cannot read";
    case Step::kOpenTarget:
      return "cannot open";  // the path is followed by " for writing"
    case Step::kCreateTemp:
      return "cannot create a temporary file in";
    case Step::kWriteTarget:
      return "cannot write";
    case Step::kKeepMetadata:
      return "cannot keep the owner, permissions or attributes of";
    case Step::kReplace:
      return "cannot replace";
    case Step::kMakeFolder:
      return "cannot create the folder";
    case Step::kRefuseTarget:
      return "will not write to";
    case Step::kOpenFolder:
      return "cannot open the folder";
    case Step::kFolderChanged:
      return "will not go into";
  }
  return "cannot use";
}

namespace {

std::string Message(Step step, const std::string& path, std::string_view reason) {
  std::string text(StepPhrase(step));
  text += ' ';
  text += path;
  if (step == Step::kOpenTarget) text += " for writing";
  text += ": ";
  text += reason;
  return text;
}

}  // namespace

// error is an errno value on every system: its words are the C library's
// (Windows' system category would read it as a Windows error code).
FileError::FileError(Step step, std::string path, int error)
    : FileError(step, std::move(path), error, std::generic_category().message(error)) {}

FileError::FileError(Step step, std::string path, int error, std::string_view reason)
    : std::system_error(error, std::system_category()),
      step_(step),
      path_(std::move(path)),
      what_(Message(step_, path_, reason)) {}

}  // namespace fileio

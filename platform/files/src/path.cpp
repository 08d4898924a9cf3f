#include "fileio/path.h"

namespace fileio {

namespace {

constexpr std::size_t npos = std::string_view::npos;

std::size_t LastSeparator(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return i - 1;
  }
  return npos;
}

// "C:" and "C:\" (the first `length` bytes of path) name a drive, not a
// file in a folder.
bool IsDriveRoot(std::string_view path, std::size_t length) {
  return kDriveLetters && length >= 2 && path.size() >= length && path[1] == ':' &&
         (length == 2 || (length == 3 && IsSeparator(path[2])));
}

}  // namespace

std::string FolderOf(std::string_view path) {
  const std::size_t at = LastSeparator(path);
  if (at == npos) {
    return IsDriveRoot(path, 2) && path.size() > 2 ? std::string(path.substr(0, 2)) : ".";
  }
  if (at == 0 || IsDriveRoot(path, at + 1)) return std::string(path.substr(0, at + 1));
  return std::string(path.substr(0, at));
}

std::string NameOf(std::string_view path) {
  std::size_t at = LastSeparator(path);
  if (at == npos && IsDriveRoot(path, 2) && path.size() > 2) at = 1;
  return std::string(at == npos ? path : path.substr(at + 1));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string joined(folder);
  if (!folder.empty() && !IsSeparator(folder.back()) && !IsDriveRoot(folder, folder.size())) {
    joined += kSeparator;
  }
  joined += name;
  return joined;
}

}  // namespace fileio

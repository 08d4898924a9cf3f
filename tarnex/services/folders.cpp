#include "tarnex/services/folders.h"

#include <sys/stat.h>

#include <cerrno>

#include "levels.h"

namespace tarnex {
namespace {

// The level exists as a folder afterwards (made now or already there).
bool EnsureFolder(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (errno != ENOENT) return false;
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  // Someone else may have made it in the meantime.
  return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool MakeDirLevels(const std::string& dir_in) {
  // The file system sees the text up to its first NUL.
  const std::string dir = dir_in.substr(0, dir_in.find('\0'));
  // An absolute path keeps its root. (The Windows rule drops empty pieces and
  // with them a leading separator, which there means "the current drive";
  // on Linux it means the root, and dropping it would build the tree under
  // the current folder instead.)
  return EnsureLevels(dir, '/', !dir.empty() && dir.front() == '/' ? "/" : "", 0, EnsureFolder);
}

}  // namespace tarnex

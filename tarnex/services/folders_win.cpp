// Folder levels with the platform's 8-bit calls: a level exists when a search
// for "nul" inside it finds the device name (it answers inside every existing
// folder), and is made with CreateDirectoryA.
#include <windows.h>

#include <string_view>

#include "ansi_win.h"
#include "levels.h"
#include "tarnex/services/folders.h"

namespace tarnex {
namespace {

bool Exists(const std::string& level) {
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA((level + "nul").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

// The level is a folder afterwards (made now or already there).
bool EnsureFolder(const std::string& level) {
  if (Exists(level) || CreateDirectoryA(level.c_str(), nullptr)) return true;
  // Someone else may have made it in the meantime.
  if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  const DWORD attributes = GetFileAttributesA(level.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool MakeDirLevels(const std::string& dir_utf8) {
  // The 8-bit calls see the text up to its first NUL.
  const std::string full = win::Ansi(dir_utf8);
  const std::string dir = full.substr(0, full.find('\0'));
  // A leading "\" (the current drive's root) or "\\" (a share) is kept, as
  // the Linux build keeps its root: dropped with the empty pieces, it would
  // build the tree under the current folder instead.
  const std::string root = dir.starts_with("\\\\") ? "\\\\" : dir.starts_with('\\') ? "\\" : "";
  // A share's server and name are a root of their own, never made.
  return EnsureLevels(dir, '\\', root, root.size() == 2 ? 2 : 0, EnsureFolder);
}

}  // namespace tarnex

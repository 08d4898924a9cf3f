// Folder levels with the platform's wide calls, which take each name as
// given: a level exists when a search for "nul" inside it finds the device
// name (it answers inside every existing folder), and is made with
// CreateDirectoryW.
#include <comrt_text.h>
#include <windows.h>

#include <string_view>

#include "ansi_win.h"
#include "levels.h"
#include "tarnex/services/folders.h"

namespace tarnex {
namespace {

bool Exists(const std::wstring& level) {
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((level + L"nul").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

// The level is a folder afterwards (made now or already there).
bool EnsureFolder(const std::string& level_utf8) {
  const std::wstring level = win::Wide(level_utf8);
  if (Exists(level) || CreateDirectoryW(level.c_str(), nullptr)) return true;
  // Someone else may have made it in the meantime.
  if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  const DWORD attributes = GetFileAttributesW(level.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool MakeDirLevels(const std::string& dir_utf8) {
  // The platform sees the text up to its first NUL. The levels are found in
  // UTF-8, where a '\\' byte is always the separator (in a double-byte code
  // page it may be the second half of a character).
  const std::string_view dir = comrt::ascii::UpToNul(dir_utf8);
  if (win::Wide(dir).size() > win::kMaxText) return false;
  // A leading "\" (the current drive's root) or "\\" (a share) is kept, as
  // the Linux build keeps its root: dropped with the empty pieces, it would
  // build the tree under the current folder instead.
  const std::string root = dir.starts_with("\\\\") ? "\\\\" : dir.starts_with('\\') ? "\\" : "";
  // A share's server and name are a root of their own, never made.
  return EnsureLevels(dir, '\\', root, root.size() == 2 ? 2 : 0, EnsureFolder);
}

}  // namespace tarnex

#pragma once
#include <string>

namespace tarnex {

// (On Windows, folders_win.cpp: levels between '\\', made with CreateDirectoryW
// under exactly the names given; a path over 32,767 characters is refused.)
// Makes sure every level of `dir` (the text up to its first NUL) exists,
// creating missing ones from the top down; blank pieces are skipped. Stops at
// the first level that is not a folder and cannot be made one, and returns
// false; true when every level is there.
bool MakeDirLevels(const std::string& dir);

}  // namespace tarnex

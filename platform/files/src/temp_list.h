#pragma once
// The process-wide list of temporary files that a signal must not leave
// behind. Internal to the unit.

namespace fileio::detail {

// Puts path on the list and returns its place, or -1 when the list is full
// (the file then lives unlisted) or the path too long.
int ListTemp(const char* path);

// Takes the entry at slot off the list (nothing for -1).
void UnlistTemp(int slot);

}  // namespace fileio::detail

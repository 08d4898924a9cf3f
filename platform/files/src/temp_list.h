#pragma once
// The process-wide list of temporary files that a signal must not leave
// behind. Internal to the unit.

namespace fileio::detail {

// Puts the file `name` in the folder open at folder on the list and returns
// its place, or -1 when the list is full (the file then lives unlisted) or
// the name too long. folder must stay open while the file is listed.
int ListTemp(int folder, const char* name);

// Takes the entry at slot off the list (nothing for -1).
void UnlistTemp(int slot);

}  // namespace fileio::detail

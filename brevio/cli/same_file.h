#pragma once
// Whether two descriptors lead to one regular file, as in `cmd < f >> f`:
// a filter between them would read what it has just written, without end.

namespace brevio::cli {

// False for pipes, terminals and devices, which may well be both ends.
bool SameRegularFile(int a, int b);

}  // namespace brevio::cli

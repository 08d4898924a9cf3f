#pragma once
// The few descriptor calls whose shape differs between the systems, each in
// the system's own file; the loops over them are shared. Internal to the unit.

#include <cstddef>
#include <cstdint>

namespace fileio::detail {

// close(2) or _close: 0, or -1 with errno set.
int CloseFd(int fd);

// One write of up to n bytes (fewer where the system counts in int): the
// count written, or -1 with errno set.
std::int64_t WriteSome(int fd, const char* data, std::size_t n);

// One read of up to n bytes at offset: the count read, 0 at the end, or -1
// with errno set.
std::int64_t ReadAt(int fd, char* data, std::size_t n, std::int64_t offset);

}  // namespace fileio::detail

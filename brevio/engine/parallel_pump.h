#pragma once
// The two-worker pump, for big regular files: the file trims' sources, and
// standard input when it is one.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "brevio/engine/stream_cleaner.h"

namespace brevio::detail {

// Inputs from this size on are cleaned and written by two workers.
inline constexpr std::uint64_t kOverlapFrom = std::uint64_t{8} << 20;

struct PumpError {
  bool in_read = false;
  int error = 0;
};

// Writes all of the n bytes; 0 or an errno.
using WriteBlock = std::function<int(const char* data, std::size_t n)>;

// Cleans in_fd from where it stands to its end into write, in order, and
// adds the bytes read and written to the counts.
PumpError PumpParallel(int in_fd, const WriteBlock& write, std::size_t block, LineEnd line_end,
                       std::uint64_t& source_bytes, std::uint64_t& target_bytes);

}  // namespace brevio::detail

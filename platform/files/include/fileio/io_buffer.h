#pragma once
// Memory that file data is read into and written from. The kernel's copy
// between a file's pages and such memory runs several times slower on some
// processors (AMD's among them) when the two do not sit alike within 64
// bytes: a read into a buffer that malloc aligned to 16 only, or a write
// from an aligned buffer to an odd file offset. So buffers start on a page,
// and a writer that knows its file offset places its bytes to match it.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace fileio {

inline constexpr std::size_t kIoAlign = 4096;
// The room a buffer needs past its bytes to move them to WriteShift.
inline constexpr std::size_t kIoSlack = 64;

// n bytes, uninitialised, starting on a page. The start is found inside a
// plain allocation rather than asked of an aligned one, whose release the
// Windows runtimes do not all agree on.
class IoBuffer {
 public:
  IoBuffer() = default;
  explicit IoBuffer(std::size_t n) : block_(std::make_unique_for_overwrite<char[]>(n + kIoAlign)) {}
  // The first page boundary in the block (nullptr without one).
  char* get() const {
    const auto at = reinterpret_cast<std::uintptr_t>(block_.get());
    return block_ ? block_.get() + (kIoAlign - at % kIoAlign) % kIoAlign : nullptr;
  }

 private:
  std::unique_ptr<char[]> block_;
};

// Where in a page-aligned buffer to put bytes that go to file offset at.
inline std::size_t WriteShift(std::uint64_t at) { return static_cast<std::size_t>(at % kIoSlack); }

}  // namespace fileio

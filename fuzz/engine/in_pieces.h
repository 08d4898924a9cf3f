#pragma once
// What the engine fuzzers share: piece lengths taken from one input byte, the
// cleaner fed in those pieces as the file path feeds it, and every
// instruction set this CPU has in turn.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "brevio/engine/stream_cleaner.h"
#include "cleaner_detail.h"

namespace brevio::fuzz {

inline void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "engine differs from the model: %s\n", what);
    std::abort();
  }
}

// Pieces of 1 to 64 bytes, or (when the pattern's top bit is set) of up to
// 8 KiB, which reach the wide 64-byte loops.
inline std::vector<std::size_t> Pieces(unsigned pattern, std::size_t size) {
  const bool large = (pattern & 0x80) != 0;
  std::vector<std::size_t> pieces;
  for (std::size_t pos = 0, step = 0; pos < size; ++step) {
    std::size_t piece = 1 + ((pattern >> (step % 7)) & 7u) * ((step % 3) + 1);
    if (large) piece = piece * 331 + 64;
    piece = std::min(piece, size - pos);
    pieces.push_back(piece);
    pos += piece;
  }
  return pieces;
}

// The cleaner fed the text in those pieces, into one caller-owned buffer
// with the room it promises.
template <class Cleaner>
std::string InPieces(Cleaner cleaner, std::string_view text,
                     const std::vector<std::size_t>& pieces) {
  std::size_t room = Cleaner::kMaxFinishOutput;
  for (const std::size_t n : pieces) room += Cleaner::MaxOutput(n);
  std::vector<char> buffer(room);
  BufferSink sink(buffer.data());
  std::size_t pos = 0;
  for (const std::size_t n : pieces) {
    cleaner.feed(text.substr(pos, n), sink);
    pos += n;
  }
  cleaner.finish(sink);
  return {buffer.data(), sink.size()};
}

// Calls check once under each instruction set this CPU has, then restores
// the best.
template <class Check>
void UnderEverySimd(const Check& check) {
  using detail::Simd;
  const Simd best = detail::ActiveSimd();
  for (const Simd simd :
       {Simd::kNone, Simd::kSse2, Simd::kSse42, Simd::kAvx2, Simd::kAvx512,
        Simd::kAvx512Vbmi2}) {
    if (detail::UseSimd(simd)) check();
  }
  detail::UseSimd(best);
}

}  // namespace brevio::fuzz

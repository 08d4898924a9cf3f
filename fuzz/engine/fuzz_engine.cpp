// The streaming cleaner against the literal model of the rules: the input is
// cut into pieces at positions taken from the data itself, so every split a
// reader could make is tried sooner or later. Any difference aborts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "brevio/engine/line_cleaner.h"
#include "brevio/engine/stream_cleaner.h"
#include "cleaner_detail.h"
#include "tests/engine/reference_model.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "engine differs from the model: %s\n", what);
    std::abort();
  }
}

// Cleans the text in the given pieces into a caller-owned buffer, as the
// file path does.
std::string TrimInPieces(std::string_view text, const std::vector<std::size_t>& pieces) {
  using Cleaner = brevio::FileStreamCleaner;
  std::size_t room = Cleaner::kMaxFinishOutput;
  for (const std::size_t n : pieces) room += Cleaner::MaxOutput(n);
  std::vector<char> buffer(room);
  brevio::BufferSink sink(buffer.data());
  Cleaner cleaner;
  std::size_t pos = 0;
  for (const std::size_t n : pieces) {
    cleaner.feed(text.substr(pos, n), sink);
    pos += n;
  }
  cleaner.finish(sink);
  return {buffer.data(), sink.size()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // First byte: the piece length pattern; the rest: the text.
  const unsigned pattern = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  // Pieces of 1 to 64 bytes, or (every other input) pieces of up to 8 KiB,
  // which reach the wide 64-byte loops.
  const bool large = (pattern & 0x80) != 0;
  std::vector<std::size_t> pieces;
  for (std::size_t pos = 0, step = 0; pos < text.size(); ++step) {
    std::size_t piece = 1 + ((pattern >> (step % 7)) & 7u) * ((step % 3) + 1);
    if (large) piece = piece * 331 + 64;
    piece = std::min(piece, text.size() - pos);
    pieces.push_back(piece);
    pos += piece;
  }
  // Every instruction set this CPU has, each against the one model.
  const std::string expected = brevio::testing::ModelTrimFile(std::string(text));
  using brevio::detail::Simd;
  const Simd best = brevio::detail::ActiveSimd();
  for (const Simd simd :
       {Simd::kNone, Simd::kSse2, Simd::kAvx2, Simd::kAvx512, Simd::kAvx512Vbmi2}) {
    if (!brevio::detail::UseSimd(simd)) continue;
    Check(TrimInPieces(text, pieces) == expected, "whole file");
  }
  brevio::detail::UseSimd(best);

  const std::string line(text);
  Check(brevio::CleanLine(line) == brevio::testing::ModelCleanLine(line), "CleanLine");
  Check(brevio::CleanSegment(line) == brevio::testing::ModelCleanSegment(line), "CleanSegment");
  return 0;
}

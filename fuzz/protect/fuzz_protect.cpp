// --protect against the plain model of the regions: the first byte picks the
// set of kinds, the second the piece lengths, the rest is the page. Any
// difference aborts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "brevio/engine/protect.h"
#include "brevio/engine/stream_cleaner.h"
#include "cleaner_detail.h"
#include "tests/engine/reference_model.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "--protect differs from the model: %s\n", what);
    std::abort();
  }
}

// Into one caller-owned buffer with the room the cleaner promises, as the
// file path does.
std::string ProtectInPieces(std::string_view text, brevio::ProtectSet set,
                            const std::vector<std::size_t>& pieces) {
  using Cleaner = brevio::ProtectingCleaner;
  std::size_t room = Cleaner::kMaxFinishOutput;
  for (const std::size_t n : pieces) room += Cleaner::MaxOutput(n);
  std::vector<char> buffer(room);
  brevio::BufferSink sink(buffer.data());
  Cleaner cleaner(set);
  std::size_t pos = 0;
  for (const std::size_t n : pieces) {
    cleaner.feed(text.substr(pos, n), sink);
    pos += n;
  }
  cleaner.finish(sink);
  return {buffer.data(), sink.size()};
}

std::string ProtectWhole(std::string_view text, brevio::ProtectSet set) {
  std::string out;
  brevio::StringSink sink(out);
  brevio::ProtectingCleaner cleaner(set);
  cleaner.feed(text, sink);
  cleaner.finish(sink);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const auto set = static_cast<brevio::ProtectSet>(data[0] & brevio::kProtectAll);
  const unsigned pattern = data[1];
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

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
  const std::string expected = brevio::testing::ModelTrimFileProtected(std::string(text), set);
  Check(ProtectWhole(text, set) == expected, "whole");
  using brevio::detail::Simd;
  const Simd best = brevio::detail::ActiveSimd();
  for (const Simd simd :
       {Simd::kNone, Simd::kSse2, Simd::kAvx2, Simd::kAvx512, Simd::kAvx512Vbmi2}) {
    if (!brevio::detail::UseSimd(simd)) continue;
    Check(ProtectInPieces(text, set, pieces) == expected, "in pieces");
  }
  brevio::detail::UseSimd(best);
  return 0;
}

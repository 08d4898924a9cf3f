// The streaming cleaner against the literal model of the rules: the input is
// cut into pieces at positions taken from the data itself, so every split a
// reader could make is tried sooner or later. Any difference aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>
#include <algorithm>

#include "brevio/engine/line_cleaner.h"
#include "brevio/engine/stream_cleaner.h"
#include "tests/engine/reference_model.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "engine differs from the model: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // First byte: the piece length pattern; the rest: the text.
  const unsigned pattern = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  // Pieces of 1 to 64 bytes, or (every other input) pieces of up to 8 KiB,
  // which reach the wide 64-byte loops; output into a caller-owned buffer as
  // the file path does.
  const bool large = (pattern & 0x80) != 0;
  std::vector<std::size_t> pieces;
  for (std::size_t pos = 0, step = 0; pos < text.size(); ++step) {
    std::size_t piece = 1 + ((pattern >> (step % 7)) & 7u) * ((step % 3) + 1);
    if (large) piece = piece * 331 + 64;
    piece = std::min(piece, text.size() - pos);
    pieces.push_back(piece);
    pos += piece;
  }
  using Cleaner = brevio::StreamCleaner<brevio::CleanMode::kFile>;
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
  const std::string streamed(buffer.data(), sink.size());
  Check(streamed == brevio::testing::ModelTrimFile(std::string(text)), "whole file");

  const std::string line(text);
  Check(brevio::CleanLine(line) == brevio::testing::ModelCleanLine(line), "CleanLine");
  Check(brevio::CleanSegment(line) == brevio::testing::ModelCleanSegment(line), "CleanSegment");
  return 0;
}

// The streaming cleaner against the literal model of the rules: the input is
// cut into pieces at positions taken from the data itself, so every split a
// reader could make is tried sooner or later. Any difference aborts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "brevio/engine/line_cleaner.h"
#include "in_pieces.h"
#include "tests/engine/reference_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using brevio::fuzz::Check;
  if (size == 0) return 0;
  // First byte: the piece length pattern; the rest: the text.
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const auto pieces = brevio::fuzz::Pieces(data[0], text.size());
  // Every instruction set this CPU has, each against the one model.
  const std::string expected = brevio::testing::ModelTrimFile(std::string(text));
  brevio::fuzz::UnderEverySimd([&] {
    Check(brevio::fuzz::InPieces(brevio::FileStreamCleaner(), text, pieces) == expected,
          "whole file");
  });

  const std::string line(text);
  Check(brevio::CleanLine(line) == brevio::testing::ModelCleanLine(line), "CleanLine");
  Check(brevio::CleanSegment(line) == brevio::testing::ModelCleanSegment(line), "CleanSegment");
  return 0;
}

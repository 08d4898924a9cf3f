// --protect against the plain model of the regions: the first byte picks the
// set of kinds, the second the piece lengths, the rest is the page. Any
// difference aborts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "brevio/engine/protect.h"
#include "in_pieces.h"
#include "tests/engine/reference_model.h"

namespace {

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
  using brevio::fuzz::Check;
  if (size < 2) return 0;
  const auto set = static_cast<brevio::ProtectSet>(data[0] & brevio::kProtectAll);
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  const auto pieces = brevio::fuzz::Pieces(data[1], text.size());
  const std::string expected = brevio::testing::ModelTrimFileProtected(std::string(text), set);
  Check(ProtectWhole(text, set) == expected, "whole");
  brevio::fuzz::UnderEverySimd([&] {
    Check(brevio::fuzz::InPieces(brevio::ProtectingCleaner(set), text, pieces) == expected,
          "in pieces");
  });
  return 0;
}

// The streaming cleaner against the literal model of the rules: the input is
// cut into pieces at positions taken from the data itself, so every split a
// reader could make is tried sooner or later. Any difference aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

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

  std::string streamed;
  brevio::StringSink sink(streamed);
  brevio::StreamCleaner<brevio::CleanMode::kFile> cleaner;
  std::size_t pos = 0;
  unsigned step = 0;
  while (pos < text.size()) {
    const std::size_t piece = 1 + ((pattern >> (step++ % 8)) & 7u) * ((step % 3) + 1);
    const std::size_t n = piece < text.size() - pos ? piece : text.size() - pos;
    cleaner.feed(text.substr(pos, n), sink);
    pos += n;
  }
  cleaner.finish(sink);
  Check(streamed == brevio::testing::ModelTrimFile(std::string(text)), "whole file");

  const std::string line(text);
  Check(brevio::CleanLine(line) == brevio::testing::ModelCleanLine(line), "CleanLine");
  Check(brevio::CleanSegment(line) == brevio::testing::ModelCleanSegment(line), "CleanSegment");
  return 0;
}

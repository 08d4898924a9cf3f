// In-memory cleaning speed: bytes in per second on generated HTML/PHP text.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "brevio/engine/line_cleaner.h"
#include "brevio/engine/protect.h"
#include "brevio/engine/stream_cleaner.h"
#include "cleaner_detail.h"
#include "page_text.h"

namespace {

// 1 MiB: about what one read block and its output keep in the L2 cache on
// the file path, so this measures the cleaner rather than memory.
constexpr std::size_t kTextBytes = std::size_t{1} << 20;

const std::string& Text(bool lf_only) {
  static const std::string crlf = brevio::bench::MakePageText(kTextBytes, false);
  static const std::string lf = brevio::bench::MakePageText(kTextBytes, true);
  return lf_only ? lf : crlf;
}

// Real pages, when BREVIO_BENCH_PAGES_DIR names a folder of them: its .htm,
// .html and .php files in an order shuffled the same way each run, up to the
// 1 MiB that keeps the measure in the cache as above.
const std::string& RealPages() {
  static const std::string pages = [] {
    std::string text;
    const char* dir = std::getenv("BREVIO_BENCH_PAGES_DIR");
    if (dir == nullptr) return text;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
      const std::string ext = entry.path().extension().string();
      if (entry.is_regular_file() && (ext == ".htm" || ext == ".html" || ext == ".php")) {
        files.push_back(entry.path());
      }
    }
    std::sort(files.begin(), files.end());
    std::shuffle(files.begin(), files.end(), std::mt19937(7));
    for (const auto& file : files) {
      if (text.size() >= kTextBytes) break;
      std::ifstream in(file, std::ios::binary);
      text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return text;
  }();
  return pages;
}

// Selects the instruction set of the whole-file loop for one benchmark and
// restores the best one afterwards.
class SimdScope {
 public:
  explicit SimdScope(benchmark::State& state, std::int64_t simd)
      : previous_(brevio::detail::ActiveSimd()) {
    if (!brevio::detail::UseSimd(static_cast<brevio::detail::Simd>(simd)))
      state.SkipWithError("this CPU lacks the instruction set");
  }
  ~SimdScope() { brevio::detail::UseSimd(previous_); }
  SimdScope(const SimdScope&) = delete;
  SimdScope& operator=(const SimdScope&) = delete;

 private:
  brevio::detail::Simd previous_;
};

// simd: 0 portable loop, 1 SSE2, 2 SSE4.2, 3 AVX2, 4 AVX-512, 5 AVX-512 VBMI2 (see
// detail::Simd);
// protect: 0 the rule alone, 63 --protect all.
void SimdArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"lf_only", "simd", "protect"});
  b->ArgsProduct({{0, 1}, {0, 1, 2, 3, 4, 5}, {0, brevio::kProtectAll}});
}

// The file path: blocks of 256 KiB through the streaming cleaner into a
// buffer, with the rule alone or with every region kept (the same per-block
// work as brevio-trim's).
void BM_StreamCleanBlocks(benchmark::State& state) {
  const std::string& text = Text(state.range(0) != 0);
  if (text.size() < kTextBytes) state.SkipWithError("no input text");
  const SimdScope simd(state, state.range(1));
  const auto set = static_cast<brevio::ProtectSet>(state.range(2));
  constexpr std::size_t kBlock = std::size_t{256} * 1024;
  std::vector<char> out(brevio::ProtectingCleaner::MaxOutput(kBlock));
  std::size_t written = 0;
  for (auto _ : state) {
    brevio::ProtectingCleaner cleaner(set);
    for (std::size_t pos = 0; pos < text.size(); pos += kBlock) {
      brevio::BufferSink sink(out.data());
      cleaner.feed(std::string_view(text).substr(pos, kBlock), sink);
      written += sink.size();
      benchmark::DoNotOptimize(out.data());
    }
    brevio::BufferSink sink(out.data());
    cleaner.finish(sink);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["out/in"] =
      static_cast<double>(written) / static_cast<double>(state.iterations() * text.size());
}
BENCHMARK(BM_StreamCleanBlocks)->Apply(SimdArgs)->Unit(benchmark::kMillisecond);

// The file path on real pages (skipped without BREVIO_BENCH_PAGES_DIR).
void BM_StreamCleanRealPages(benchmark::State& state) {
  const std::string& text = RealPages();
  if (text.empty()) {
    state.SkipWithError("BREVIO_BENCH_PAGES_DIR names no folder of pages");
    return;
  }
  const SimdScope simd(state, state.range(0));
  const auto set = static_cast<brevio::ProtectSet>(state.range(1));
  constexpr std::size_t kBlock = std::size_t{256} * 1024;
  std::vector<char> out(brevio::ProtectingCleaner::MaxOutput(kBlock));
  std::size_t written = 0;
  for (auto _ : state) {
    brevio::ProtectingCleaner cleaner(set);
    for (std::size_t pos = 0; pos < text.size(); pos += kBlock) {
      brevio::BufferSink sink(out.data());
      cleaner.feed(std::string_view(text).substr(pos, kBlock), sink);
      written += sink.size();
      benchmark::DoNotOptimize(out.data());
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["out/in"] =
      static_cast<double>(written) / static_cast<double>(state.iterations() * text.size());
}
BENCHMARK(BM_StreamCleanRealPages)
    ->ArgNames({"simd", "protect"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {0, brevio::kProtectAll}})
    ->Unit(benchmark::kMillisecond);

// The string form on one LF-only "line" of the whole text.
void BM_CleanLineWhole(benchmark::State& state) {
  const std::string& text = Text(true);
  for (auto _ : state) {
    std::string cleaned = brevio::CleanLine(text);
    benchmark::DoNotOptimize(cleaned.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_CleanLineWhole)->Unit(benchmark::kMillisecond);

// Text that is already trimmed: the copy path at its best. crlf: as the
// cleaner writes it, its lines ending in CR LF, so that none of it changes;
// else lines that end in LF alone, each given a CR.
const std::string& TrimmedText(bool crlf) {
  static const std::string lf = brevio::CleanLine(Text(true));
  static const std::string crlf_text = [] {
    std::string text;
    brevio::FileStreamCleaner cleaner;
    brevio::StringSink sink(text);
    cleaner.feed(Text(false), sink);
    cleaner.finish(sink);
    return text;
  }();
  return crlf ? crlf_text : lf;
}

void BM_StreamCleanTrimmedText(benchmark::State& state) {
  const std::string& trimmed = TrimmedText(state.range(0) != 0);
  const SimdScope simd(state, state.range(1));
  std::vector<char> out(brevio::FileStreamCleaner::MaxOutput(trimmed.size()));
  for (auto _ : state) {
    brevio::FileStreamCleaner cleaner;
    brevio::BufferSink sink(out.data());
    cleaner.feed(trimmed, sink);
    cleaner.finish(sink);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * trimmed.size()));
}
BENCHMARK(BM_StreamCleanTrimmedText)
    ->ArgNames({"crlf", "simd"})
    ->ArgsProduct({{0, 1}, {0, 1, 2, 3, 4, 5}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// The whole-file cleaning loop over 64-byte windows, built for several
// instruction sets; the best one this CPU has is chosen at start-up. The
// portable loop in stream_cleaner.cpp stays for the tail of each piece, for
// other CPUs and for the other modes.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

#include "cleaner_detail.h"
#include "simd_target.h"
#include "wide_plan.h"

namespace brevio::detail {

namespace {

#if defined(BREVIO_WIDE_X86)

BREVIO_TARGET_BEGIN("avx2,bmi,bmi2,lzcnt,popcnt")
namespace avx2 {
struct Window {
  __m256i lo, hi;
  std::uint64_t sp, tab, lf, cr;
};
inline std::uint64_t Bits(__m256i lo, __m256i hi) {
  return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(lo))} |
         (std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(hi))} << 32);
}
// The blank bytes to compare with, made once per loop and opaque to the
// compiler, which would otherwise build each anew for every window.
struct Blanks {
  __m256i sp, tab, lf, cr;
};
inline Blanks MakeBlanks() {
  Blanks b{_mm256_set1_epi8(' '), _mm256_set1_epi8('\t'), _mm256_set1_epi8('\n'),
           _mm256_set1_epi8('\r')};
  asm("" : "+x"(b.sp), "+x"(b.tab), "+x"(b.lf), "+x"(b.cr));
  return b;
}
inline Window LoadWindow(const char* p, const Blanks& b) {
  const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
  const auto eq = [&](__m256i v) {
    return Bits(_mm256_cmpeq_epi8(lo, v), _mm256_cmpeq_epi8(hi, v));
  };
  return {lo, hi, eq(b.sp), eq(b.tab), eq(b.lf), eq(b.cr)};
}
#include "wide_shuffle.inc"
}  // namespace avx2
BREVIO_TARGET_END

BREVIO_TARGET_BEGIN("avx512f,avx512bw,avx2,bmi,bmi2,lzcnt,popcnt")
namespace avx512 {
// Without a byte compress the shuffle writer serves, fed by 64-byte compares.
struct Window {
  __m256i lo, hi;
  std::uint64_t sp, tab, lf, cr;
};
// As in the AVX2 set.
struct Blanks {
  __m512i sp, tab, lf, cr;
};
inline Blanks MakeBlanks() {
  Blanks b{_mm512_set1_epi8(' '), _mm512_set1_epi8('\t'), _mm512_set1_epi8('\n'),
           _mm512_set1_epi8('\r')};
  asm("" : "+v"(b.sp), "+v"(b.tab), "+v"(b.lf), "+v"(b.cr));
  return b;
}
inline Window LoadWindow(const char* p, const Blanks& b) {
  const __m512i a = _mm512_loadu_si512(p);
  // The halves loaded again: cheaper than extracting them, and GCC 12 takes
  // the extract for a read of an uninitialized value.
  return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)),
          _mm512_cmpeq_epi8_mask(a, b.sp),
          _mm512_cmpeq_epi8_mask(a, b.tab),
          _mm512_cmpeq_epi8_mask(a, b.lf),
          _mm512_cmpeq_epi8_mask(a, b.cr)};
}
#include "wide_shuffle.inc"
}  // namespace avx512
BREVIO_TARGET_END

BREVIO_TARGET_BEGIN("avx512f,avx512bw,avx512vbmi,avx512vbmi2,bmi,bmi2,lzcnt,popcnt")
namespace vbmi2 {
#include "wide_compress.inc"
}  // namespace vbmi2
BREVIO_TARGET_END

#endif  // BREVIO_WIDE_X86

bool Supported(Simd simd) {
#if defined(BREVIO_WIDE_X86)
  switch (simd) {
    case Simd::kNone:
      return true;
    case Simd::kSse2:
      return __builtin_cpu_supports("sse2");
    case Simd::kAvx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
    case Simd::kAvx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("bmi2");
    case Simd::kAvx512Vbmi2:
      return Supported(Simd::kAvx512) && __builtin_cpu_supports("avx512vbmi") &&
             __builtin_cpu_supports("avx512vbmi2");
  }
  return false;
#else
  return simd == Simd::kNone;
#endif
}

// The loops of one instruction set, by Eol.
struct Loops {
  WideFileLoop plain[3] = {};
  FencedWideFileLoop fenced[3] = {};
};

#if defined(BREVIO_WIDE_X86)
#define BREVIO_LOOPS(set)                                                                 \
  Loops {                                                                                 \
    {&set::FileLoop<Eol::kRule>, &set::FileLoop<Eol::kCrLf>, &set::FileLoop<Eol::kLf>}, { \
      &set::FencedFileLoop<Eol::kRule>, &set::FencedFileLoop<Eol::kCrLf>,                 \
          &set::FencedFileLoop<Eol::kLf>                                                  \
    }                                                                                     \
  }
#endif

Loops LoopsFor(Simd simd) {
#if defined(BREVIO_WIDE_X86)
  switch (simd) {
    // kSse2 too: the portable loop's scans are SSE2 already, 16 bytes at a
    // time; a 64-byte SSE2 loop measured slower than it on every kind of page.
    case Simd::kNone:
    case Simd::kSse2:
      return {};
    case Simd::kAvx2:
      return BREVIO_LOOPS(avx2);
    case Simd::kAvx512:
      return BREVIO_LOOPS(avx512);
    case Simd::kAvx512Vbmi2:
      return BREVIO_LOOPS(vbmi2);
  }
#endif
  (void)simd;
  return {};
}

// The best set this CPU has, at most the one BREVIO_SIMD names (portable,
// sse2, avx2, avx512, avx512vbmi2), so that the older paths can be measured
// and tested on newer processors. Any other value is passed over.
Simd Best() {
  Simd most = Simd::kAvx512Vbmi2;
  if (const char* asked = std::getenv("BREVIO_SIMD"); asked != nullptr) {
    static constexpr std::pair<std::string_view, Simd> kNames[] = {
        {"portable", Simd::kNone},
        {"sse2", Simd::kSse2},
        {"avx2", Simd::kAvx2},
        {"avx512", Simd::kAvx512},
        {"avx512vbmi2", Simd::kAvx512Vbmi2}};
    for (const auto& [name, simd] : kNames) {
      if (name == asked) most = simd;
    }
  }
  for (Simd simd : {Simd::kAvx512Vbmi2, Simd::kAvx512, Simd::kAvx2, Simd::kSse2}) {
    if (simd <= most && Supported(simd)) return simd;
  }
  return Simd::kNone;
}

struct Choice {
  std::atomic<Simd> simd;
  std::atomic<const Loops*> loops;
  Choice() : simd(Best()), loops(&Table(simd.load())) {}
  static const Loops& Table(Simd simd) {
    static const Loops kTables[] = {LoopsFor(Simd::kNone), LoopsFor(Simd::kSse2),
                                    LoopsFor(Simd::kAvx2), LoopsFor(Simd::kAvx512),
                                    LoopsFor(Simd::kAvx512Vbmi2)};
    return kTables[static_cast<int>(simd)];
  }
};

Choice& TheChoice() {
  static Choice choice;
  return choice;
}

}  // namespace

WideFileLoop ActiveWideFileLoop(Eol eol) {
  return TheChoice().loops.load(std::memory_order_relaxed)->plain[static_cast<int>(eol)];
}

FencedWideFileLoop ActiveFencedWideFileLoop(Eol eol) {
  return TheChoice().loops.load(std::memory_order_relaxed)->fenced[static_cast<int>(eol)];
}

Simd ActiveSimd() { return TheChoice().simd.load(std::memory_order_relaxed); }

bool UseSimd(Simd simd) {
  if (!Supported(simd)) return false;
  TheChoice().simd.store(simd, std::memory_order_relaxed);
  TheChoice().loops.store(&Choice::Table(simd), std::memory_order_relaxed);
  return true;
}

}  // namespace brevio::detail

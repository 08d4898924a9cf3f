// The whole-file cleaning loop over 64-byte windows, built for several
// instruction sets; the best one this CPU has is chosen at start-up. The
// portable loop in stream_cleaner.cpp stays for the tail of each piece, for
// other CPUs and for the other modes.
#include <atomic>
#include <bit>
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

BREVIO_TARGET_BEGIN("sse4.2,popcnt")
namespace sse42 {
// 16-byte vectors, for processors without AVX2.
struct Window {
  __m128i part[4];
  std::uint64_t sp, tab, lf, cr;
};
// As in the AVX2 set.
struct Blanks {
  __m128i sp, tab, lf, cr;
};
inline Blanks MakeBlanks() {
  Blanks b{_mm_set1_epi8(' '), _mm_set1_epi8('\t'), _mm_set1_epi8('\n'), _mm_set1_epi8('\r')};
  asm("" : "+x"(b.sp), "+x"(b.tab), "+x"(b.lf), "+x"(b.cr));
  return b;
}
inline __m128i Load16(const char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store16(char* out, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v); }
inline std::uint64_t Bits(__m128i a, __m128i b, __m128i c, __m128i d) {
  const auto bits = [](__m128i v) {
    return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(v))};
  };
  return bits(a) | (bits(b) << 16) | (bits(c) << 32) | (bits(d) << 48);
}
// Inlined: apart, the window would go through memory.
[[gnu::always_inline]] inline Window LoadWindow(const char* p, const Blanks& b) {
  const __m128i v0 = Load16(p);
  const __m128i v1 = Load16(p + 16);
  const __m128i v2 = Load16(p + 32);
  const __m128i v3 = Load16(p + 48);
  const auto eq = [&](__m128i c) {
    return Bits(_mm_cmpeq_epi8(v0, c), _mm_cmpeq_epi8(v1, c), _mm_cmpeq_epi8(v2, c),
                _mm_cmpeq_epi8(v3, c));
  };
  return {{v0, v1, v2, v3}, eq(b.sp), eq(b.tab), eq(b.lf), eq(b.cr)};
}

#include "wide_pack.inc"

using Part = __m128i;
inline constexpr int kPartBytes = 16;
inline Part PartOf(const Window& w, int i) { return w.part[i]; }
inline char* PackPart(char* out, __m128i v, std::uint32_t keep) { return Pack16(out, v, keep); }

// Byte i of the result is all ones where bit i of bits is set.
inline __m128i ByteMask(std::uint32_t bits) {
  const __m128i spread = _mm_shuffle_epi8(_mm_cvtsi32_si128(static_cast<int>(bits)),
                                          _mm_set_epi64x(0x0101010101010101, 0));
  const __m128i bit = _mm_set1_epi64x(static_cast<std::int64_t>(0x8040201008040201u));
  return _mm_cmpeq_epi8(_mm_and_si128(spread, bit), bit);
}

// v with c at the bytes where bits is set.
inline __m128i Put(__m128i v, std::uint32_t bits, char c) {
  if (bits == 0) return v;
  return _mm_blendv_epi8(v, _mm_set1_epi8(c), ByteMask(bits));
}

// Tabs become spaces: a kept TAB is always a gap's one space.
inline __m128i NoTabs(__m128i v) {
  const __m128i tab = _mm_cmpeq_epi8(v, _mm_set1_epi8('\t'));
  return _mm_xor_si128(v, _mm_and_si128(tab, _mm_set1_epi8(' ' ^ '\t')));
}

inline char* StoreWhole(char* out, const Window& w) {
  Store16(out, w.part[0]);
  Store16(out + 16, w.part[1]);
  Store16(out + 32, w.part[2]);
  Store16(out + 48, w.part[3]);
  return out + 64;
}

inline void Copy64(char* out, const char* p) {
  const __m128i v0 = Load16(p);
  const __m128i v1 = Load16(p + 16);
  const __m128i v2 = Load16(p + 32);
  const __m128i v3 = Load16(p + 48);
  Store16(out, v0);
  Store16(out + 16, v1);
  Store16(out + 32, v2);
  Store16(out + 48, v3);
}

#include "wide_shuffle.inc"
}  // namespace sse42
BREVIO_TARGET_END

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
inline __m256i Load32(const char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline Window LoadWindow(const char* p, const Blanks& b) {
  const __m256i lo = Load32(p);
  const __m256i hi = Load32(p + 32);
  const auto eq = [&](__m256i v) {
    return Bits(_mm256_cmpeq_epi8(lo, v), _mm256_cmpeq_epi8(hi, v));
  };
  return {lo, hi, eq(b.sp), eq(b.tab), eq(b.lf), eq(b.cr)};
}
// Eight masks a window cost more than a test of its vectors for the one
// kind that needs none: no TAB, every CR before an LF and every LF after a
// CR (none first, no CR last), and no blank but a CR before a blank, p[64]
// included.
inline constexpr bool kQuickClean = true;
inline bool QuickClean(const char* p, const Blanks& b) {
  // By a byte's low four bits, the blank that has them (0 where none has);
  // a byte from 0x80 on looks up 0.
  const __m256i lut = _mm256_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, 0, '\r', 0, 0,
                                       ' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, 0, '\r', 0, 0);
  const auto blank = [&](__m256i v) { return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(lut, v), v); };
  const auto bad = [&](__m256i v, __m256i next) {
    const __m256i cr = _mm256_cmpeq_epi8(v, b.cr);
    const __m256i lf_next = _mm256_cmpeq_epi8(next, b.lf);
    return _mm256_or_si256(
        _mm256_or_si256(_mm256_cmpeq_epi8(v, b.tab), _mm256_xor_si256(cr, lf_next)),
        _mm256_andnot_si256(cr, _mm256_and_si256(blank(v), blank(next))));
  };
  const __m256i any =
      _mm256_or_si256(bad(Load32(p), Load32(p + 1)), bad(Load32(p + 32), Load32(p + 33)));
  return _mm256_testz_si256(any, any) != 0 && p[0] != '\n' && p[63] != '\r';
}
#include "wide_lanes256.inc"
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
#include "wide_lanes256.inc"
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
    case Simd::kSse42:
      return __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.2") &&
             __builtin_cpu_supports("popcnt");
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
    // time; a 64-byte SSE2 loop without a byte shuffle to pack with measured
    // slower than it on every kind of page.
    case Simd::kNone:
    case Simd::kSse2:
      return {};
    case Simd::kSse42:
      return BREVIO_LOOPS(sse42);
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
// sse2, sse4.2, avx2, avx512, avx512vbmi2), so that the older paths can be measured
// and tested on newer processors. Any other value is passed over.
Simd Best() {
  Simd most = Simd::kAvx512Vbmi2;
  if (const char* asked = std::getenv("BREVIO_SIMD"); asked != nullptr) {
    static constexpr std::pair<std::string_view, Simd> kNames[] = {
        {"portable", Simd::kNone}, {"sse2", Simd::kSse2},     {"sse4.2", Simd::kSse42},
        {"avx2", Simd::kAvx2},     {"avx512", Simd::kAvx512}, {"avx512vbmi2", Simd::kAvx512Vbmi2}};
    for (const auto& [name, simd] : kNames) {
      if (name == asked) most = simd;
    }
  }
  for (Simd simd : {Simd::kAvx512Vbmi2, Simd::kAvx512, Simd::kAvx2, Simd::kSse42, Simd::kSse2}) {
    if (simd <= most && Supported(simd)) return simd;
  }
  return Simd::kNone;
}

struct Choice {
  std::atomic<Simd> simd;
  std::atomic<const Loops*> loops;
  Choice() : simd(Best()), loops(&Table(simd.load())) {}
  static const Loops& Table(Simd simd) {
    static const Loops kTables[] = {LoopsFor(Simd::kNone),   LoopsFor(Simd::kSse2),
                                    LoopsFor(Simd::kSse42),  LoopsFor(Simd::kAvx2),
                                    LoopsFor(Simd::kAvx512), LoopsFor(Simd::kAvx512Vbmi2)};
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

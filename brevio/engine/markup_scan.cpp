// The wide part of the markup scan: whole 64-byte windows of plain text and
// ordinary tags are checked with a few compares and prefix sums and handed
// to the cleaner as they are; the byte-wise scan (protect.cpp) takes the
// rest. Built for several instruction sets, chosen with the cleaner's.
#include <cstddef>
#include <cstdint>

#include "cleaner_detail.h"
#include "protect_detail.h"
#include "simd_target.h"

namespace brevio::detail {

namespace {

// Per window, bit i for byte i.
struct MarkupMasks {
  std::uint64_t lt;
  std::uint64_t gt;
  std::uint64_t dq;
  std::uint64_t sq;
  // Bytes the rule may change: control bytes up to CR, and a space before
  // a blank (see ScanRun).
  std::uint64_t trouble;
  // "<" that opens an ordinary tag: a letter, or "/" and a letter, after it,
  // and no name that may be an element's.
  std::uint64_t plain_lt;
};

namespace portable {

inline std::uint64_t PrefixXor(std::uint64_t x) {
  x ^= x << 1;
  x ^= x << 2;
  x ^= x << 4;
  x ^= x << 8;
  x ^= x << 16;
  x ^= x << 32;
  return x;
}

#include "markup_window.inc"

}  // namespace portable

bool IsLetter(unsigned char c) { return static_cast<unsigned char>((c | 0x20) - 'a') < 26; }

// The byte-at-a-time masks, for CPUs without a wide set; the wide sets are
// held to it in the tests.
MarkupMasks ClassifyPortable(const char* p, unsigned flags) {
  MarkupMasks m{};
  for (int i = 0; i < 64; ++i) {
    const auto c = static_cast<unsigned char>(p[i]);
    const std::uint64_t bit = std::uint64_t{1} << i;
    if (c == '<') {
      m.lt |= bit;
      const auto c1 = static_cast<unsigned char>(p[i + 1]);
      const char l1 = static_cast<char>(c1 | 0x20);
      const char l2 = static_cast<char>(p[i + 2] | 0x20);
      const char l3 = static_cast<char>(p[i + 3] | 0x20);
      const bool element = ((flags & kScanPre) != 0 && l1 == 'p' && l2 == 'r') ||
                           (l1 == 's' && (l2 == 'c' || (l2 == 't' && l3 == 'y'))) ||
                           (l1 == 't' && l2 == 'e');
      if ((IsLetter(c1) && !element) ||
          (c1 == '/' && IsLetter(static_cast<unsigned char>(p[i + 2])))) {
        m.plain_lt |= bit;
      }
    }
    if (c == '>') m.gt |= bit;
    if (c == '"') m.dq |= bit;
    if (c == '\'') m.sq |= bit;
    if (IsScanStop(c) || (c == ' ' && IsScanBlank(static_cast<unsigned char>(p[i + 1])))) {
      m.trouble |= bit;
    }
  }
  return m;
}

MarkupWide ScanPortable(const char* p, const char* end, MarkupCarry& carry, unsigned flags) {
  return portable::WideLoop<ClassifyPortable>(p, end, carry, flags);
}

#if defined(BREVIO_WIDE_X86)

BREVIO_TARGET_BEGIN("avx2,bmi,bmi2,popcnt,pclmul")
namespace avx2 {

inline std::uint64_t PrefixXor(std::uint64_t x) {
  const __m128i product = _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<long long>(x)),
                                               _mm_set1_epi8(static_cast<char>(0xFF)), 0);
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
}

#include "markup_window.inc"

// Two 32-byte halves of a window, as one 64-bit mask.
struct Halves {
  __m256i lo;
  __m256i hi;
};
inline Halves Load(const char* p) {
  return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32))};
}
inline Halves Or(Halves a, __m256i b) {
  return {_mm256_or_si256(a.lo, b), _mm256_or_si256(a.hi, b)};
}
inline std::uint64_t Bits(__m256i lo, __m256i hi) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(lo)) |
         (std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(hi))} << 32);
}
inline std::uint64_t Eq(Halves a, char c) {
  const __m256i v = _mm256_set1_epi8(c);
  return Bits(_mm256_cmpeq_epi8(a.lo, v), _mm256_cmpeq_epi8(a.hi, v));
}
// Bytes up to `most`, unsigned.
inline std::uint64_t AtMost(Halves a, char most) {
  const __m256i v = _mm256_set1_epi8(most);
  return Bits(_mm256_cmpeq_epi8(_mm256_min_epu8(a.lo, v), a.lo),
              _mm256_cmpeq_epi8(_mm256_min_epu8(a.hi, v), a.hi));
}
inline std::uint64_t Letters(Halves lower) {
  const __m256i a = _mm256_set1_epi8('a');
  return AtMost({_mm256_sub_epi8(lower.lo, a), _mm256_sub_epi8(lower.hi, a)}, 25);
}

MarkupMasks Classify(const char* p, unsigned flags) {
  const Halves a = Load(p);
  const Halves raw1 = Load(p + 1);
  const __m256i case_bit = _mm256_set1_epi8(0x20);
  const Halves l1 = Or(raw1, case_bit);
  const Halves l2 = Or(Load(p + 2), case_bit);
  const Halves l3 = Or(Load(p + 3), case_bit);
  std::uint64_t element =
      (Eq(l1, 's') & (Eq(l2, 'c') | (Eq(l2, 't') & Eq(l3, 'y')))) | (Eq(l1, 't') & Eq(l2, 'e'));
  if ((flags & kScanPre) != 0) element |= Eq(l1, 'p') & Eq(l2, 'r');

  MarkupMasks m;
  m.lt = Eq(a, '<');
  m.gt = Eq(a, '>');
  m.dq = Eq(a, '"');
  m.sq = Eq(a, '\'');
  m.plain_lt = m.lt & ((Letters(l1) & ~element) | (Eq(raw1, '/') & Letters(l2)));
  const std::uint64_t stop = AtMost(a, '\r');
  const std::uint64_t space = Eq(a, ' ');
  const std::uint64_t next_blank =
      ((stop | space) >> 1) |
      (IsScanBlank(static_cast<unsigned char>(p[64])) ? std::uint64_t{1} << 63 : 0);
  m.trouble = stop | (space & next_blank);
  return m;
}

MarkupWide Scan(const char* p, const char* end, MarkupCarry& carry, unsigned flags) {
  return WideLoop<Classify>(p, end, carry, flags);
}

}  // namespace avx2
BREVIO_TARGET_END

BREVIO_TARGET_BEGIN("avx512f,avx512bw,bmi,bmi2,popcnt,pclmul")
namespace avx512 {

// The parity prefix as one carry-less multiply by all ones.
inline std::uint64_t PrefixXor(std::uint64_t x) {
  const __m128i product = _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<long long>(x)),
                                               _mm_set1_epi8(static_cast<char>(0xFF)), 0);
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
}

#include "markup_window.inc"

MarkupMasks Classify(const char* p, unsigned flags) {
  const auto eq = [](__m512i v, char c) { return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c)); };
  const __m512i a = _mm512_loadu_si512(p);
  const __m512i raw1 = _mm512_loadu_si512(p + 1);
  const __m512i case_bit = _mm512_set1_epi8(0x20);
  const __m512i l1 = _mm512_or_si512(raw1, case_bit);
  const __m512i l2 = _mm512_or_si512(_mm512_loadu_si512(p + 2), case_bit);
  const __m512i l3 = _mm512_or_si512(_mm512_loadu_si512(p + 3), case_bit);
  const __m512i alpha = _mm512_set1_epi8('a');
  const __m512i letters = _mm512_set1_epi8(26);
  const std::uint64_t letter1 = _mm512_cmplt_epu8_mask(_mm512_sub_epi8(l1, alpha), letters);
  const std::uint64_t letter2 = _mm512_cmplt_epu8_mask(_mm512_sub_epi8(l2, alpha), letters);
  std::uint64_t element =
      (eq(l1, 's') & (eq(l2, 'c') | (eq(l2, 't') & eq(l3, 'y')))) | (eq(l1, 't') & eq(l2, 'e'));
  if ((flags & kScanPre) != 0) element |= eq(l1, 'p') & eq(l2, 'r');

  MarkupMasks m;
  m.lt = eq(a, '<');
  m.gt = eq(a, '>');
  m.dq = eq(a, '"');
  m.sq = eq(a, '\'');
  m.plain_lt = m.lt & ((letter1 & ~element) | (eq(raw1, '/') & letter2));
  const std::uint64_t stop = _mm512_cmple_epu8_mask(a, _mm512_set1_epi8('\r'));
  const std::uint64_t space = eq(a, ' ');
  const std::uint64_t next_blank =
      ((stop | space) >> 1) |
      (IsScanBlank(static_cast<unsigned char>(p[64])) ? std::uint64_t{1} << 63 : 0);
  m.trouble = stop | (space & next_blank);
  return m;
}

MarkupWide Scan(const char* p, const char* end, MarkupCarry& carry, unsigned flags) {
  return WideLoop<Classify>(p, end, carry, flags);
}

}  // namespace avx512
BREVIO_TARGET_END

#endif  // BREVIO_WIDE_X86

}  // namespace

MarkupWide MarkupWideScan(const char* p, const char* end, MarkupCarry& carry, unsigned flags) {
#if defined(BREVIO_WIDE_X86)
  switch (ActiveSimd()) {
    case Simd::kAvx2: {
      // Every processor with AVX2 known has the carry-less multiply too;
      // should one lack it, the portable loop serves.
      static const bool clmul = __builtin_cpu_supports("pclmul");
      if (clmul) return avx2::Scan(p, end, carry, flags);
      break;
    }
    case Simd::kAvx512:
    case Simd::kAvx512Vbmi2:
      return avx512::Scan(p, end, carry, flags);
    default:
      break;
  }
#endif
  return ScanPortable(p, end, carry, flags);
}

}  // namespace brevio::detail

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

// Bit i: the parity of the bits up to and including i.
inline std::uint64_t PrefixXorByShifts(std::uint64_t x) {
  x ^= x << 1;
  x ^= x << 2;
  x ^= x << 4;
  x ^= x << 8;
  x ^= x << 16;
  x ^= x << 32;
  return x;
}

namespace portable {

inline std::uint64_t PrefixXor(std::uint64_t x) { return PrefixXorByShifts(x); }

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

namespace sse2 {

inline std::uint64_t PrefixXor(std::uint64_t x) { return PrefixXorByShifts(x); }

// A window as four 16-byte quarters; masks join them into 64 bits.
struct Vec {
  __m128i q[4];
};
inline Vec Load(const char* p) {
  Vec v;
  for (int i = 0; i < 4; ++i) {
    v.q[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + std::ptrdiff_t{16} * i));
  }
  return v;
}
template <class Op>
inline Vec Each(const Vec& a, Op op) {
  return {{op(a.q[0]), op(a.q[1]), op(a.q[2]), op(a.q[3])}};
}
template <class Test>
inline std::uint64_t Bits(const Vec& a, Test test) {
  std::uint64_t bits = 0;
  for (int i = 0; i < 4; ++i) {
    bits |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(test(a.q[i])))} << (16 * i);
  }
  return bits;
}
inline Vec Lower(const Vec& a) {
  return Each(a, [](__m128i q) { return _mm_or_si128(q, _mm_set1_epi8(0x20)); });
}
// Byte flags (all ones or zero per byte) are kept as vectors until their
// mask is taken, so that they are joined a whole vector at a time.
using Flags = Vec;
template <class Op>
inline Flags Both(const Flags& a, const Flags& b, Op op) {
  return {{op(a.q[0], b.q[0]), op(a.q[1], b.q[1]), op(a.q[2], b.q[2]), op(a.q[3], b.q[3])}};
}
// Lambdas, not the intrinsics themselves: those have no address to pass
// where the compiler does not inline (debug builds).
inline Flags And(const Flags& a, const Flags& b) {
  return Both(a, b, [](__m128i x, __m128i y) { return _mm_and_si128(x, y); });
}
inline Flags Or(const Flags& a, const Flags& b) {
  return Both(a, b, [](__m128i x, __m128i y) { return _mm_or_si128(x, y); });
}
// a and not b
inline Flags AndNot(const Flags& a, const Flags& b) {
  return Both(b, a, [](__m128i x, __m128i y) { return _mm_andnot_si128(x, y); });
}
inline std::uint64_t Bits(const Flags& f) {
  return Bits(f, [](__m128i q) { return q; });
}
inline Flags Same(const Vec& a, char c) {
  return Each(a, [c](__m128i q) { return _mm_cmpeq_epi8(q, _mm_set1_epi8(c)); });
}
inline Flags UpTo(const Vec& a, char most) {
  return Each(
      a, [most](__m128i q) { return _mm_cmpeq_epi8(_mm_min_epu8(q, _mm_set1_epi8(most)), q); });
}
inline Flags IsLetter(const Vec& lower) {
  return UpTo(Each(lower, [](__m128i q) { return _mm_sub_epi8(q, _mm_set1_epi8('a')); }), 25);
}
inline std::uint64_t Eq(const Vec& a, char c) { return Bits(Same(a, c)); }

#include "markup_wide.inc"

}  // namespace sse2

BREVIO_TARGET_BEGIN("pclmul")
// The parity prefix as one carry-less multiply by all ones.
inline std::uint64_t PrefixXorByClmul(std::uint64_t x) {
  const __m128i product = _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<long long>(x)),
                                               _mm_set1_epi8(static_cast<char>(0xFF)), 0);
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
}
BREVIO_TARGET_END

BREVIO_TARGET_BEGIN("avx2,bmi,bmi2,popcnt,pclmul")
namespace avx2 {

inline std::uint64_t PrefixXor(std::uint64_t x) { return PrefixXorByClmul(x); }

// A window as two 32-byte halves; masks join them into 64 bits.
struct Vec {
  __m256i lo;
  __m256i hi;
};
inline Vec Load(const char* p) {
  return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)),
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32))};
}
inline Vec Lower(Vec a) {
  const __m256i case_bit = _mm256_set1_epi8(0x20);
  return {_mm256_or_si256(a.lo, case_bit), _mm256_or_si256(a.hi, case_bit)};
}
// Byte flags, as in the SSE2 set.
using Flags = Vec;
inline Flags And(Flags a, Flags b) {
  return {_mm256_and_si256(a.lo, b.lo), _mm256_and_si256(a.hi, b.hi)};
}
inline Flags Or(Flags a, Flags b) {
  return {_mm256_or_si256(a.lo, b.lo), _mm256_or_si256(a.hi, b.hi)};
}
inline Flags AndNot(Flags a, Flags b) {
  return {_mm256_andnot_si256(b.lo, a.lo), _mm256_andnot_si256(b.hi, a.hi)};
}
inline std::uint64_t Bits(Flags f) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(f.lo)) |
         (std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(f.hi))} << 32);
}
inline Flags Same(Vec a, char c) {
  const __m256i v = _mm256_set1_epi8(c);
  return {_mm256_cmpeq_epi8(a.lo, v), _mm256_cmpeq_epi8(a.hi, v)};
}
inline Flags UpTo(Vec a, char most) {
  const __m256i v = _mm256_set1_epi8(most);
  return {_mm256_cmpeq_epi8(_mm256_min_epu8(a.lo, v), a.lo),
          _mm256_cmpeq_epi8(_mm256_min_epu8(a.hi, v), a.hi)};
}
inline Flags IsLetter(Vec lower) {
  const __m256i a = _mm256_set1_epi8('a');
  return UpTo({_mm256_sub_epi8(lower.lo, a), _mm256_sub_epi8(lower.hi, a)}, 25);
}
inline std::uint64_t Eq(Vec a, char c) { return Bits(Same(a, c)); }

#include "markup_wide.inc"

}  // namespace avx2
BREVIO_TARGET_END

BREVIO_TARGET_BEGIN("avx512f,avx512bw,bmi,bmi2,popcnt,pclmul")
namespace avx512 {

inline std::uint64_t PrefixXor(std::uint64_t x) { return PrefixXorByClmul(x); }

using Vec = __m512i;
inline Vec Load(const char* p) { return _mm512_loadu_si512(p); }
inline Vec Lower(Vec a) { return _mm512_or_si512(a, _mm512_set1_epi8(0x20)); }
// Byte flags are the compare masks themselves.
using Flags = std::uint64_t;
inline Flags And(Flags a, Flags b) { return a & b; }
inline Flags Or(Flags a, Flags b) { return a | b; }
inline Flags AndNot(Flags a, Flags b) { return a & ~b; }
inline std::uint64_t Bits(Flags f) { return f; }
inline Flags Same(Vec a, char c) { return _mm512_cmpeq_epi8_mask(a, _mm512_set1_epi8(c)); }
inline Flags UpTo(Vec a, char most) { return _mm512_cmple_epu8_mask(a, _mm512_set1_epi8(most)); }
inline Flags IsLetter(Vec lower) {
  return _mm512_cmplt_epu8_mask(_mm512_sub_epi8(lower, _mm512_set1_epi8('a')),
                                _mm512_set1_epi8(26));
}
inline std::uint64_t Eq(Vec a, char c) { return Same(a, c); }

#include "markup_wide.inc"

}  // namespace avx512
BREVIO_TARGET_END

#endif  // BREVIO_WIDE_X86

}  // namespace

const char* RawStopWide(const char* p, const char* end, char first) {
#if defined(BREVIO_WIDE_X86)
  switch (ActiveSimd()) {
    case Simd::kSse2:
    case Simd::kSse42:
      return sse2::RawStop(p, end, first);
    case Simd::kAvx2: {
      static const bool clmul = __builtin_cpu_supports("pclmul");
      return clmul ? avx2::RawStop(p, end, first) : sse2::RawStop(p, end, first);
    }
    case Simd::kAvx512:
    case Simd::kAvx512Vbmi2:
      return avx512::RawStop(p, end, first);
    default:
      break;
  }
#endif
  (void)end;
  (void)first;
  return p;
}

MarkupWide MarkupWideScan(const char* p, const char* end, MarkupCarry& carry, unsigned flags) {
#if defined(BREVIO_WIDE_X86)
  switch (ActiveSimd()) {
    case Simd::kSse2:
    case Simd::kSse42:
      return sse2::Scan(p, end, carry, flags);
    case Simd::kAvx2: {
      // Every processor with AVX2 known has the carry-less multiply too;
      // should one lack it, the SSE2 loop serves.
      static const bool clmul = __builtin_cpu_supports("pclmul");
      return clmul ? avx2::Scan(p, end, carry, flags) : sse2::Scan(p, end, carry, flags);
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

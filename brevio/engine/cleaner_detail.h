#pragma once
// Inside the cleaner: the byte scanners, the gap rule of a whole file and the
// choice of the wide loop. Private to the engine (and its tests and
// benchmarks); callers use stream_cleaner.h.

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "brevio/engine/stream_cleaner.h"

namespace brevio {

namespace detail {

inline bool IsBlankByte(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The copy loop stops at every control byte up to CR (a cheap superset of
// TAB, LF and CR: two vector operations instead of five). A false stop at
// NUL or the like only costs one more round of the caller's loop.
inline bool IsScanStop(unsigned char c) { return c <= '\r'; }
inline bool IsScanBlank(unsigned char c) { return c == ' ' || IsScanStop(c); }

#if defined(__SSE2__)
// Bit i set: byte i of the 16 at p stops a plain copy. That is a control
// byte up to CR, or a space followed by a space or such a byte (p[16] must be
// readable).
inline unsigned StopMask(const char* p) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(a, _mm_set1_epi8('\r')), a);
  const auto low_bits = static_cast<unsigned>(_mm_movemask_epi8(low));
  const auto space_bits =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, _mm_set1_epi8(' '))));
  const unsigned next_blank = ((low_bits | space_bits) >> 1) |
                              (IsScanBlank(static_cast<unsigned char>(p[16])) ? 0x8000u : 0u);
  return low_bits | (space_bits & next_blank);
}
#endif

// First position in [p, end) where a plain copy has to stop: a TAB, LF or CR
// (or another control byte, see IsScanStop), or a space that is followed by
// a space, TAB, LF or CR or by the end of the piece. A lone space between two
// ordinary bytes is copied with them, which keeps the runs long on real text.
inline const char* ScanRun(const char* p, const char* end) {
#if defined(__SSE2__)
  while (end - p >= 17) {
    if (const unsigned mask = StopMask(p); mask != 0) return p + __builtin_ctz(mask);
    p += 16;
  }
#endif
  for (; p < end; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (IsScanStop(c)) return p;
    if (c == ' ' && (p + 1 == end || IsScanBlank(static_cast<unsigned char>(p[1])))) return p;
  }
  return end;
}

// Copies the run that starts with the ordinary byte at p (always at least
// that byte) and returns where it stops. Scan and copy go in one pass: each
// 16-byte block is stored whole before its stop is known, so out needs 16
// bytes of slack.
inline const char* CopyRun(const char* p, const char* end, char*& out) {
#if defined(__SSE2__)
  unsigned first = ~1u;  // the first byte is copied whatever it is
  while (end - p >= 17) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    if (const unsigned mask = StopMask(p) & first; mask != 0) {
      const int n = __builtin_ctz(mask);
      out += n;
      return p + n;
    }
    first = ~0u;
    p += 16;
    out += 16;
  }
  if (first != ~0u) {
    *out++ = *p++;
  }
#else
  *out++ = *p++;
#endif
  const char* stop = ScanRun(p, end);
  std::memcpy(out, p, static_cast<std::size_t>(stop - p));
  out += stop - p;
  return stop;
}

// First byte in [p, end) that is neither space nor TAB.
inline const char* SkipBlanks(const char* p, const char* end) {
#if defined(__SSE2__)
  while (end - p >= 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const auto blank = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
        _mm_cmpeq_epi8(a, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(a, _mm_set1_epi8('\t')))));
    if (blank != 0xFFFFu) return p + __builtin_ctz(~blank);
    p += 16;
  }
#endif
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  return p;
}

// A gap: the bytes from p up to the next ordinary byte, all of them SP, TAB,
// LF or CR. What cleaning needs to know of it: where it ends, where its first
// CR is (the line end; -1 when there is none) and whether an LF comes before
// that CR (or anywhere in the gap when there is none).
struct Gap {
  const char* end;
  std::ptrdiff_t first_cr;
  bool lf;
};

inline Gap ScanGap(const char* p, const char* end) {
  const char* const start = p;
  std::ptrdiff_t first_cr = -1;
  bool lf = false;
#if defined(__SSE2__)
  while (end - p >= 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const auto cr_bits =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, _mm_set1_epi8('\r'))));
    const auto lf_bits =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, _mm_set1_epi8('\n'))));
    const auto blank_bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
        _mm_cmpeq_epi8(a, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(a, _mm_set1_epi8('\t')))));
    const unsigned gap_bits = cr_bits | lf_bits | blank_bits;
    const int length = gap_bits == 0xFFFFu ? 16 : __builtin_ctz(~gap_bits);
    const unsigned inside = (1u << length) - 1;
    if (first_cr < 0) {
      if (const unsigned crs = cr_bits & inside; crs != 0) {
        const int at = __builtin_ctz(crs);
        first_cr = (p - start) + at;
        lf = lf || (lf_bits & ((1u << at) - 1)) != 0;
      } else {
        lf = lf || (lf_bits & inside) != 0;
      }
    }
    if (length < 16) return {p + length, first_cr, lf};
    p += 16;
  }
#endif
  for (; p < end; ++p) {
    const char c = *p;
    if (c == '\r') {
      if (first_cr < 0) first_cr = p - start;
    } else if (c == '\n') {
      if (first_cr < 0) lf = true;
    } else if (c != ' ' && c != '\t') {
      break;
    }
  }
  return {p, first_cr, lf};
}

// What a whole-file cleaner carries from one byte to the next.
using FileState = CleanState;

template <Eol kEol, class Out>
inline void AppendLineEnd(Out& out) {
  if constexpr (kEol == Eol::kLf) {
    out.append_lf();
  } else {
    out.append_crlf();
  }
}

// Before an ordinary byte: what is owed gets written.
template <Eol kEol = Eol::kRule, class Out>
inline void PayOwed(FileState& s, Out& out) {
  if (s.owe_crlf) {
    AppendLineEnd<kEol>(out);
    s.owe_crlf = false;
  }
  if (s.owed_spaces != 0) {
    out.append_spaces(1);
    s.owed_spaces = 0;
  }
}

// A whole gap of blanks and line ends, in file mode.
template <Eol kEol, class Out>
inline void ApplyGap(const Gap& gap, FileState& s, Out& out) {
  if (gap.first_cr < 0) {
    if (gap.lf) {
      // Several owed CR LFs are one: blank lines collapse.
      s.owe_crlf = s.owe_crlf || s.line_has_output;
      s.segment_has_output = false;
      s.owed_spaces = 0;
    } else if (s.segment_has_output) {
      s.owed_spaces = 1;  // one space at most, and only inside a segment
    }
  } else {
    // The first CR ends the line. What follows it in the gap (an LF of
    // CR LF, blank lines) starts lines without output: it changes nothing,
    // in this piece or at the start of the next.
    // By the rule a line end owed (an LF, its segment empty) is written
    // besides the line's own: a blank line. The other line ends write one.
    if constexpr (kEol == Eol::kRule) {
      if (s.owe_crlf || (gap.lf && s.line_has_output)) out.append_crlf();
    }
    if (s.line_has_output) AppendLineEnd<kEol>(out);
    s = FileState{};
  }
}

// The whole-file state at the end of [begin, end), given the state at begin.
// It follows from the bytes after the last ordinary byte or CR, so only those
// are cleaned (into a counter); before comes matters only when there is none.
CleanState StateAtCut(const char* begin, const char* end, const CleanState& before);

// Wide whole-file loops over 64-byte windows (wide_scan.cpp), one per
// instruction set, chosen at run time. Each cleans from p while at least
// kWideMin bytes are left, writes through out (up to 128 bytes past what it
// keeps, within the slack of StreamCleaner::MaxOutput) and returns where it
// stopped, with the state at that byte.
// One for each Eol.
using WideFileLoop = const char* (*)(const char* p, const char* end, char*& out, FileState& s);
inline constexpr std::ptrdiff_t kWideMin = 65;
// The same before a kept stretch that starts at end and may be read up to
// limit: it ends a gap as text does, so the loop cleans right up to it
// (while a window fits before limit) instead of leaving the last bytes to
// the portable loop.
using FencedWideFileLoop = const char* (*)(const char* p, const char* end, const char* limit,
                                           char*& out, FileState& s);

// kSse2 has no wide loop: the portable loop's scans use it. The others work
// out which bytes of a 64-byte window survive from its masks (a plan) and
// write them: kSse42 (SSE4.2 with POPCNT), kAvx2 and kAvx512 (which only
// classifies faster) gather them with byte shuffles, kAvx512Vbmi2 with a
// byte compress.
enum class Simd { kNone, kSse2, kSse42, kAvx2, kAvx512, kAvx512Vbmi2 };
// The loop in use (nullptr: the portable loop alone).
WideFileLoop ActiveWideFileLoop(Eol eol = Eol::kRule);
FencedWideFileLoop ActiveFencedWideFileLoop(Eol eol = Eol::kRule);
Simd ActiveSimd();
// Selects an instruction set; false (and no change) when this CPU lacks it.
// For tests and benchmarks: the best one is chosen at start-up.
bool UseSimd(Simd simd);

}  // namespace detail

}  // namespace brevio

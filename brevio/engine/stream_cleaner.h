#pragma once
// The one implementation of Brevio's cleaning rules, as a byte state machine
// that takes its input in pieces of any size.
//
// Rules, per LF-separated segment of a line: tabs count as spaces, spaces at
// both ends of the segment go, a run of spaces inside it becomes one space.
// Segments that clean to nothing vanish; the others are joined by CR LF; when
// empty segments follow the last non-empty one, the line ends in one CR LF.
//
// Instead of building each segment, the machine owes what it may have to
// write: a space (written only when a non-space byte follows in the same
// segment) and a CR LF (written before the next non-empty segment, or once
// at the end of the line). So it never holds a line, whatever its length.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brevio {

enum class CleanMode {
  // CleanSegment: tabs to spaces, spaces at both ends removed, nothing else.
  // Inner space runs are kept at their length, LF and CR are ordinary bytes.
  kSegment,
  // CleanLine: the whole line rules; CR is an ordinary byte.
  kLine,
  // A whole file: a CR ends a line (an LF right after it belongs to that
  // line end) and every line with output is followed by CR LF.
  kFile,
};

// Sink writing into a caller-owned buffer without bounds checks. The caller
// guarantees room for StreamCleaner::MaxOutput(n) bytes per feed of n bytes
// and kMaxFinishOutput bytes for finish (kLine and kFile modes). Runs are
// copied up to 64 bytes at a time, so the bound includes that much slack.
namespace detail {

// Unchecked writes at a position; the caller has made room (see BufferSink).
// The cleaner's fast path keeps one of these in registers.
struct RawOut {
  char* pos;
  void append(const char* data, std::size_t n) {
    std::memcpy(pos, data, n);
    pos += n;
  }
  void append_crlf() {
    pos[0] = '\r';
    pos[1] = '\n';
    pos += 2;
  }
  void append_spaces(std::uint64_t n) {
    std::memset(pos, ' ', n);
    pos += n;
  }
};

}  // namespace detail

class BufferSink {
 public:
  explicit BufferSink(char* out) : begin_(out), out_{out} {}
  void append(const char* data, std::size_t n) { out_.append(data, n); }
  void append_crlf() { out_.append_crlf(); }
  void append_spaces(std::uint64_t n) { out_.append_spaces(n); }
  std::size_t size() const { return static_cast<std::size_t>(out_.pos - begin_); }
  // The write position, for the copy loop that scans and copies in one go.
  char*& position() { return out_.pos; }

 private:
  char* begin_;
  detail::RawOut out_;
};

class StringSink {
 public:
  explicit StringSink(std::string& out) : out_(out) {}
  void append(const char* data, std::size_t n) { out_.append(data, n); }
  void append_crlf() { out_.append("\r\n", 2); }
  void append_spaces(std::uint64_t n) { out_.append(n, ' '); }

 private:
  std::string& out_;
};

// Counts what would be written; used for dry runs.
class CountingSink {
 public:
  void append(const char*, std::size_t n) { count_ += n; }
  void append_crlf() { count_ += 2; }
  void append_spaces(std::uint64_t n) { count_ += n; }
  std::uint64_t count() const { return count_; }

 private:
  std::uint64_t count_ = 0;
};

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
struct FileState {
  bool segment_has_output = false;
  bool line_has_output = false;
  bool owe_crlf = false;
  std::uint64_t owed_spaces = 0;
};

// Before an ordinary byte: what is owed gets written.
template <class Out>
inline void PayOwed(FileState& s, Out& out) {
  if (s.owe_crlf) {
    out.append_crlf();
    s.owe_crlf = false;
  }
  if (s.owed_spaces != 0) {
    out.append_spaces(1);
    s.owed_spaces = 0;
  }
}

// A whole gap of blanks and line ends, in file mode.
template <class Out>
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
    if (s.owe_crlf || (gap.lf && s.line_has_output)) out.append_crlf();
    if (s.line_has_output) out.append_crlf();
    s = FileState{};
  }
}

// Wide whole-file loops over 64-byte windows (wide_scan.cpp), one per
// instruction set, chosen at run time. Each cleans from p while at least
// kWideMin bytes are left, writes through out (up to 64 bytes of slack) and
// returns where it stopped, with the state at that byte.
using WideFileLoop = const char* (*)(const char* p, const char* end, char*& out, FileState& s);
inline constexpr std::ptrdiff_t kWideMin = 65;

enum class Simd { kNone, kSse2, kAvx2, kAvx512 };
// The loop in use (nullptr: the portable loop alone).
WideFileLoop ActiveWideFileLoop();
Simd ActiveSimd();
// Selects an instruction set; false (and no change) when this CPU lacks it.
// For tests and benchmarks: the best one is chosen at start-up.
bool UseSimd(Simd simd);

}  // namespace detail

template <CleanMode kMode>
class StreamCleaner {
 public:
  // Most bytes one feed of n bytes can write: an owed CR LF and space from
  // earlier pieces, then at most two bytes per byte given (a CR ending a
  // line after an LF in the same piece: "a LF CR" gives "a CR LF CR LF").
  // Not a bound for kSegment, whose owed spaces are counted, not capped.
  // Plus 64 bytes of slack for the block copies of BufferSink.
  static constexpr std::size_t MaxOutput(std::size_t n) { return 2 * n + 4 + 64; }
  static constexpr std::size_t kMaxFinishOutput = 4;

  // Cleans the next piece of input. Splitting the input anywhere gives the
  // same output as feeding it whole.
  template <class Sink>
  void feed(std::string_view chunk, Sink& sink) {
    if constexpr (requires { sink.position(); }) {
      // A local copy of the write position: writes through a char pointer
      // may alias anything, which would force every member back to memory.
      RawOut out{sink.position()};
      Feed(chunk, out);
      sink.position() = out.pos;
    } else {
      Feed(chunk, sink);
    }
  }

  // Ends the input: the last line needs no line end. The cleaner can be
  // used again afterwards.
  template <class Sink>
  void finish(Sink& sink) {
    if constexpr (kMode == CleanMode::kFile) {
      EndLine(sink);
    } else {
      if (owe_crlf_) sink.append_crlf();
      Reset();
    }
  }

 private:
  using RawOut = detail::RawOut;

  // Copies a run of ordinary bytes starting at p; returns where it stopped.
  template <class Out>
  static const char* CopyRunTo(const char* p, const char* end, Out& out) {
    if constexpr (std::is_same_v<Out, RawOut>) {
      return detail::CopyRun(p, end, out.pos);
    } else {
      const char* run_end = detail::ScanRun(p + 1, end);
      out.append(p, static_cast<std::size_t>(run_end - p));
      return run_end;
    }
  }

  // The state lives in locals for the loop (see feed) and goes back to the
  // members at the end. The loop follows the shape of real text (indent,
  // run, blanks, run, ..., line end) so that its branches stay predictable.
  template <class Out>
  void Feed(std::string_view chunk, Out& out) {
    const char* p = chunk.data();
    const char* const end = p + chunk.size();
    bool segment_has_output = segment_has_output_;
    bool line_has_output = line_has_output_;
    bool owe_crlf = owe_crlf_;
    std::uint64_t owed_spaces = owed_spaces_;

    if constexpr (kMode == CleanMode::kSegment) {
      // Inner space runs keep their length here, so count each blank.
      while (p < end) {
        if (*p == ' ' || *p == '\t') {
          if (segment_has_output) ++owed_spaces;
          ++p;
          continue;
        }
        if (owed_spaces != 0) {
          out.append_spaces(owed_spaces);
          owed_spaces = 0;
        }
        p = CopyRunTo(p, end, out);
        segment_has_output = true;
      }
    } else if constexpr (kMode == CleanMode::kFile) {
      detail::FileState s{segment_has_output, line_has_output, owe_crlf, owed_spaces};
      if constexpr (std::is_same_v<Out, RawOut>) {
        if (end - p >= detail::kWideMin) {
          if (const detail::WideFileLoop loop = detail::ActiveWideFileLoop(); loop != nullptr) {
            p = loop(p, end, out.pos, s);
          }
        }
      }
      // Text alternates between runs of ordinary bytes and gaps of blanks and
      // line ends; each gap is dealt with in one step.
      while (p < end) {
        if (!detail::IsBlankByte(static_cast<unsigned char>(*p))) {
          detail::PayOwed(s, out);
          p = CopyRunTo(p, end, out);
          s.segment_has_output = true;
          s.line_has_output = true;
          // The copy also stops at NUL and other control bytes: text.
          if (p == end || !detail::IsBlankByte(static_cast<unsigned char>(*p))) continue;
        }
        const detail::Gap gap = detail::ScanGap(p, end);
        detail::ApplyGap(gap, s, out);
        p = gap.end;
      }
      segment_has_output = s.segment_has_output;
      line_has_output = s.line_has_output;
      owe_crlf = s.owe_crlf;
      owed_spaces = s.owed_spaces;
    } else {
      while (p < end) {
        auto c = static_cast<unsigned char>(*p);
        if (!detail::IsBlankByte(c)) {
          // An ordinary byte: pay what is owed, then copy the whole run.
          if (owe_crlf) {
            out.append_crlf();
            owe_crlf = false;
          }
          if (owed_spaces != 0) {
            out.append_spaces(1);
            owed_spaces = 0;
          }
          p = CopyRunTo(p, end, out);
          segment_has_output = true;
          line_has_output = true;
          if (p == end) break;
          c = static_cast<unsigned char>(*p);
        }
        if (c == ' ' || c == '\t') {
          // One space is owed at most, and only inside a segment.
          owed_spaces = segment_has_output ? 1 : 0;
          p = detail::SkipBlanks(p + 1, end);
          if (p == end) break;
          c = static_cast<unsigned char>(*p);
        }
        if (c == '\n') {
          segment_has_output = false;
          owed_spaces = 0;
          // Several owed CR LFs are one: blank lines collapse.
          owe_crlf = owe_crlf || line_has_output;
          // Blanks at the start of the next segment are dropped.
          p = detail::SkipBlanks(p + 1, end);
          continue;
        }
        // An ordinary byte (or a CR inside a line): the next round copies it.
        if (!detail::IsBlankByte(c)) continue;
        // A CR in kLine mode is text; the scan stops at it, so write it here.
        if (owe_crlf) {
          out.append_crlf();
          owe_crlf = false;
        }
        if (owed_spaces != 0) {
          out.append_spaces(1);
          owed_spaces = 0;
        }
        out.append(p, 1);
        ++p;
        segment_has_output = true;
        line_has_output = true;
      }
    }
    segment_has_output_ = segment_has_output;
    line_has_output_ = line_has_output;
    owe_crlf_ = owe_crlf;
    owed_spaces_ = owed_spaces;
  }

  template <class Sink>
  void EndLine(Sink& sink) {
    if (owe_crlf_) sink.append_crlf();
    if (line_has_output_) sink.append_crlf();
    Reset();
  }

  void Reset() {
    segment_has_output_ = false;
    line_has_output_ = false;
    owe_crlf_ = false;
    owed_spaces_ = 0;
  }

  bool segment_has_output_ = false;
  bool line_has_output_ = false;
  bool owe_crlf_ = false;
  std::uint64_t owed_spaces_ = 0;
};

using LineStreamCleaner = StreamCleaner<CleanMode::kLine>;
using FileStreamCleaner = StreamCleaner<CleanMode::kFile>;

}  // namespace brevio

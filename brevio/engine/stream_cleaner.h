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
// and kMaxFinishOutput bytes for finish (kLine and kFile modes).
class BufferSink {
 public:
  explicit BufferSink(char* out) : begin_(out), pos_(out) {}
  void append(const char* data, std::size_t n) {
    std::memcpy(pos_, data, n);
    pos_ += n;
  }
  void append_crlf() {
    pos_[0] = '\r';
    pos_[1] = '\n';
    pos_ += 2;
  }
  void append_spaces(std::uint64_t n) {
    std::memset(pos_, ' ', n);
    pos_ += n;
  }
  std::size_t size() const { return static_cast<std::size_t>(pos_ - begin_); }

 private:
  char* begin_;
  char* pos_;
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

inline bool IsStopByte(unsigned char c) { return c == '\t' || c == '\n' || c == '\r'; }

// First position in [p, end) where a plain copy has to stop: a TAB, LF or CR,
// or a space that is followed by a space, TAB, LF or CR or by the end of the
// piece. A lone space between two ordinary bytes is copied with them, which
// keeps the runs long on real text.
inline const char* ScanRun(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i tab = _mm_set1_epi8('\t');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i sp = _mm_set1_epi8(' ');
  while (end - p >= 17) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    const __m128i special_a = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(a, tab), _mm_cmpeq_epi8(a, lf)),
                                           _mm_cmpeq_epi8(a, cr));
    const __m128i blank_b =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, tab), _mm_cmpeq_epi8(b, lf)),
                     _mm_or_si128(_mm_cmpeq_epi8(b, cr), _mm_cmpeq_epi8(b, sp)));
    const __m128i stop =
        _mm_or_si128(special_a, _mm_and_si128(_mm_cmpeq_epi8(a, sp), blank_b));
    const int mask = _mm_movemask_epi8(stop);
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  for (; p < end; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (IsStopByte(c)) return p;
    if (c == ' ') {
      if (p + 1 == end) return p;
      const auto next = static_cast<unsigned char>(p[1]);
      if (next == ' ' || IsStopByte(next)) return p;
    }
  }
  return end;
}

}  // namespace detail

template <CleanMode kMode>
class StreamCleaner {
 public:
  // Most bytes one feed of n bytes can write: an owed CR LF and space from
  // earlier pieces, then at most two bytes per byte given (a CR ending a
  // line after an LF in the same piece: "a LF CR" gives "a CR LF CR LF").
  // Not a bound for kSegment, whose owed spaces are counted, not capped.
  static constexpr std::size_t MaxOutput(std::size_t n) { return 2 * n + 4; }
  static constexpr std::size_t kMaxFinishOutput = 4;

  // Cleans the next piece of input. Splitting the input anywhere gives the
  // same output as feeding it whole.
  template <class Sink>
  void feed(std::string_view chunk, Sink& sink) {
    const char* p = chunk.data();
    const char* const end = p + chunk.size();
    if constexpr (kMode == CleanMode::kFile) {
      // The LF of a CR LF line end may start the next piece.
      if (after_cr_ && p < end) {
        if (*p == '\n') ++p;
        after_cr_ = false;
      }
    }
    while (p < end) {
      const auto c = static_cast<unsigned char>(*p);
      if (c == ' ' || c == '\t') {
        if (segment_has_output_) {
          if constexpr (kMode == CleanMode::kSegment) {
            ++owed_spaces_;
          } else {
            owed_spaces_ = 1;
            // Skip the rest of an indentation or alignment run at once.
            ++p;
            while (p < end && (*p == ' ' || *p == '\t')) ++p;
            continue;
          }
        } else if constexpr (kMode != CleanMode::kSegment) {
          ++p;
          while (p < end && (*p == ' ' || *p == '\t')) ++p;
          continue;
        }
        ++p;
        continue;
      }
      if constexpr (kMode != CleanMode::kSegment) {
        if (c == '\n') {
          EndSegment();
          ++p;
          continue;
        }
      }
      if constexpr (kMode == CleanMode::kFile) {
        if (c == '\r') {
          EndLine(sink);
          ++p;
          if (p == end) {
            after_cr_ = true;
          } else if (*p == '\n') {
            ++p;
          }
          continue;
        }
      }
      // An ordinary byte: pay what is owed, then copy the whole run.
      if (owe_crlf_) {
        sink.append_crlf();
        owe_crlf_ = false;
      }
      if (owed_spaces_ != 0) {
        sink.append_spaces(owed_spaces_);
        owed_spaces_ = 0;
      }
      const char* run_end = detail::ScanRun(p + 1, end);
      sink.append(p, static_cast<std::size_t>(run_end - p));
      segment_has_output_ = true;
      line_has_output_ = true;
      p = run_end;
    }
  }

  // Ends the input: the last line needs no line end. The cleaner can be
  // used again afterwards.
  template <class Sink>
  void finish(Sink& sink) {
    if constexpr (kMode == CleanMode::kFile) {
      EndLine(sink);
      after_cr_ = false;
    } else {
      if (owe_crlf_) sink.append_crlf();
      Reset();
    }
  }

 private:
  void EndSegment() {
    segment_has_output_ = false;
    owed_spaces_ = 0;
    // Several owed CR LFs are one: blank lines collapse.
    if (line_has_output_) owe_crlf_ = true;
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
  bool after_cr_ = false;
  std::uint64_t owed_spaces_ = 0;
};

using LineStreamCleaner = StreamCleaner<CleanMode::kLine>;
using FileStreamCleaner = StreamCleaner<CleanMode::kFile>;

}  // namespace brevio

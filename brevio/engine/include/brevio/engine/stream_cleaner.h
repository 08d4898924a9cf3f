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

// How the lines of a whole file (kFile) end in the output.
enum class LineEnd : std::uint8_t {
  // CR LF, by the rule: a line whose last LF-separated segment is empty
  // ends in a blank line, so output trimmed again may change.
  kCrLf,
  // LF, and never a blank line: trimming the output again changes nothing.
  kLf,
  // As the file's first line end (its first CR or LF byte): a lone LF gives
  // LF, CR LF or a lone CR gives CR LF; no line end at all, CR LF. Never a
  // blank line, as with kLf.
  kKeep,
};

namespace detail {

// The line end a whole-file cleaner writes: CR LF with the rule's blank
// lines, CR LF without them, or LF without them. Which one never changes
// the state the cleaner carries, only what it writes.
enum class Eol : std::uint8_t { kRule, kCrLf, kLf };

// What a line end option writes; kKeep writes CR LF until the first line
// end read says otherwise.
constexpr Eol EolFor(LineEnd line_end) {
  return line_end == LineEnd::kLf ? Eol::kLf : line_end == LineEnd::kKeep ? Eol::kCrLf : Eol::kRule;
}

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
  void append_lf() { *pos++ = '\n'; }
  void append_spaces(std::uint64_t n) {
    std::memset(pos, ' ', n);
    pos += n;
  }
};

// What the machine carries from one byte to the next.
struct CleanState {
  bool segment_has_output = false;
  bool line_has_output = false;
  bool owe_crlf = false;
  std::uint64_t owed_spaces = 0;
};

}  // namespace detail

// Sink writing into a caller-owned buffer without bounds checks. The caller
// guarantees room for StreamCleaner::MaxOutput(n) bytes per feed of n bytes
// and kMaxFinishOutput bytes for finish (kLine and kFile modes). The fast
// loops store whole vectors, so the bound includes that much slack.
class BufferSink {
 public:
  explicit BufferSink(char* out) : begin_(out), out_{out} {}
  void append(const char* data, std::size_t n) { out_.append(data, n); }
  void append_crlf() { out_.append_crlf(); }
  void append_lf() { out_.append_lf(); }
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
  void append_lf() { out_.push_back('\n'); }
  void append_spaces(std::uint64_t n) { out_.append(n, ' '); }

 private:
  std::string& out_;
};

// Counts what would be written; used for dry runs.
class CountingSink {
 public:
  void append(const char*, std::size_t n) { count_ += n; }
  void append_crlf() { count_ += 2; }
  void append_lf() { ++count_; }
  void append_spaces(std::uint64_t n) { count_ += n; }
  std::uint64_t count() const { return count_; }

 private:
  std::uint64_t count_ = 0;
};

// The cleaner for one mode. feed and finish take the three sinks above (the
// code lives in stream_cleaner.cpp, built once for each mode and sink).
template <CleanMode kMode>
class StreamCleaner {
 public:
  // Most bytes one feed of n bytes can write: an owed CR LF and space from
  // earlier pieces, then at most two bytes per byte given (a CR ending a
  // line after an LF in the same piece: "a LF CR" gives "a CR LF CR LF").
  // Not a bound for kSegment, whose owed spaces are counted, not capped.
  // Plus 128 bytes of slack for the vector stores into a BufferSink.
  static constexpr std::size_t MaxOutput(std::size_t n) { return 2 * n + 4 + 128; }
  static constexpr std::size_t kMaxFinishOutput = 4;

  // line_end: for kFile; the other modes write CR LF by their rule.
  explicit StreamCleaner(LineEnd line_end = LineEnd::kCrLf)
      : eol_(detail::EolFor(line_end)),
        eol_pending_(line_end == LineEnd::kKeep),
        keep_(line_end == LineEnd::kKeep) {}
  // A cleaner that goes on from a state another one reached (or that
  // StateAtCut worked out), so that neighbouring pieces can be cleaned at
  // once, writing the line end given (LineEnd::kKeep already decided).
  explicit StreamCleaner(const detail::CleanState& state, detail::Eol eol = detail::Eol::kRule)
      : state_(state), eol_(eol) {}
  const detail::CleanState& state() const { return state_; }

  // Cleans the next piece of input. Splitting the input anywhere gives the
  // same output as feeding it whole.
  template <class Sink>
  void feed(std::string_view chunk, Sink& sink);

  // A stretch the rule leaves alone (a protected region, see protect.h):
  // what is owed before it is written, then the stretch as it is; to the
  // rule it is one word of text on the current line.
  template <class Sink>
  void feed_kept(std::string_view chunk, Sink& sink);

  // feed for a piece that a kept stretch follows in memory (fed next with
  // feed_kept), readable up to readable_end: the same output, but the wide
  // loop may look past the piece's end, so it cleans the piece to its end.
  template <class Sink>
  void feed_before_kept(std::string_view chunk, const char* readable_end, Sink& sink);

  // Ends the input: the last line needs no line end. The cleaner can be
  // used again afterwards.
  template <class Sink>
  void finish(Sink& sink);

 private:
  detail::CleanState state_;
  detail::Eol eol_ = detail::Eol::kRule;
  // LineEnd::kKeep before the first line end: eol_ is decided by it.
  bool eol_pending_ = false;
  bool keep_ = false;  // decided anew for the next input after finish
};

namespace detail {
// Where the first line end of bytes is (a CR or LF byte) and the line end
// LineEnd::kKeep takes from it; false when they hold none.
bool FirstLineEnd(std::string_view bytes, Eol& eol);
}  // namespace detail

using LineStreamCleaner = StreamCleaner<CleanMode::kLine>;
using FileStreamCleaner = StreamCleaner<CleanMode::kFile>;

}  // namespace brevio

#include "brevio/engine/stream_cleaner.h"

#include <type_traits>

#include "cleaner_detail.h"

namespace brevio {

namespace {

using detail::CleanState;
using detail::RawOut;

// Copies a run of ordinary bytes starting at p; returns where it stopped.
template <class Out>
const char* CopyRunTo(const char* p, const char* end, Out& out) {
  if constexpr (std::is_same_v<Out, RawOut>) {
    return detail::CopyRun(p, end, out.pos);
  } else {
    const char* run_end = detail::ScanRun(p + 1, end);
    out.append(p, static_cast<std::size_t>(run_end - p));
    return run_end;
  }
}

// Text after blanks or a line end: what they owe is written first, then the
// run; the segment and the line now have output.
template <detail::Eol kEol = detail::Eol::kRule, class Out>
const char* CopyText(const char* p, const char* end, CleanState& s, Out& out) {
  detail::PayOwed<kEol>(s, out);
  p = CopyRunTo(p, end, out);
  s.segment_has_output = true;
  s.line_has_output = true;
  return p;
}

// CleanSegment: inner space runs keep their length, so each blank is counted.
template <class Out>
void FeedSegment(const char* p, const char* end, CleanState& s, Out& out) {
  while (p < end) {
    if (*p == ' ' || *p == '\t') {
      if (s.segment_has_output) ++s.owed_spaces;
      ++p;
      continue;
    }
    if (s.owed_spaces != 0) {
      out.append_spaces(s.owed_spaces);
      s.owed_spaces = 0;
    }
    p = CopyRunTo(p, end, out);
    s.segment_has_output = true;
  }
}

// A whole file: the wide loop while the piece is long enough, then text
// alternates between runs of ordinary bytes and gaps of blanks and line ends;
// each gap is dealt with in one step.
// readable_end: bytes past end that may be read, a kept stretch (nullptr:
// none).
template <detail::Eol kEol, class Out>
void FeedFile(const char* p, const char* end, CleanState& s, Out& out,
              const char* readable_end = nullptr) {
  if constexpr (std::is_same_v<Out, RawOut>) {
    if (readable_end != nullptr) {
      if (const detail::FencedWideFileLoop loop = detail::ActiveFencedWideFileLoop(kEol);
          loop != nullptr && readable_end - p >= detail::kWideMin) {
        p = loop(p, end, readable_end, out.pos, s);
      }
    } else if (end - p >= detail::kWideMin) {
      if (const detail::WideFileLoop loop = detail::ActiveWideFileLoop(kEol); loop != nullptr) {
        p = loop(p, end, out.pos, s);
      }
    }
  }
  while (p < end) {
    if (!detail::IsBlankByte(static_cast<unsigned char>(*p))) {
      p = CopyText<kEol>(p, end, s, out);
      // The copy also stops at NUL and other control bytes: text.
      if (p == end || !detail::IsBlankByte(static_cast<unsigned char>(*p))) continue;
    }
    const detail::Gap gap = detail::ScanGap(p, end);
    detail::ApplyGap<kEol>(gap, s, out);
    p = gap.end;
  }
}

// FeedFile for the line end a cleaner writes.
template <class Out>
void FeedFileWith(detail::Eol eol, const char* p, const char* end, CleanState& s, Out& out,
                  const char* readable_end = nullptr) {
  switch (eol) {
    case detail::Eol::kRule:
      FeedFile<detail::Eol::kRule>(p, end, s, out, readable_end);
      break;
    case detail::Eol::kCrLf:
      FeedFile<detail::Eol::kCrLf>(p, end, s, out, readable_end);
      break;
    case detail::Eol::kLf:
      FeedFile<detail::Eol::kLf>(p, end, s, out, readable_end);
      break;
  }
}

// CleanLine's step for the blank or line end at p (CR is text here); returns
// where the next step starts.
template <class Out>
const char* LineBlank(const char* p, const char* end, CleanState& s, Out& out) {
  if (*p == ' ' || *p == '\t') {
    // One space is owed at most, and only inside a segment.
    s.owed_spaces = s.segment_has_output ? 1 : 0;
    return detail::SkipBlanks(p + 1, end);
  }
  if (*p == '\n') {
    s.segment_has_output = false;
    s.owed_spaces = 0;
    // Several owed CR LFs are one: blank lines collapse.
    s.owe_crlf = s.owe_crlf || s.line_has_output;
    // Blanks at the start of the next segment are dropped.
    return detail::SkipBlanks(p + 1, end);
  }
  // A CR: text, but the run copy stops at it, so it is written here.
  detail::PayOwed(s, out);
  out.append(p, 1);
  s.segment_has_output = true;
  s.line_has_output = true;
  return p + 1;
}

// CleanLine: the loop follows the shape of real text (indent, run, blanks,
// run, ..., line end) so that its branches stay predictable.
template <class Out>
void FeedLine(const char* p, const char* end, CleanState& s, Out& out) {
  while (p < end) {
    if (!detail::IsBlankByte(static_cast<unsigned char>(*p))) {
      p = CopyText(p, end, s, out);
      continue;
    }
    p = LineBlank(p, end, s, out);
  }
}

template <CleanMode kMode, class Out>
void FeedMode(std::string_view chunk, CleanState& s, Out& out, detail::Eol eol) {
  const char* const p = chunk.data();
  const char* const end = p + chunk.size();
  if constexpr (kMode == CleanMode::kSegment) {
    FeedSegment(p, end, s, out);
  } else if constexpr (kMode == CleanMode::kFile) {
    FeedFileWith(eol, p, end, s, out);
  } else {
    FeedLine(p, end, s, out);
  }
}

}  // namespace

template <CleanMode kMode>
template <class Sink>
void StreamCleaner<kMode>::feed(std::string_view chunk, Sink& sink) {
  // No line end is written before the first one is read, so the line end
  // to keep is known in time.
  if (eol_pending_ && detail::FirstLineEnd(chunk, eol_)) eol_pending_ = false;
  // The state and (for a buffer) the write position live in locals for the
  // loop: writes through a char pointer may alias anything, which would
  // force every member back to memory.
  CleanState s = state_;
  if constexpr (requires { sink.position(); }) {
    RawOut out{sink.position()};
    FeedMode<kMode>(chunk, s, out, eol_);
    sink.position() = out.pos;
  } else {
    FeedMode<kMode>(chunk, s, sink, eol_);
  }
  state_ = s;
}

template <CleanMode kMode>
template <class Sink>
void StreamCleaner<kMode>::feed_before_kept(std::string_view chunk, const char* readable_end,
                                            Sink& sink) {
  if constexpr (kMode == CleanMode::kFile && requires { sink.position(); }) {
    if (eol_pending_ && detail::FirstLineEnd(chunk, eol_)) eol_pending_ = false;
    CleanState s = state_;
    RawOut out{sink.position()};
    FeedFileWith(eol_, chunk.data(), chunk.data() + chunk.size(), s, out, readable_end);
    sink.position() = out.pos;
    state_ = s;
  } else {
    (void)readable_end;
    feed(chunk, sink);
  }
}

template <CleanMode kMode>
template <class Sink>
void StreamCleaner<kMode>::feed_kept(std::string_view chunk, Sink& sink) {
  if (chunk.empty()) return;
  // A kept stretch's own line ends count as the file's too.
  if (eol_pending_ && detail::FirstLineEnd(chunk, eol_)) eol_pending_ = false;
  switch (eol_) {
    case detail::Eol::kLf:
      detail::PayOwed<detail::Eol::kLf>(state_, sink);
      break;
    default:
      detail::PayOwed(state_, sink);
      break;
  }
  sink.append(chunk.data(), chunk.size());
  state_.segment_has_output = true;
  state_.line_has_output = true;
}

template <CleanMode kMode>
template <class Sink>
void StreamCleaner<kMode>::finish(Sink& sink) {
  // A whole file ends its last line; the line modes pay only the owed CR LF.
  // Besides the rule a line end owed is that last line's own: one, not two.
  if (kMode == CleanMode::kFile && eol_ != detail::Eol::kRule) {
    if (state_.line_has_output) {
      eol_ == detail::Eol::kLf ? sink.append_lf() : sink.append_crlf();
    }
  } else {
    if (state_.owe_crlf) sink.append_crlf();
    if (kMode == CleanMode::kFile && state_.line_has_output) sink.append_crlf();
  }
  state_ = {};
  if (keep_) {
    eol_ = detail::Eol::kCrLf;
    eol_pending_ = true;
  }
}

bool detail::FirstLineEnd(std::string_view bytes, Eol& eol) {
  const auto* lf = static_cast<const char*>(std::memchr(bytes.data(), '\n', bytes.size()));
  const std::size_t before_lf =
      lf != nullptr ? static_cast<std::size_t>(lf - bytes.data()) : bytes.size();
  if (std::memchr(bytes.data(), '\r', before_lf) != nullptr) {
    eol = Eol::kCrLf;
    return true;
  }
  if (lf == nullptr) return false;
  eol = Eol::kLf;
  return true;
}

detail::CleanState detail::StateAtCut(const char* begin, const char* end,
                                      const CleanState& before) {
  const char* from = end;
  while (from != begin && from[-1] != '\r' && IsBlankByte(static_cast<unsigned char>(from[-1]))) {
    --from;
  }
  // From an ordinary byte or a CR on, the state before does not matter.
  FileStreamCleaner cleaner(from == begin ? before : CleanState{});
  if (from != begin) --from;
  CountingSink counter;
  cleaner.feed(std::string_view(from, static_cast<std::size_t>(end - from)), counter);
  return cleaner.state();
}

#define BREVIO_CLEANER_FOR(mode)                                                                   \
  template class StreamCleaner<mode>;                                                              \
  template void StreamCleaner<mode>::feed<BufferSink>(std::string_view, BufferSink&);              \
  template void StreamCleaner<mode>::feed<StringSink>(std::string_view, StringSink&);              \
  template void StreamCleaner<mode>::feed<CountingSink>(std::string_view, CountingSink&);          \
  template void StreamCleaner<mode>::feed_kept<BufferSink>(std::string_view, BufferSink&);         \
  template void StreamCleaner<mode>::feed_before_kept<BufferSink>(std::string_view, const char*,   \
                                                                  BufferSink&);                    \
  template void StreamCleaner<mode>::feed_before_kept<StringSink>(std::string_view, const char*,   \
                                                                  StringSink&);                    \
  template void StreamCleaner<mode>::feed_before_kept<CountingSink>(std::string_view, const char*, \
                                                                    CountingSink&);                \
  template void StreamCleaner<mode>::feed_kept<StringSink>(std::string_view, StringSink&);         \
  template void StreamCleaner<mode>::feed_kept<CountingSink>(std::string_view, CountingSink&);     \
  template void StreamCleaner<mode>::finish<BufferSink>(BufferSink&);                              \
  template void StreamCleaner<mode>::finish<StringSink>(StringSink&);                              \
  template void StreamCleaner<mode>::finish<CountingSink>(CountingSink&);

BREVIO_CLEANER_FOR(CleanMode::kSegment)
BREVIO_CLEANER_FOR(CleanMode::kLine)
BREVIO_CLEANER_FOR(CleanMode::kFile)

#undef BREVIO_CLEANER_FOR

}  // namespace brevio

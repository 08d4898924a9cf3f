#include "brevio/engine/protect.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "cleaner_detail.h"
#include "protect_detail.h"

namespace brevio {

namespace {

struct KindName {
  std::string_view name;
  ProtectSet bits;
};
constexpr std::array<KindName, 7> kKindNames = {{{"pre", kProtectPre},
                                                 {"textarea", kProtectTextarea},
                                                 {"script", kProtectScript},
                                                 {"style", kProtectStyle},
                                                 {"attributes", kProtectAttributes},
                                                 {"server", kProtectServer},
                                                 {"all", kProtectAll}}};

}  // namespace

std::optional<ProtectSet> ParseProtectList(std::string_view list, std::string& bad_name) {
  ProtectSet set = 0;
  for (;;) {
    const std::size_t comma = list.find(',');
    const std::string_view name = list.substr(0, comma);
    const KindName* found = nullptr;
    for (const KindName& kind : kKindNames) {
      if (kind.name == name) found = &kind;
    }
    if (found == nullptr) {
      bad_name = std::string(name);
      return std::nullopt;
    }
    set |= found->bits;
    if (comma == std::string_view::npos) return set;
    list.remove_prefix(comma + 1);
  }
}

std::string ProtectListText(ProtectSet set) {
  if ((set & kProtectAll) == kProtectAll) return "all";
  std::string text;
  for (const KindName& kind : kKindNames) {
    if (kind.bits != kProtectAll && (set & kind.bits) != 0) {
      if (!text.empty()) text += ',';
      text += kind.name;
    }
  }
  return text;
}

namespace detail {

namespace {

using K = MarkupKind;

bool IsLetter(unsigned char c) { return static_cast<unsigned char>((c | 0x20) - 'a') < 26; }
bool IsMarkBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
char Lower(unsigned char c) { return static_cast<char>(IsLetter(c) ? (c | 0x20) : c); }

std::string_view ElementName(std::uint8_t element) {
  switch (element) {
    case kProtectPre:
      return "pre";
    case kProtectTextarea:
      return "textarea";
    case kProtectScript:
      return "script";
    case kProtectStyle:
      return "style";
    default:
      return {};
  }
}

// The element a start tag opens, from its name; 0 for an ordinary tag.
std::uint8_t ElementOf(const MarkupState& s, ProtectSet set) {
  if (s.name_len > sizeof s.name) return 0;
  const std::string_view name(s.name, s.name_len);
  for (const std::uint8_t element : {std::uint8_t{kProtectPre}, std::uint8_t{kProtectTextarea},
                                     std::uint8_t{kProtectScript}, std::uint8_t{kProtectStyle}}) {
    // A pre is only set apart when it is kept: its content is markup.
    if (name == ElementName(element) && (element != kProtectPre || (set & kProtectPre) != 0)) {
      return element;
    }
  }
  return 0;
}

// A comment's text read against the two markers: leading blanks, the word,
// trailing blanks. Dashes are text unless they end the comment.
constexpr std::string_view kMarkerStem = "brevio:o";
constexpr std::uint8_t kMarkerOff = 20;  // "brevio:off" read
constexpr std::uint8_t kMarkerOn = 21;   // "brevio:on" read
constexpr std::uint8_t kMarkerF = 19;    // "brevio:of" read

std::uint8_t MarkerStep(std::uint8_t at, unsigned char c) {
  if (at == kNoMarker) return at;
  if (at == 0 && IsMarkBlank(c)) return 0;
  if (at < kMarkerStem.size()) {
    return static_cast<unsigned char>(kMarkerStem[at]) == c ? static_cast<std::uint8_t>(at + 1)
                                                            : kNoMarker;
  }
  if (at == kMarkerStem.size()) {
    if (c == 'f') return kMarkerF;
    if (c == 'n') return kMarkerOn;
    return kNoMarker;
  }
  if (at == kMarkerF) return c == 'f' ? kMarkerOff : kNoMarker;
  // A whole word: only blanks may follow.
  return IsMarkBlank(c) ? at : kNoMarker;
}

// One byte of a comment's text or of the "-->" that ends it (dashes that
// turn out not to end it are text). True at its end; marker then says
// which marker the whole text was (kNoMarker: none).
bool CommentStep(MarkupState& s, unsigned char c, std::uint8_t& marker) {
  if (c == '>' && s.dashes >= 2) {
    marker = s.dashes == 2 ? s.comment : kNoMarker;
    return true;
  }
  if (c == '-') {
    if (s.dashes < 3) ++s.dashes;
    return false;
  }
  if (s.dashes != 0) s.comment = kNoMarker;
  s.dashes = 0;
  s.comment = MarkerStep(s.comment, c);
  return false;
}

// In an off region, match counts "<!--" read so far; kInOffComment: in a
// comment, which may be the marker that ends the region.
constexpr std::uint8_t kInOffComment = 4;

void EnterServer(MarkupState& s, unsigned char ender) {
  s.outer = s.kind;
  s.kind = static_cast<std::uint8_t>(K::kServer);
  s.server_end = ender;
  s.match = 0;
  s.lt = false;
}

}  // namespace

bool Protects(const MarkupState& s, ProtectSet set) {
  switch (static_cast<K>(s.kind)) {
    case K::kTag:
    case K::kRaw:
      return (set & s.element) != 0;
    case K::kValue:
      return (set & (s.element | kProtectAttributes)) != 0;
    case K::kServer: {
      if ((set & kProtectServer) != 0) return true;
      MarkupState outer = s;
      outer.kind = s.outer;
      return Protects(outer, set);
    }
    case K::kOff:
      return true;
    default:
      return false;
  }
}

bool MarkupStep(MarkupState& s, unsigned char c, ProtectSet set) {
  for (;;) {
    switch (static_cast<K>(s.kind)) {
      case K::kText:
        if (c == '<') s.kind = static_cast<std::uint8_t>(K::kLt);
        return false;
      case K::kLt:
        if (c == '?' || c == '%') {
          // The block ends back in text, not after a "<".
          s.kind = static_cast<std::uint8_t>(K::kText);
          EnterServer(s, c);
          return Protects(s, set);
        }
        if (c == '/') {
          s.kind = static_cast<std::uint8_t>(K::kLtSlash);
        } else if (c == '!') {
          s.kind = static_cast<std::uint8_t>(K::kLtBang);
        } else if (IsLetter(c)) {
          s.kind = static_cast<std::uint8_t>(K::kTagName);
          s.name[0] = Lower(c);
          s.name_len = 1;
        } else if (c != '<') {
          s.kind = static_cast<std::uint8_t>(K::kText);
        }
        return false;
      case K::kLtSlash:
        if (IsLetter(c)) {
          s.kind = static_cast<std::uint8_t>(K::kTag);
          s.element = 0;
          s.lt = false;
        } else {
          s.kind = static_cast<std::uint8_t>(c == '<' ? K::kLt : K::kText);
        }
        return false;
      case K::kLtBang:
        if (c == '-') {
          s.kind = static_cast<std::uint8_t>(K::kLtBangDash);
          return false;
        }
        s.kind = static_cast<std::uint8_t>(K::kTag);  // a declaration
        s.element = 0;
        s.lt = false;
        continue;
      case K::kLtBangDash:
        if (c == '-') {
          s.kind = static_cast<std::uint8_t>(K::kComment);
          s.dashes = 0;
          s.comment = 0;
          s.lt = false;
          return false;
        }
        s.kind = static_cast<std::uint8_t>(K::kTag);
        s.element = 0;
        s.lt = false;
        continue;
      case K::kTagName:
        if (IsLetter(c)) {
          if (s.name_len < sizeof s.name) s.name[s.name_len] = Lower(c);
          if (s.name_len <= sizeof s.name) ++s.name_len;
          return false;
        }
        s.element = (IsMarkBlank(c) || c == '/' || c == '>') ? ElementOf(s, set) : 0;
        s.kind = static_cast<std::uint8_t>(K::kTag);
        s.lt = false;
        continue;
      case K::kTag:
      case K::kValue: {
        const bool in_value = s.kind == static_cast<std::uint8_t>(K::kValue);
        if (s.lt) {
          s.lt = false;
          if (c == '?' || c == '%') {
            EnterServer(s, c);
            return Protects(s, set);
          }
        }
        const bool kept = Protects(s, set);
        if (c == '<') {
          s.lt = true;
        } else if (in_value) {
          if (c == s.quote) s.kind = static_cast<std::uint8_t>(K::kTag);
        } else if (c == '"' || c == '\'') {
          s.kind = static_cast<std::uint8_t>(K::kValue);
          s.quote = c;
          return Protects(s, set);
        } else if (c == '>') {
          if (s.element != 0) {
            s.kind = static_cast<std::uint8_t>(K::kRaw);
            s.match = 0;
          } else {
            s.kind = static_cast<std::uint8_t>(K::kText);
          }
        }
        return kept;
      }
      case K::kRaw: {
        const bool kept = Protects(s, set);
        const std::string_view name = ElementName(s.element);
        const std::uint8_t full = static_cast<std::uint8_t>(2 + name.size());
        if (s.match == 1 && (c == '?' || c == '%')) {
          EnterServer(s, c);
          return Protects(s, set);
        }
        if (c == '<') {
          s.match = 1;
        } else if (s.match == 1) {
          s.match = c == '/' ? 2 : 0;
        } else if (s.match >= 2 && s.match < full) {
          s.match = Lower(c) == name[s.match - 2] ? static_cast<std::uint8_t>(s.match + 1) : 0;
        } else if (s.match == full) {
          if (c == '>') {
            s = MarkupState{};
          } else if (!IsMarkBlank(c)) {
            s.match = 0;
          }
        }
        return kept;
      }
      case K::kComment: {
        if (s.lt) {
          s.lt = false;
          if (c == '?' || c == '%') {
            EnterServer(s, c);
            return Protects(s, set);
          }
        }
        std::uint8_t marker = kNoMarker;
        if (CommentStep(s, c, marker)) {
          s = MarkupState{};
          if (marker == kMarkerOff) s.kind = static_cast<std::uint8_t>(K::kOff);
          return false;
        }
        if (c == '<') s.lt = true;
        return false;
      }
      case K::kServer: {
        const bool kept = Protects(s, set);
        if (s.match == 1 && c == '>') {
          // Back where it was; an end tag being read in raw content starts
          // again after it.
          s.kind = s.outer;
          s.match = 0;
          s.lt = false;
          return kept;
        }
        s.match = c == s.server_end ? 1 : 0;
        return kept;
      }
      case K::kOff: {
        if (s.match == kInOffComment) {
          std::uint8_t marker = kNoMarker;
          if (CommentStep(s, c, marker)) {
            if (marker == kMarkerOn) {
              s = MarkupState{};
            } else {
              s.match = 0;
            }
          }
          return true;
        }
        // "<!--", each byte in turn; a "<" may always start it again.
        static constexpr std::string_view kOpen = "<!--";
        if (c == static_cast<unsigned char>(kOpen[s.match])) {
          ++s.match;
          if (s.match == kInOffComment) {
            s.comment = 0;
            s.dashes = 0;
          }
        } else {
          s.match = c == '<' ? 1 : 0;
        }
        return true;
      }
    }
    return false;
  }
}

}  // namespace detail

namespace {

using detail::MarkupKind;

// The scan where the wide loop can take over, as its carry; false elsewhere.
bool ToCarry(const detail::MarkupState& s, detail::MarkupCarry& carry) {
  if (s.kind == static_cast<std::uint8_t>(MarkupKind::kText)) {
    carry = {false, false};
    return true;
  }
  if (s.element != 0 || s.lt) return false;
  if (s.kind == static_cast<std::uint8_t>(MarkupKind::kTag)) {
    carry = {true, false};
    return true;
  }
  if (s.kind == static_cast<std::uint8_t>(MarkupKind::kValue) && s.quote == '"') {
    carry = {true, true};
    return true;
  }
  return false;
}

detail::MarkupState FromCarry(const detail::MarkupCarry& carry) {
  detail::MarkupState s;
  if (carry.in_tag) {
    s.kind = static_cast<std::uint8_t>(carry.in_value ? MarkupKind::kValue : MarkupKind::kTag);
    s.quote = '"';
  }
  return s;
}

// The first of up to four bytes (repeat one to look for fewer).
const char* FindAny(const char* p, const char* end, char a, char b, char c, char d) {
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(a);
  const __m128i vb = _mm_set1_epi8(b);
  const __m128i vc = _mm_set1_epi8(c);
  const __m128i vd = _mm_set1_epi8(d);
  for (; end - p >= 16; p += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)),
                                     _mm_or_si128(_mm_cmpeq_epi8(x, vc), _mm_cmpeq_epi8(x, vd)));
    if (const int bits = _mm_movemask_epi8(hit); bits != 0) return p + __builtin_ctz(bits);
  }
#endif
  while (p < end && *p != a && *p != b && *p != c && *p != d) ++p;
  return p;
}

const char* Find(const char* p, const char* end, char a) {
  const void* hit = std::memchr(p, a, static_cast<std::size_t>(end - p));
  return hit != nullptr ? static_cast<const char*>(hit) : end;
}

// In raw content or an off region a "<" moves the scan only with the byte
// after it: "/" and then `first` (the element's first letter), or "?", "%",
// "!" or another "<". The first such "<" from p, or one too near the end to
// tell.
const char* FindRawStop(const char* p, const char* end, char first) {
  const auto stops = [first](const char* at) {
    const char next = at[1];
    return next == '<' || next == '?' || next == '%' || next == '!' ||
           (next == '/' && detail::Lower(static_cast<unsigned char>(at[2])) == first);
  };
  p = detail::RawStopWide(p, end, first);
#if defined(__SSE2__)
  const __m128i lt = _mm_set1_epi8('<');
  for (; end - p >= 18; p += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    auto bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, lt)));
    for (; bits != 0; bits &= bits - 1) {
      const char* const at = p + __builtin_ctz(bits);
      if (stops(at)) return at;
    }
  }
#endif
  for (;; ++p) {
    p = Find(p, end, '<');
    if (end - p < 3 || stops(p)) return p;
  }
}

// The first byte from p that may move the scan: the ones before it leave
// the state, and whether bytes are kept, as they are.
const char* SkipInert(const detail::MarkupState& s, const char* p, const char* end) {
  switch (static_cast<MarkupKind>(s.kind)) {
    case MarkupKind::kText:
      return Find(p, end, '<');
    case MarkupKind::kTag:
      if (s.lt) return p;
      return FindAny(p, end, '<', '"', '\'', '>');
    case MarkupKind::kValue:
      return s.lt ? p : FindAny(p, end, static_cast<char>(s.quote), '<', '<', '<');
    case MarkupKind::kRaw:
    case MarkupKind::kOff: {
      if (s.kind == static_cast<std::uint8_t>(MarkupKind::kOff) &&
          s.match == detail::kInOffComment) {
        return s.dashes == 0 && s.comment == detail::kNoMarker ? Find(p, end, '-') : p;
      }
      if (s.match != 0) return p;
      return FindRawStop(p, end,
                         s.kind == static_cast<std::uint8_t>(MarkupKind::kRaw)
                             ? detail::ElementName(s.element)[0]
                             : '!');
    }
    case MarkupKind::kServer:
      return s.match == 0 ? Find(p, end, static_cast<char>(s.server_end)) : p;
    case MarkupKind::kComment:
      return s.dashes == 0 && !s.lt && s.comment == detail::kNoMarker
                 ? FindAny(p, end, '-', '<', '<', '<')
                 : p;
    default:
      return p;
  }
}

}  // namespace

constexpr std::ptrdiff_t kScanAhead = 8192;

template <class Sink>
void ProtectingCleaner::feed(std::string_view chunk, Sink& sink) {
  if (set_ == 0) {
    cleaner_.feed(chunk, sink);
    return;
  }
  const unsigned flags = ((set_ & kProtectPre) != 0 ? detail::kScanPre : 0u) |
                         ((set_ & kProtectAttributes) != 0 ? detail::kScanAttributes : 0u);
  const char* p = chunk.data();
  const char* const end = p + chunk.size();
  // The bytes from run on are all kept, or all cleaned.
  const char* run = p;
  bool run_kept = false;
  const auto flush = [&](const char* until) {
    const std::string_view piece(run, static_cast<std::size_t>(until - run));
    if (run_kept) {
      cleaner_.feed_kept(piece, sink);
    } else {
      cleaner_.feed(piece, sink);
    }
    run = until;
  };
  // The same for a cleaned piece that a kept stretch follows.
  const auto flush_before_kept = [&](const char* until) {
    cleaner_.feed_before_kept(std::string_view(run, static_cast<std::size_t>(until - run)), end,
                              sink);
    run = until;
  };
  // Up to here the scan goes byte by byte: the wide loop refused the window.
  const char* byte_wise_until = p;
  while (p < end) {
    detail::MarkupCarry carry;
    if (p >= byte_wise_until && ToCarry(markup_, carry)) {
      // A few KiB at a time, so that the cleaner finds them still in the
      // first-level cache.
      const detail::MarkupWide wide = detail::MarkupWideScan(
          p, p + std::min<std::ptrdiff_t>(end - p, kScanAhead), carry, flags);
      if (wide.end != p) {
        if (run_kept) {
          flush(p);
          run_kept = false;
        }
        markup_ = FromCarry(carry);
        p = wide.end;
        if (p - run >= kScanAhead) flush(p);
        continue;
      }
      // Past an odd "<" the wide loop may take over again at once: what it
      // opened (a server block, a comment) is usually short.
      byte_wise_until = p + std::min<std::ptrdiff_t>(wide.at_lt ? 1 : 64, end - p);
    }
    const bool kept = detail::MarkupStep(markup_, static_cast<unsigned char>(*p), set_);
    if (kept != run_kept) {
      if (p != run) kept ? flush_before_kept(p) : flush(p);
      run_kept = kept;
    }
    ++p;
    // Bytes that leave the scan where it is are kept as its place says.
    if (const char* const inert_end = SkipInert(markup_, p, end); inert_end != p) {
      if (const bool inert_kept = detail::Protects(markup_, set_); inert_kept != run_kept) {
        inert_kept ? flush_before_kept(p) : flush(p);
        run_kept = inert_kept;
      }
      p = inert_end;
    }
  }
  if (p != run) flush(p);
}

template <class Sink>
void ProtectingCleaner::finish(Sink& sink) {
  cleaner_.finish(sink);
  markup_ = {};
}

template void ProtectingCleaner::feed<BufferSink>(std::string_view, BufferSink&);
template void ProtectingCleaner::feed<StringSink>(std::string_view, StringSink&);
template void ProtectingCleaner::feed<CountingSink>(std::string_view, CountingSink&);
template void ProtectingCleaner::finish<BufferSink>(BufferSink&);
template void ProtectingCleaner::finish<StringSink>(StringSink&);
template void ProtectingCleaner::finish<CountingSink>(CountingSink&);

}  // namespace brevio

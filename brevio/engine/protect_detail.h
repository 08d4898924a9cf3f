#pragma once
// Inside the protecting cleaner: the markup scan one byte at a time. Private
// to the engine (and its tests and benchmarks).

#include "brevio/engine/protect.h"

namespace brevio::detail {

enum class MarkupKind : std::uint8_t {
  kText,
  kLt,          // "<" in text
  kLtSlash,     // "</"
  kLtBang,      // "<!"
  kLtBangDash,  // "<!-"
  kTagName,     // the letters of a start tag's name
  kTag,         // in a tag, outside quoted values
  kValue,       // in a quoted value
  kRaw,         // an element's content
  kComment,
  kServer,
  kOff,
};

// A comment's text that can no longer be a marker.
inline constexpr std::uint8_t kNoMarker = 255;

// Whether the scan, where it is, is inside a protected region.
bool Protects(const MarkupState& s, ProtectSet set);

// Moves the scan over one byte; true when that byte is kept as it is.
bool MarkupStep(MarkupState& s, unsigned char c, ProtectSet set);

}  // namespace brevio::detail

namespace brevio::detail {

// The part of the scan the wide loop below can carry from one 64-byte
// window to the next: text, a tag, or a '"' value in a tag (no element,
// no "<" pending). Every other place is scanned byte by byte.
struct MarkupCarry {
  bool in_tag = false;
  bool in_value = false;
};

enum MarkupScanFlags : unsigned {
  kScanPre = 1,         // a pre element is set apart
  kScanAttributes = 2,  // quoted values are kept
};

// Bytes read past a window: its first bytes after a "<" and the one after
// its last space.
inline constexpr std::ptrdiff_t kMarkupLookahead = 4;

struct MarkupWide {
  const char* end;  // where the byte-wise scan takes over
  bool at_lt;       // at a "<" the wide loop cannot follow (or none refused)
};

// Goes over whole 64-byte windows from p while each holds only text and
// ordinary tags whose kept values the rule would not change anyway: no
// "<" other than one opening a tag that starts no element, comment,
// declaration or server block, no ">" in text or in a value, no '\'' in a
// tag and, with kScanAttributes, no TAB, CR, LF or space next to a blank in
// a value. Over such bytes cleaning by the rule is exactly what protection
// gives. Goes on over the first window that is not like this up to its
// first "<" that is not plain, when the bytes before it are. Returns where
// it stopped, with carry updated to it; at_lt when the window was refused
// for a "<" there.
MarkupWide MarkupWideScan(const char* p, const char* end, MarkupCarry& carry, unsigned flags);

// Goes over whole 64-byte windows of raw content from p while none holds a
// "<" that may move the scan there ("<" and then "<", "?", "%", "!", or "/"
// and first); returns where the byte-wise search takes over (p itself on
// CPUs without a wide set).
const char* RawStopWide(const char* p, const char* end, char first);

}  // namespace brevio::detail

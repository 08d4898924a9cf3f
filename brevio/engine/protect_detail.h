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

// Whether the scan, where it is, is inside a protected region.
bool Protects(const MarkupState& s, ProtectSet set);

// Moves the scan over one byte; true when that byte is kept as it is.
bool MarkupStep(MarkupState& s, unsigned char c, ProtectSet set);

}  // namespace brevio::detail

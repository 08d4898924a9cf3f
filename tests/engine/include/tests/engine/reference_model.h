#pragma once
// The cleaning rules written the plain way: split, clean each segment, join,
// then repeated replace passes until nothing changes. Slow and obvious, to
// hold the streaming engine against.

#include <string>
#include <string_view>

#include "brevio/engine/protect.h"

namespace brevio::testing {

std::string ModelCleanSegment(std::string segment);
std::string ModelCleanLine(const std::string& line);
// Whole file: lines end at CR or CR LF, every non-empty cleaned line + CR LF.
std::string ModelTrimFile(const std::string& content);
// The same with the regions of `set` kept as they are (protect.h).
std::string ModelTrimFileProtected(const std::string& content, ProtectSet set);

// Test notation: tokens separated by blanks; TAB LF CR SP NBSP NUL SUB FF
// stand for bytes 9 10 13 32 160 0 26 255, "(empty)" for nothing, anything
// else for itself.
std::string Bytes(std::string_view notation);

}  // namespace brevio::testing

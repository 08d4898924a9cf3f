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
// With another line end: the lines of the rule's output (which all end in
// CR LF) that are not empty, each ended by the line end asked for.
std::string ModelTrimFile(const std::string& content, LineEnd line_end);
// The same with the regions of `set` kept as they are (protect.h).
std::string ModelTrimFileProtected(const std::string& content, ProtectSet set,
                                   LineEnd line_end = LineEnd::kCrLf);

// What a line of the rule's output ends in, for the line end asked for:
// kKeep takes the kind of content's first CR or LF byte.
std::string ModelLineEnd(const std::string& content, LineEnd line_end);
// rule_output's non-empty lines, each ended by `end` instead of CR LF.
std::string ModelEndLines(const std::string& rule_output, const std::string& end);

// Test notation: tokens separated by blanks; TAB LF CR SP NBSP NUL SUB FF
// stand for bytes 9 10 13 32 160 0 26 255, "(empty)" for nothing, anything
// else for itself.
std::string Bytes(std::string_view notation);

}  // namespace brevio::testing

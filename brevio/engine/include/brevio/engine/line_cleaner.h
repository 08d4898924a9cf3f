#pragma once
// String-in, string-out form of the cleaning rules, for callers that hold a
// whole line. Both run the streaming machine of stream_cleaner.h.

#include <string>

namespace brevio {

// Every tab becomes a space, then the spaces (code 32 only) at both ends go.
// Nothing else changes: inner space runs, LF and CR stay as they are.
std::string CleanSegment(std::string segment);

// Cleans one line: split at every LF, clean each segment, drop the empty
// ones, join the rest with CR LF and shrink space runs to one space. Empty
// segments after the last non-empty one leave one CR LF at the end. Any
// length and any number of segments; CR is an ordinary byte here.
std::string CleanLine(std::string line);

}  // namespace brevio

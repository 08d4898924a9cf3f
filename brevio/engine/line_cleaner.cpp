#include "brevio/engine/line_cleaner.h"

#include "brevio/engine/stream_cleaner.h"

namespace brevio {

// Taken by value like every string of the line rules; the copy is the caller's to elide.
// cppcheck-suppress passedByValue
std::string CleanSegment(std::string segment) {  // NOLINT(performance-unnecessary-value-param)
  std::string result;
  result.reserve(segment.size());
  StringSink sink(result);
  StreamCleaner<CleanMode::kSegment> cleaner;
  cleaner.feed(segment, sink);
  cleaner.finish(sink);
  return result;
}

// cppcheck-suppress passedByValue
std::string CleanLine(std::string line) {  // NOLINT(performance-unnecessary-value-param)
  std::string result;
  // Joining pairs can make the text longer than the line ("a LF b").
  result.reserve(line.size() + line.size() / 2 + 2);
  StringSink sink(result);
  LineStreamCleaner cleaner;
  cleaner.feed(line, sink);
  cleaner.finish(sink);
  return result;
}

}  // namespace brevio

#include "brevio/engine/line_cleaner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "brevio/engine/stream_cleaner.h"
#include "tests/engine/reference_model.h"

namespace brevio {
namespace {

using testing::Bytes;
using testing::ModelCleanLine;
using testing::ModelCleanSegment;
using testing::ModelTrimFile;

struct Case {
  const char* given;
  const char* expected;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << '"' << c.given << "\" -> \"" << c.expected << '"';
}

class CleanLineTable : public ::testing::TestWithParam<Case> {};

TEST_P(CleanLineTable, GivesTheDocumentedText) {
  EXPECT_EQ(CleanLine(Bytes(GetParam().given)), Bytes(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CleanLineTable,
    ::testing::Values(
        Case{"(empty)", "(empty)"}, Case{"SP TAB SP SP", "(empty)"}, Case{"LF", "(empty)"},
        Case{"TAB Hello TAB SP SP world SP SP", "Hello SP world"},
        Case{"a SP SP TAB SP SP b", "a SP b"}, Case{"LF LF abc", "abc"},
        Case{"abc LF", "abc CR LF"}, Case{"abc LF LF LF", "abc CR LF"},
        Case{"a LF LF LF b", "a CR LF b"}, Case{"a LF SP TAB SP LF b", "a CR LF b"},
        Case{"SP x SP LF SP y SP", "x CR LF y"}, Case{"a NBSP SP SP b", "a NBSP SP b"},
        // Only TAB, LF, CR and SP matter; CR is text inside a line.
        Case{"a SP CR SP b", "a SP CR SP b"}, Case{"CR LF LF CR", "CR CR LF CR"},
        Case{"a CR LF LF b", "a CR CR LF b"}, Case{"NUL SP SP SUB TAB FF", "NUL SP SUB SP FF"},
        Case{"x LF TAB LF", "x CR LF"}, Case{"SP LF SP a", "a"}));

class CleanSegmentTable : public ::testing::TestWithParam<Case> {};

TEST_P(CleanSegmentTable, TurnsTabsAndTrimsOnlyTheEnds) {
  EXPECT_EQ(CleanSegment(Bytes(GetParam().given)), Bytes(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Rules, CleanSegmentTable,
                         ::testing::Values(Case{"(empty)", "(empty)"},
                                           Case{"SP TAB SP TAB", "(empty)"}, Case{"abc", "abc"},
                                           Case{"TAB a TAB TAB b SP", "a SP SP b"},
                                           Case{"a SP SP SP b", "a SP SP SP b"},
                                           Case{"SP a LF SP b CR SP", "a LF SP b CR"},
                                           Case{"NBSP a NBSP", "NBSP a NBSP"}));

TEST(CleanLine, CleansALineOf32768SegmentsWhole) {
  std::string line;
  for (int i = 0; i < 32767; ++i) line += " s\t \n";
  line += "end";
  std::string expected;
  for (int i = 0; i < 32767; ++i) expected += "s\r\n";
  expected += "end";
  EXPECT_EQ(CleanLine(line), expected);
}

// Random text made of the bytes that matter, heavy on blanks and line ends.
std::string RandomText(std::mt19937& random, std::size_t max_length) {
  static const char kAlphabet[] = {'\t',   '\n', '\r',   ' ',    ' ', ' ',
                                   '\xA0', '\0', '\x1A', '\xFF', 'a', 'b'};
  std::uniform_int_distribution<std::size_t> length(0, max_length);
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 1);
  std::string text(length(random), ' ');
  for (char& c : text) c = kAlphabet[pick(random)];
  return text;
}

template <CleanMode kMode>
std::string StreamInPieces(const std::string& input, std::size_t split) {
  StreamCleaner<kMode> cleaner;
  std::string out;
  StringSink sink(out);
  cleaner.feed(std::string_view(input).substr(0, split), sink);
  cleaner.feed(std::string_view(input).substr(split), sink);
  cleaner.finish(sink);
  return out;
}

TEST(CleanLineAgainstModel, RandomLinesGiveTheResultOfTheRepeatedPasses) {
  std::mt19937 random(20240601);
  for (int i = 0; i < 4000; ++i) {
    const std::string line = RandomText(random, 80);
    ASSERT_EQ(CleanLine(line), ModelCleanLine(line)) << ::testing::PrintToString(line);
    ASSERT_EQ(CleanSegment(line), ModelCleanSegment(line)) << ::testing::PrintToString(line);
  }
}

TEST(StreamCleanerAgainstModel, SplittingAtAnyByteChangesNothing) {
  std::mt19937 random(7);
  for (int i = 0; i < 1500; ++i) {
    const std::string text = RandomText(random, 60);
    const std::string line = ModelCleanLine(text);
    const std::string file = ModelTrimFile(text);
    for (std::size_t split = 0; split <= text.size(); ++split) {
      ASSERT_EQ(StreamInPieces<CleanMode::kLine>(text, split), line)
          << ::testing::PrintToString(text) << " split at " << split;
      ASSERT_EQ(StreamInPieces<CleanMode::kFile>(text, split), file)
          << ::testing::PrintToString(text) << " split at " << split;
    }
  }
}

TEST(StreamCleanerAgainstModel, OneByteAtATimeIntoABufferSink) {
  std::mt19937 random(99);
  for (int i = 0; i < 1000; ++i) {
    const std::string text = RandomText(random, 300);
    FileStreamCleaner cleaner;
    std::string out;
    char buffer[FileStreamCleaner::MaxOutput(1)];
    for (char c : text) {
      BufferSink sink(buffer);
      cleaner.feed(std::string_view(&c, 1), sink);
      out.append(buffer, sink.size());
    }
    char tail[FileStreamCleaner::kMaxFinishOutput];
    BufferSink sink(tail);
    cleaner.finish(sink);
    out.append(tail, sink.size());
    ASSERT_EQ(out, ModelTrimFile(text)) << ::testing::PrintToString(text);
  }
}

TEST(StreamCleanerAgainstModel, OutputNeverExceedsTheStatedBound) {
  // The worst pieces: many short segments and line ends.
  for (const std::string piece : {"a\n\r", "a\n", "a\r", " a\n \r", "a \n\n\r\n"}) {
    std::string input;
    for (int i = 0; i < 50; ++i) input += piece;
    FileStreamCleaner cleaner;
    CountingSink counter;
    cleaner.feed(input, counter);
    EXPECT_LE(counter.count(), FileStreamCleaner::MaxOutput(input.size())) << piece;
  }
}

TEST(CleanLineAgainstModel, ALineOf40000SegmentsIsCleanedWhole) {
  std::mt19937 random(40000);
  std::string line;
  for (int i = 0; i < 40000; ++i) {
    line += RandomText(random, 6);
    line.erase(std::remove(line.begin(), line.end(), '\r'), line.end());
    line += '\n';
  }
  line += "tail";
  ASSERT_GE(std::count(line.begin(), line.end(), '\n'), 40000);
  EXPECT_EQ(CleanLine(line), ModelCleanLine(line));
  EXPECT_EQ(StreamInPieces<CleanMode::kFile>(line, line.size() / 3), ModelTrimFile(line));
}

TEST(StreamCleaner, LongRunsCrossTheVectorScanCorrectly) {
  // Double spaces and line ends placed at every offset of a 16-byte block.
  for (std::size_t at = 0; at < 40; ++at) {
    for (const char* insert : {"  ", "\t", "\n", "\r", " \n", " \t "}) {
      std::string text(48, 'x');
      text.insert(at, insert);
      ASSERT_EQ(CleanLine(text), ModelCleanLine(text))
          << at << ' ' << ::testing::PrintToString(insert);
      ASSERT_EQ(StreamInPieces<CleanMode::kFile>(text, 0), ModelTrimFile(text));
    }
  }
}

}  // namespace
}  // namespace brevio

namespace brevio {
namespace {

std::string TrimWith(const std::string& text, LineEnd line_end) {
  FileStreamCleaner cleaner(line_end);
  std::string out;
  StringSink sink(out);
  cleaner.feed(text, sink);
  cleaner.finish(sink);
  return out;
}

struct LineEndCase {
  LineEnd line_end;
  const char* given;
  const char* expected;
};

// Line ends besides the rule, written out by hand; the model is held to
// them as well as the engine.
TEST(LineEnds, GiveTheDocumentedText) {
  const LineEndCase kCases[] = {
      {LineEnd::kLf, "x SP SP LF LF SP SP y LF", "x LF y LF"},
      {LineEnd::kLf, "a CR LF b CR c", "a LF b LF c LF"},
      {LineEnd::kLf, "a LF CR b", "a LF b LF"},  // the rule gives a blank line here
      {LineEnd::kLf, "SP TAB LF CR LF", "(empty)"},
      {LineEnd::kKeep, "a LF b CR LF c", "a LF b LF c LF"},
      {LineEnd::kKeep, "a CR LF b LF c LF", "a CR LF b CR LF c CR LF"},
      {LineEnd::kKeep, "a CR b LF", "a CR LF b CR LF"},
      {LineEnd::kKeep, "SP a SP SP b SP", "a SP b CR LF"},
      {LineEnd::kCrLf, "x LF", "x CR LF CR LF"},
  };
  for (const LineEndCase& c : kCases) {
    const std::string given = Bytes(c.given);
    EXPECT_EQ(TrimWith(given, c.line_end), Bytes(c.expected)) << c.given;
    EXPECT_EQ(testing::ModelTrimFile(given, c.line_end), Bytes(c.expected)) << "model: " << c.given;
  }
}

// Trimmed output trimmed again: unchanged with kLf and kKeep, for every
// input; the rule's own line end is known to change some (a final LF).
TEST(LineEnds, TrimmingTwiceChangesNothingBesidesTheRule) {
  const struct {
    LineEnd line_end;
    bool stable;
  } kRows[] = {{LineEnd::kLf, true}, {LineEnd::kKeep, true}, {LineEnd::kCrLf, false}};
  for (const auto& row : kRows) {
    std::mt19937 random(7);
    int changed = 0;
    for (int i = 0; i < 3000; ++i) {
      const std::string once = TrimWith(RandomText(random, 1 + i % 60), row.line_end);
      const std::string twice = TrimWith(once, row.line_end);
      if (twice != once) {
        ++changed;
        EXPECT_FALSE(row.stable) << ::testing::PrintToString(once) << " became "
                                 << ::testing::PrintToString(twice);
      }
    }
    if (!row.stable) {
      EXPECT_GT(changed, 0) << "the rule's CR LF";
    }
  }
}

}  // namespace
}  // namespace brevio

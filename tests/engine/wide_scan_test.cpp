// The whole-file loop is built for several instruction sets; each one the
// CPU has is held against the literal model, on text shaped to reach every
// branch: runs and gaps longer than a window, every gap kind, pieces that
// start in any state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "brevio/engine/stream_cleaner.h"
#include "cleaner_detail.h"
#include "tests/engine/reference_model.h"

namespace brevio {
namespace {

using detail::Simd;
using testing::ModelTrimFile;

// Runs of text (lone spaces and odd bytes inside) and gaps of blanks and line
// ends, each from nothing up to a little over two windows long.
std::string ShapedText(std::mt19937& random, int parts) {
  static const char kText[] = {'a', 'b', '<', '>', '\xA0', '\0', '\x1A', '\xFF', ' '};
  static const char kBlank[] = {' ', ' ', '\t', '\n', '\r'};
  std::uniform_int_distribution<int> length(0, 150);
  std::uniform_int_distribution<int> short_length(0, 6);
  std::string text;
  for (int i = 0; i < parts; ++i) {
    const bool gap = i % 2 == 1;
    const int n = random() % 4 == 0 ? length(random) : short_length(random);
    for (int k = 0; k < n; ++k) {
      text += gap ? kBlank[random() % sizeof kBlank] : kText[random() % sizeof kText];
    }
  }
  return text;
}

// Cleans the text in the given pieces into a buffer (the wide loop's sink).
std::string CleanInPieces(const std::string& text, const std::vector<std::size_t>& cuts,
                          LineEnd line_end = LineEnd::kCrLf) {
  FileStreamCleaner cleaner(line_end);
  std::vector<char> buffer(FileStreamCleaner::MaxOutput(text.size()));
  std::string out;
  std::size_t from = 0;
  for (std::size_t i = 0; i <= cuts.size(); ++i) {
    const std::size_t to = i < cuts.size() ? cuts[i] : text.size();
    BufferSink sink(buffer.data());
    cleaner.feed(std::string_view(text).substr(from, to - from), sink);
    out.append(buffer.data(), sink.size());
    from = to;
  }
  BufferSink sink(buffer.data());
  cleaner.finish(sink);
  out.append(buffer.data(), sink.size());
  return out;
}

class WideLoop : public ::testing::TestWithParam<Simd> {
 protected:
  void SetUp() override {
    if (!detail::UseSimd(GetParam())) GTEST_SKIP() << "this CPU lacks it";
  }
  void TearDown() override { detail::UseSimd(best_); }

 private:
  Simd best_ = detail::ActiveSimd();
};

constexpr LineEnd kLineEnds[] = {LineEnd::kCrLf, LineEnd::kLf, LineEnd::kKeep};

TEST_P(WideLoop, ShapedTextGivesTheModelsBytesWholeAndInPiecesWithEveryLineEnd) {
  std::mt19937 random(static_cast<unsigned>(GetParam()) + 11);
  for (int i = 0; i < 1500; ++i) {
    const std::string text = ShapedText(random, 40);
    const LineEnd line_end = kLineEnds[i % 3];
    const std::string expected = ModelTrimFile(text, line_end);
    ASSERT_EQ(CleanInPieces(text, {}, line_end), expected)
        << ::testing::PrintToString(text) << " line end " << i % 3;
    std::uniform_int_distribution<std::size_t> cut(0, text.size());
    std::vector<std::size_t> cuts = {cut(random), cut(random), cut(random)};
    std::sort(cuts.begin(), cuts.end());
    ASSERT_EQ(CleanInPieces(text, cuts, line_end), expected)
        << ::testing::PrintToString(text) << " line end " << i % 3 << " cut at " << cuts[0] << ','
        << cuts[1] << ',' << cuts[2];
  }
}

TEST_P(WideLoop, EverySplitOfAShortTextStartsTheLoopInTheRightState) {
  std::mt19937 random(static_cast<unsigned>(GetParam()) + 77);
  for (int i = 0; i < 60; ++i) {
    const std::string text = ShapedText(random, 12);
    const std::string expected = ModelTrimFile(text);
    for (std::size_t split = 0; split <= text.size(); ++split) {
      ASSERT_EQ(CleanInPieces(text, {split}), expected)
          << ::testing::PrintToString(text) << " split at " << split;
    }
  }
}

TEST_P(WideLoop, EachGapKindAtEveryOffsetOfTheWindow) {
  // The last: lone LFs, one to four in a window, each given a CR.
  for (const char* gap : {"  ", "\t", " \n ", "\n\n", "\r", "\r\n", " \n\r\n", "\n\r", "\r\r\n",
                          "\t \n \t\r\n    ", "\nx\nx x\nx\n"}) {
    for (std::size_t at = 0; at < 140; ++at) {
      std::string text(200, 'x');
      text.insert(at, gap);
      text[100] = ' ';  // a lone space near the second window
      ASSERT_EQ(CleanInPieces(text, {}), ModelTrimFile(text))
          << at << ' ' << ::testing::PrintToString(gap);
    }
  }
}

// Lines that end in LF alone switch the loop to a path of their own until a
// window shows CR LFs. Stretches of each kind (L: LF, C: CR LF, Y: a line
// longer than a window) with a tab (T), a lone CR (R), a run of spaces (S) or
// blank lines (B) in a window that is otherwise LF text.
TEST_P(WideLoop, TextThatChangesItsLineEndsGivesTheModelsBytes) {
  for (const char* pattern :
       {"LLLLLLLLLLLLTLLLLLLLL", "LLLLLLLLLLLLRLLLLLLLL", "LLLLLLLLLLLLSLLLLLLLL",
        "LLLLLLLLLLLLBLLLLLLLL", "LLLLLLLLCCCCCCCCCCCCLLLLLLLLLTLLLL", "LCLCLCLCLCLCLCLC",
        "LLLLYLLLLYYLLLLCCCCYCCCCLLLL"}) {
    std::string text;
    // Each pattern four times, and then enough LF lines that the loop does
    // not leave its last windows to the portable steps.
    const std::string kinds =
        std::string(pattern) + pattern + pattern + pattern + std::string(40, 'L');
    for (const char kind : kinds) {
      switch (kind) {
        case 'L':
          text += "ab cd\n";
          break;
        case 'C':
          text += "ab cd\r\n";
          break;
        case 'Y':
          text += std::string(70, 'y') + "\n";
          break;
        case 'T':
          text += "ab\tc\n";
          break;
        case 'R':
          text += "ab\rc\n";
          break;
        case 'S':
          text += "ab  c\n";
          break;
        case 'B':
          text += "ab\n\nc\n";
          break;
      }
    }
    for (const LineEnd line_end : kLineEnds) {
      ASSERT_EQ(CleanInPieces(text, {}, line_end), ModelTrimFile(text, line_end))
          << pattern << " line end " << static_cast<int>(line_end);
    }
  }
}

// The wide loops decide gaps from masks instead of running the rule: every
// gap of up to seven blanks and line ends, between text in a window, at a
// window's end, across two windows and at the start of the file, gives the
// model's bytes.
TEST_P(WideLoop, EveryShortGapGivesTheModelsBytesWhereverItFalls) {
  static const char kBlank[] = {' ', '\t', '\n', '\r'};
  std::string gap;
  for (std::size_t length = 1; length <= 7; ++length) {
    for (std::size_t code = 0; code < (std::size_t{1} << (2 * length)); ++code) {
      gap.clear();
      for (std::size_t i = 0; i < length; ++i) gap += kBlank[(code >> (2 * i)) & 3];
      for (const std::size_t at : {0, 3, 40, 60, 63}) {
        const std::string text = std::string(at, 'a') + gap + std::string(140 - at, 'b');
        const LineEnd line_end = kLineEnds[(code + at) % 3];
        ASSERT_EQ(CleanInPieces(text, {}, line_end), ModelTrimFile(text, line_end))
            << at << ' ' << ::testing::PrintToString(gap) << " line end " << (code + at) % 3;
      }
    }
  }
}

std::string SimdName(const ::testing::TestParamInfo<Simd>& info) {
  static const char* const kNames[] = {"portable", "sse2",   "sse42",
                                       "avx2",     "avx512", "avx512vbmi2"};
  return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Simd, WideLoop,
                         ::testing::Values(Simd::kNone, Simd::kSse2, Simd::kSse42, Simd::kAvx2,
                                           Simd::kAvx512, Simd::kAvx512Vbmi2),
                         SimdName);

// Unless BREVIO_SIMD asks for less (the suite may run under each level).
TEST(WideLoop, TheBestInstructionSetIsChosenAtStartUp) {
  if (std::getenv("BREVIO_SIMD") != nullptr) GTEST_SKIP() << "a level was asked for";
  const Simd active = detail::ActiveSimd();
  for (Simd better : {Simd::kAvx512Vbmi2, Simd::kAvx512, Simd::kAvx2, Simd::kSse42, Simd::kSse2}) {
    if (better <= active) break;
    EXPECT_FALSE(detail::UseSimd(better)) << "a better set was available";
  }
  detail::UseSimd(active);
}

}  // namespace
}  // namespace brevio

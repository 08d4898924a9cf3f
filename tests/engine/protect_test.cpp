// --protect against the model of the regions (protect_model.cpp): the cases
// the definition turns on, with bytes written out by hand so that a wrong
// model fails as well as a wrong engine; then engine and model on real pages
// and random markup, cut anywhere, under every instruction set.
#include "brevio/engine/protect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "brevio/engine/file_trim.h"
#include "brevio/engine/stream_cleaner.h"
#include "cleaner_detail.h"
#include "page_text.h"
#include "tests/engine/reference_model.h"

namespace brevio {
namespace {

namespace fs = std::filesystem;
using detail::Simd;
using testing::Bytes;
using testing::ModelTrimFile;
using testing::ModelTrimFileProtected;

enum class SinkKind { kBuffer, kString };

// Bytes written past the room a BufferSink is promised land here and fail.
constexpr std::size_t kGuard = 64;
constexpr char kGuardByte = '\xA5';

// The cleaner fed `text` in pieces of the given lengths. With kBuffer every
// call gets a fresh buffer of just the room promised for it.
std::string Protect(std::string_view text, ProtectSet set, const std::vector<std::size_t>& pieces,
                    SinkKind kind, LineEnd line_end = LineEnd::kCrLf) {
  ProtectingCleaner cleaner(set, line_end);
  std::string out;
  if (kind == SinkKind::kString) {
    StringSink sink(out);
    std::size_t pos = 0;
    for (const std::size_t n : pieces) {
      cleaner.feed(text.substr(pos, n), sink);
      pos += n;
    }
    cleaner.finish(sink);
    return out;
  }
  std::vector<char> buffer;
  const auto call = [&](std::size_t room, const auto& step) {
    buffer.assign(room + kGuard, kGuardByte);
    BufferSink sink(buffer.data());
    step(sink);
    if (sink.size() > room || std::any_of(buffer.begin() + static_cast<std::ptrdiff_t>(room),
                                          buffer.end(), [](char c) { return c != kGuardByte; })) {
      ADD_FAILURE() << "a call wrote past its room of " << room << " bytes";
    }
    out.append(buffer.data(), std::min(sink.size(), room));
  };
  std::size_t pos = 0;
  for (const std::size_t n : pieces) {
    call(ProtectingCleaner::MaxOutput(n),
         [&](BufferSink& sink) { cleaner.feed(text.substr(pos, n), sink); });
    pos += n;
  }
  call(ProtectingCleaner::kMaxFinishOutput, [&](BufferSink& sink) { cleaner.finish(sink); });
  return out;
}

std::vector<std::size_t> Whole(std::string_view text) { return {text.size()}; }

// Equal, or where the two part and what each holds there.
::testing::AssertionResult SameBytes(const std::string& expected, const std::string& actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  const auto parted = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
  const auto at = static_cast<std::size_t>(parted.first - expected.begin());
  const std::size_t from = at < 40 ? 0 : at - 40;
  return ::testing::AssertionFailure()
         << "output differs at byte " << at << " of " << expected.size() << "/" << actual.size()
         << "\n  expected ..." << ::testing::PrintToString(expected.substr(from, 80))
         << "\n  actual   ..." << ::testing::PrintToString(actual.substr(from, 80));
}

struct Case {
  const char* what;
  std::string given;
  ProtectSet set;
  std::string expected;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.what << " [" << ProtectListText(c.set) << "] " << ::testing::PrintToString(c.given);
}

class ProtectTable : public ::testing::TestWithParam<Case> {};

TEST_P(ProtectTable, ModelAndEngineGiveTheBytesWrittenOut) {
  const Case& c = GetParam();
  EXPECT_TRUE(SameBytes(c.expected, ModelTrimFileProtected(c.given, c.set))) << "model";
  EXPECT_TRUE(SameBytes(c.expected, Protect(c.given, c.set, Whole(c.given), SinkKind::kString)))
      << "whole";
  EXPECT_TRUE(SameBytes(
      c.expected,
      Protect(c.given, c.set, std::vector<std::size_t>(c.given.size(), 1), SinkKind::kBuffer)))
      << "one byte at a time";
  for (std::size_t split = 1; split < c.given.size(); ++split) {
    ASSERT_TRUE(SameBytes(
        c.expected, Protect(c.given, c.set, {split, c.given.size() - split}, SinkKind::kBuffer)))
        << "split at " << split;
  }
}

constexpr ProtectSet kPre = kProtectPre;
constexpr ProtectSet kScript = kProtectScript;
constexpr ProtectSet kAttr = kProtectAttributes;
constexpr ProtectSet kServer = kProtectServer;

Case Row(const char* what, const char* given, ProtectSet set, const char* expected) {
  return {what, Bytes(given), set, Bytes(expected)};
}

INSTANTIATE_TEST_SUITE_P(
    Tags, ProtectTable,
    ::testing::Values(
        Row("a tag in a comment starts nothing", "<!-- SP <pre> SP --> SP SP a SP SP", kPre,
            "<!-- SP <pre> SP --> SP a CR LF"),
        Row("a comment without end hides tags to the end", "<!-- SP SP <pre> SP SP x", kPre,
            "<!-- SP <pre> SP x CR LF"),
        Row("prefix is no pre", "<prefix> SP SP a SP SP </prefix>", kPre,
            "<prefix> SP a SP </prefix> CR LF"),
        Row("names in any case", "<PRE> SP SP a SP SP </Pre SP > SP SP b", kPre,
            "<PRE> SP SP a SP SP </Pre SP > SP b CR LF"),
        Row("blanks and line ends before the end tag's >",
            "<pre> a SP SP </pre LF TAB CR LF > SP SP b", kPre,
            "<pre> a SP SP </pre LF TAB CR LF > SP b CR LF"),
        Row("an end tag with more in it ends nothing", "<pre> SP SP </pre SP x> SP SP </pre>", kPre,
            "<pre> SP SP </pre SP x> SP SP </pre> CR LF"),
        Row("a name ended by / or a line end",
            "<pre/> SP SP a SP SP </pre> SP SP <pre CR LF class=x> SP SP b SP SP </pre>", kPre,
            "<pre/> SP SP a SP SP </pre> SP <pre CR LF class=x> SP SP b SP SP </pre> CR LF"),
        Row("an element without end runs to the end", "a SP SP <textarea> SP SP x SP SP",
            kProtectTextarea, "a SP <textarea> SP SP x SP SP CR LF"),
        Row("an end tag in quotes inside a pre", R"(<pre> SP "</script>" SP SP </pre> SP SP x)",
            kPre | kScript, R"(<pre> SP "</script>" SP SP </pre> SP x CR LF)"),
        Row("a script ends at the first end tag, in quotes or not",
            R"(<script> SP s SP = SP "</script>"; SP SP x)", kScript,
            R"(<script> SP s SP = SP "</script>"; SP x CR LF)"),
        Row("an end tag in the start tag's quoted value",
            R"(<script SP x="</script>"> SP SP a SP SP </script> SP SP b)", kScript,
            R"(<script SP x="</script>"> SP SP a SP SP </script> SP b CR LF)"),
        Row("an unprotected textarea's content is no markup",
            "<textarea> <pre> SP SP </textarea> SP SP x", kPre,
            "<textarea> <pre> SP </textarea> SP x CR LF"),
        Row("only the kinds in the set",
            "<style> SP SP a SP SP </style> SP SP <textarea> SP SP b SP SP </textarea>",
            kProtectStyle,
            "<style> SP SP a SP SP </style> SP <textarea> SP b SP </textarea> CR LF"),
        Row("the empty set keeps nothing, markers neither",
            "<pre> SP SP a SP SP </pre> SP <!-- SP brevio:off SP --> SP SP b SP SP", 0,
            "<pre> SP a SP </pre> SP <!-- SP brevio:off SP --> SP b CR LF")));

INSTANTIATE_TEST_SUITE_P(
    QuotedValues, ProtectTable,
    ::testing::Values(
        Row("<! is a tag", R"(<!DOCTYPE SP html SP PUBLIC SP " SP SP -//x SP SP "> SP SP a)", kAttr,
            R"(<!DOCTYPE SP html SP PUBLIC SP " SP SP -//x SP SP "> SP a CR LF)"),
        Row("a < before no letter is text",
            R"(a SP </ SP " SP SP x SP SP " SP <3 SP ' SP SP y SP SP ')", kAttr,
            R"(a SP </ SP " SP x SP " SP <3 SP ' SP y SP ' CR LF)"),
        Row("a value across lines",
            R"(<a SP title="one SP SP CR LF SP SP two" SP SP href='x SP SP y'> SP SP z)", kAttr,
            R"(<a SP title="one SP SP CR LF SP SP two" SP href='x SP SP y'> SP z CR LF)"),
        Row("> in a value ends no tag",
            R"(<a SP title="x>y SP SP z" SP SP class=" SP SP k SP SP "> SP SP d)", kAttr,
            R"(<a SP title="x>y SP SP z" SP class=" SP SP k SP SP "> SP d CR LF)"),
        Row("a quote inside the other; quotes in text are text",
            R"(<a SP x='"' SP SP y="'"> SP SP "z SP SP w")", kAttr,
            R"(<a SP x='"' SP y="'"> SP "z SP w" CR LF)"),
        Row("a value without end runs to the end", R"(<a SP title=" SP SP x SP SP CR LF SP SP y)",
            kAttr, R"(<a SP title=" SP SP x SP SP CR LF SP SP y CR LF)"),
        Row("an unprotected pre holds markup",
            R"(<pre SP id=" SP SP a"> SP SP <b SP class=" SP SP k"> SP SP </pre>)", kAttr,
            R"(<pre SP id=" SP SP a"> SP <b SP class=" SP SP k"> SP </pre> CR LF)"),
        Row("an unprotected script holds raw text",
            R"(<script SP src=" SP SP s"> SP SP a SP = SP " SP SP b SP SP "; SP SP <i SP t=' SP SP q'> SP SP </script>)",
            kAttr,
            R"(<script SP src=" SP SP s"> SP a SP = SP " SP b SP "; SP <i SP t=' SP q'> SP </script> CR LF)")));

INSTANTIATE_TEST_SUITE_P(
    OffRegions, ProtectTable,
    ::testing::Values(
        Row("markers without blanks",
            "a SP SP <!--brevio:off--> SP SP b SP SP <!--brevio:on--> SP SP c", kAttr,
            "a SP <!--brevio:off--> SP SP b SP SP <!--brevio:on--> SP c CR LF"),
        Row("markers with blanks and line ends",
            "<!-- TAB brevio:off CR LF --> SP SP x SP SP <!-- LF brevio:on SP SP --> SP SP y", kPre,
            "<!-- SP brevio:off CR LF --> SP SP x SP SP <!-- LF brevio:on SP SP --> SP y CR LF"),
        Row("a near miss is a comment",
            "<!-- SP brevio:offx SP --> SP SP a SP SP <!-- SP brevio:on SP --> SP SP b",
            kProtectAll, "<!-- SP brevio:offx SP --> SP a SP <!-- SP brevio:on SP --> SP b CR LF"),
        Row("nothing else is found inside",
            "<!--brevio:off--> <pre> SP SP <? SP SP <!--brevio:on--> SP SP ?> SP SP </pre> SP SP z",
            kProtectAll,
            "<!--brevio:off--> <pre> SP SP <? SP SP <!--brevio:on--> SP ?> SP </pre> SP z CR LF"),
        Row("a comment inside ends at its own end, whatever it holds",
            "<!--brevio:off--> a <!--x SP <!--brevio:on--> SP SP b", kPre,
            "<!--brevio:off--> a <!--x SP <!--brevio:on--> SP SP b CR LF"),
        // The kept stretch is a word on the line it ends on, and that line
        // ends as every line does.
        Row("an off region without end, line ends and all",
            "<!-- SP brevio:off SP --> CR LF SP a SP SP CR LF", kPre,
            "<!-- SP brevio:off SP --> CR LF SP a SP SP CR LF CR LF")));

INSTANTIATE_TEST_SUITE_P(
    ServerBlocks, ProtectTable,
    ::testing::Values(
        Row("in text", "a SP SP <? SP SP x SP SP ?> SP SP b SP SP <% SP SP y SP ?> SP %> SP SP c",
            kServer, "a SP <? SP SP x SP SP ?> SP b SP <% SP SP y SP ?> SP %> SP c CR LF"),
        Row("in a comment, whose end it hides",
            "<!-- SP <? SP --> SP ?> SP <pre> SP SP a SP SP --> SP SP <pre> SP SP b",
            kServer | kPre, "<!-- SP <? SP --> SP ?> SP <pre> SP a SP --> SP <pre> SP SP b CR LF"),
        Row("in a tag, whose end it hides, also unprotected",
            R"(<a SP <? SP > SP ?> SP title=" SP SP t"> SP SP "u SP SP v")", kAttr,
            R"(<a SP <? SP > SP ?> SP title=" SP SP t"> SP "u SP v" CR LF)"),
        Row("in a quoted value, whose end it hides",
            R"(<a SP href="<? SP " SP ?> SP SP x"> SP SP r)", kAttr,
            R"(<a SP href="<? SP " SP ?> SP SP x"> SP r CR LF)"),
        Row("in a script, whose end tag it hides",
            R"(<script> SP SP <? SP "</script>" SP ?> SP SP </script> SP SP x)", kScript,
            R"(<script> SP SP <? SP "</script>" SP ?> SP SP </script> SP x CR LF)"),
        Row("without end", "a SP SP <% SP SP b", kServer, "a SP <% SP SP b CR LF"),
        Row("what follows one is text, not what follows a <",
            "<? SP x SP ?>pre SP SP a SP <%y%>? SP SP b", kServer | kPre,
            "<? SP x SP ?>pre SP a SP <%y%>? SP b CR LF")));

INSTANTIATE_TEST_SUITE_P(
    Lines, ProtectTable,
    ::testing::Values(
        Row("CR line ends", "SP SP <pre> SP a SP CR SP SP b SP </pre> SP CR SP SP c SP CR", kPre,
            "<pre> SP a SP CR SP SP b SP </pre> CR LF c CR LF"),
        Row("LF line ends", "SP SP <pre> SP a SP LF SP SP b SP </pre> SP LF SP SP c SP LF", kPre,
            "<pre> SP a SP LF SP SP b SP </pre> CR LF c CR LF CR LF"),
        Row("CR LF line ends",
            "TAB <pre> CR LF SP x SP CR LF </pre> SP SP CR LF SP SP y SP SP CR LF", kPre,
            "<pre> CR LF SP x SP CR LF </pre> CR LF y CR LF"),
        Row("at the start of a line after blank lines",
            "CR LF SP SP CR LF TAB CR LF SP SP <textarea> SP x SP </textarea> SP SP CR LF",
            kProtectTextarea, "<textarea> SP x SP </textarea> CR LF"),
        Row("after blank LF segments", "a LF LF SP SP LF SP <style> SP s SP </style> SP LF",
            kProtectStyle, "a CR LF <style> SP s SP </style> CR LF CR LF"),
        Row("blanks around it shrink or go", "SP SP a SP SP TAB <pre> SP SP </pre> TAB SP b SP SP",
            kPre, "a SP <pre> SP SP </pre> SP b CR LF"),
        Row("no blanks around it: one word with its neighbours", "a<pre> SP </pre>b SP SP CR LF",
            kPre, "a<pre> SP </pre>b CR LF")));

// Markers that straddle a 64-byte window when fed whole.
INSTANTIATE_TEST_SUITE_P(
    WindowEnds, ProtectTable,
    ::testing::Values(
        Case{"server blocks across windows",
             std::string(63, 'a') + Bytes("<? SP SP x SP SP ?> SP SP") + std::string(70, 'b') +
                 Bytes("SP SP <% SP SP y SP SP %> SP SP c"),
             kServer,
             std::string(63, 'a') + Bytes("<? SP SP x SP SP ?> SP") + std::string(70, 'b') +
                 Bytes("SP <% SP SP y SP SP %> SP c CR LF")},
        Case{"an end tag across windows",
             "<pre>" + std::string(57, 'a') + Bytes("</pre SP SP > SP SP z"), kPre,
             "<pre>" + std::string(57, 'a') + Bytes("</pre SP SP > SP z CR LF")},
        Case{"markers across windows",
             std::string(60, 'a') +
                 Bytes("<!-- SP brevio:off SP --> SP SP k SP SP <!-- SP brevio:on SP --> SP SP z"),
             kProtectAll,
             std::string(60, 'a') +
                 Bytes("<!-- SP brevio:off SP --> SP SP k SP SP <!-- SP brevio:on SP --> SP z CR "
                       "LF")}));

// ---------------------------------------------------------------------------
// Engine against model on many inputs.

struct Page {
  std::string name;
  std::string text;
};

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Real pages from the system's documentation: every so many of them in
// path order, so that many packages' markup is in, up to a total that keeps
// the test quick. None when it is not installed.
void AddDocumentationPages(std::vector<Page>& pages) {
  constexpr std::uintmax_t kTotal = 512 * 1024;
  constexpr std::uintmax_t kLargest = 64 * 1024;
  constexpr std::size_t kPages = 48;
  std::vector<fs::path> found;
  std::error_code error;
  for (fs::recursive_directory_iterator
           it("/usr/share/doc", fs::directory_options::skip_permission_denied, error),
       end;
       !error && it != end; it.increment(error)) {
    const std::string extension = it->path().extension().string();
    if ((extension == ".html" || extension == ".htm") && it->is_regular_file(error)) {
      found.push_back(it->path());
    }
  }
  std::sort(found.begin(), found.end());
  std::uintmax_t total = 0;
  for (std::size_t i = 0; i < found.size(); i += found.size() / kPages + 1) {
    const std::uintmax_t size = fs::file_size(found[i], error);
    if (error || size > kLargest || total + size > kTotal) continue;
    pages.push_back({found[i].string(), ReadWhole(found[i])});
    total += size;
  }
}

// Markup made of what the scan turns on (pieces in Bytes() notation), heavy
// on blanks and line ends.
std::string RandomMarkup(std::mt19937& random) {
  static const char* const kPieces[] = {"<pre>",     "</pre>",
                                        "<PRE LF",   "</Pre SP CR LF >",
                                        "<script>",  "</script SP >",
                                        "<style/>",  "</STYLE>",
                                        "<textarea", "</textarea>",
                                        "<a",        "<b SP x=",
                                        "</a>",      "<!DOCTYPE",
                                        "<!--",      "-->",
                                        "<?",        "?>",
                                        "<%",        "%>",
                                        "\"",        "'",
                                        ">",         "<",
                                        "</",        "<!",
                                        "-",         "x",
                                        "=",         "SP",
                                        "SP SP",     "TAB",
                                        "CR",        "LF",
                                        "CR LF",     "SP LF",
                                        "NBSP"};
  static const char* const kMarkers[] = {"<!-- SP brevio:off SP -->", "<!-- TAB brevio:on LF -->"};
  std::uniform_int_distribution<int> count(0, 60);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kPieces) + std::size(kMarkers) - 1);
  std::string text;
  for (int n = count(random); n > 0; --n) {
    const std::size_t i = pick(random);
    text += Bytes(i < std::size(kPieces) ? kPieces[i] : kMarkers[i - std::size(kPieces)]);
  }
  return text;
}

const std::vector<Page>& Inputs() {
  static const std::vector<Page> pages = [] {
    std::vector<Page> result;
    for (const char* folder : {"examples", "tests/windows/expected"}) {
      std::vector<fs::path> files;
      for (const auto& entry : fs::directory_iterator(fs::path(BREVIO_SOURCE_DIR) / folder)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      for (const fs::path& file : files) result.push_back({file.string(), ReadWhole(file)});
    }
    result.push_back({"generated page", bench::MakePageText(24 * 1024, false)});
    result.push_back({"generated LF page", bench::MakePageText(24 * 1024, true, 2)});
    AddDocumentationPages(result);
    std::mt19937 random(2024);
    for (int i = 0; i < 300; ++i) {
      result.push_back({"random markup " + std::to_string(i), RandomMarkup(random)});
    }
    return result;
  }();
  return pages;
}

// Piece lengths adding up to size, each from min to max.
std::vector<std::size_t> RandomPieces(std::size_t size, std::mt19937& random, std::size_t min,
                                      std::size_t max) {
  std::uniform_int_distribution<std::size_t> length(min, max);
  std::vector<std::size_t> pieces;
  for (std::size_t pos = 0; pos < size;) {
    pieces.push_back(std::min(length(random), size - pos));
    pos += pieces.back();
  }
  return pieces;
}

std::string ThroughTrimStream(const std::string& text, std::size_t block, ProtectSet set,
                              LineEnd line_end) {
  std::string out;
  std::size_t pos = 0;
  StreamEnds ends;
  ends.read = [&](char* into, std::size_t n, std::size_t& got) {
    got = std::min(n, text.size() - pos);
    std::memcpy(into, text.data() + pos, got);
    pos += got;
    return 0;
  };
  ends.write = [&](const char* data, std::size_t n) {
    out.append(data, n);
    return 0;
  };
  TrimStream(ends, block, set, line_end);
  return out;
}

std::string PlainCleaner(const std::string& text) {
  FileStreamCleaner cleaner;
  std::string out;
  StringSink sink(out);
  cleaner.feed(text, sink);
  cleaner.finish(sink);
  return out;
}

constexpr ProtectSet kSets[] = {0,
                                kProtectPre,
                                kProtectTextarea,
                                kProtectScript,
                                kProtectStyle,
                                kProtectAttributes,
                                kProtectServer,
                                kProtectAll};

// Puts the instruction set chosen at start-up back, however the test ends.
struct RestoreSimd {
  Simd best = detail::ActiveSimd();
  ~RestoreSimd() { detail::UseSimd(best); }
};

// Each input and set is tried with one of the line ends, in turn.
void CheckInput(const Page& page, ProtectSet set, std::uint32_t seed) {
  const std::string& text = page.text;
  const auto line_end = static_cast<LineEnd>(seed % 3);
  SCOPED_TRACE(page.name + " [" + ProtectListText(set) + "] line end " + std::to_string(seed % 3) +
               (text.size() <= 400 ? " " + ::testing::PrintToString(text) : ""));
  const std::string expected = ModelTrimFileProtected(text, set, line_end);
  if (set == 0 && line_end == LineEnd::kCrLf) {
    ASSERT_TRUE(SameBytes(PlainCleaner(text), expected)) << "the plain cleaner";
  }
  std::mt19937 random(seed);
  ASSERT_TRUE(SameBytes(expected, ThroughTrimStream(text, 1 + random() % 300, set, line_end)))
      << "TrimStream";
  const RestoreSimd restore;
  for (const Simd simd :
       {Simd::kNone, Simd::kSse2, Simd::kSse42, Simd::kAvx2, Simd::kAvx512, Simd::kAvx512Vbmi2}) {
    if (!detail::UseSimd(simd)) continue;
    SCOPED_TRACE("instruction set " + std::to_string(static_cast<int>(simd)));
    ASSERT_TRUE(SameBytes(expected, Protect(text, set, RandomPieces(text.size(), random, 1, 300),
                                            SinkKind::kBuffer, line_end)))
        << "pieces of 1 to 300 bytes";
    ASSERT_TRUE(
        SameBytes(expected, Protect(text, set, RandomPieces(text.size(), random, 4096, 20000),
                                    SinkKind::kBuffer, line_end)))
        << "pieces of 4 KiB and more";
    ASSERT_TRUE(SameBytes(expected, Protect(text, set, Whole(text), SinkKind::kString, line_end)))
        << "whole";
  }
}

TEST(ProtectAgainstModel, PagesAndRandomMarkupInAnyPiecesUnderEveryInstructionSet) {
  const std::vector<Page>& inputs = Inputs();
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    for (std::size_t s = 0; s < std::size(kSets); ++s) {
      CheckInput(inputs[i], kSets[s], static_cast<std::uint32_t>(i * 16 + s));
    }
  }
}

}  // namespace
}  // namespace brevio

// The windows' words and the small file facts they read.
#include "brevio/forms/texts.h"

#include <fileio/file_error.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "brevio/forms/paths.h"
#include "tests/support/temp_dir.h"

namespace brevio::forms {
namespace {

using fileio::FileError;
using fileio::Step;

TEST(PlainReason, FileErrorsInPlainWords) {
  const std::string page = std::string("w") + kSeparator + "p.htm";
  const struct {
    Step step;
    int error;
    std::string want;
  } cases[] = {
      {Step::kReadSource, EIO, page + " can no longer be read."},
      {Step::kOpenSource, EACCES, "You may not read " + page + "."},
      {Step::kCreateTemp, ENOENT, "The folder " + page + " does not exist."},  // path: the folder
      {Step::kReplace, ENOTDIR, "w is not a folder."},
      {Step::kWriteTarget, EACCES, "You may not write to " + page + "."},
      {Step::kReplace, EACCES, "You may not write to w."},
      {Step::kWriteTarget, ENOSPC, "The disk that holds w is full."},
      {Step::kRefuseTarget, ENOENT, page + " is a symbolic link to a file that does not exist."},
      {Step::kOpenSource, EISDIR, page + " is a folder, not a file."},
      {Step::kWriteTarget, EFBIG,
       page + " would grow larger than this system allows a file to be."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PlainReason(FileError(c.step, page, c.error)), c.want) << c.error;
  }
  EXPECT_EQ(PlainReason(std::runtime_error("as it is")), "as it is");
}

TEST(Texts, ResultCodesAndTheMissingLibrary) {
  const struct {
    std::int32_t code;
    const char* want;
  } cases[] = {{0, ""},
               {1, "There is no source file to trim: its path is blank."},
               {2, "There is no target file to write: its path is blank."},
               {3, "The source file was not found:\n/gone.htm"},
               {-5, "The file could not be trimmed (result -5)."}};
  for (const auto& c : cases) EXPECT_EQ(TrimResultText(c.code, "/gone.htm"), c.want) << c.code;
  EXPECT_EQ(TrimResultText(kTrimNotText, "/w.htm", NotText::kUtf32),
            "The source file is UTF-32 text, which Brevio does not trim, so it was not "
            "trimmed:\n/w.htm");
  const std::string missing =
      TarnexMissingText(static_cast<std::int32_t>(0x80040154), "regsvr", "/opt/lib/TARNEX.so");
  EXPECT_NE(missing.find("(error 0x80040154)"), std::string::npos) << missing;
  EXPECT_NE(missing.find("\nregsvr /opt/lib/TARNEX.so"), std::string::npos) << missing;
}

TEST(Texts, TheEndBoxCountsFailedAndSkippedFilesApart) {
  const struct {
    int failed, skipped, total;
    const char* want;
  } cases[] = {
      {2, 1, 10,
       "3 of 10 files could not be trimmed: 2 failed, 1 is not text. Select a row marked "
       "failed or skipped to see why."},
      {0, 1, 3,
       "1 of 3 files could not be trimmed: 1 is not text. Select a row marked skipped to see "
       "why."},
  };
  for (const auto& c : cases) EXPECT_EQ(BatchFailedText(c.failed, c.skipped, c.total), c.want);
}

// Names as brevio-trim writes them where they cannot be shown as they are.
TEST(Texts, NamesThatAreNotPlainTextAreShownQuotedWithEscapes) {
  const struct {
    std::string name, shown;
  } cases[] = {
      {"page.htm", "page.htm"},
      {"a b's.htm", "a b's.htm"},  // the window is no shell: only escapes quote
      {"caf\xC3\xA9.htm", "caf\xC3\xA9.htm"},
      {"caf\xE9.htm", "'caf'$'\\351''.htm'"},
      {"caf\xEF\xBF\xBD.htm", "caf\xEF\xBF\xBD.htm"},
      {"a\nb\t", "'a'$'\\n''b'$'\\t'"},
      {"it's\xFF", "'it'\\''s'$'\\377'"},
      {"\xC2\x85x", "$'\\302\\205''x'"},       // C1 control
      {"\xED\xA0\x80", "$'\\355\\240\\200'"},  // a surrogate is no character
      {"\xC0\xAF", "$'\\300\\257'"},           // nor an overlong form
  };
  for (const auto& c : cases) EXPECT_EQ(ShownName(c.name), c.shown) << c.shown;
}

TEST(Texts, TrimSpacesTakesOnlySpacesAtBothEnds) {
  const struct {
    const char *in, *out;
  } cases[] = {{"  /out  ", "/out"}, {"   ", ""}, {"\t/out\t", "\t/out\t"}, {" a b ", "a b"}};
  for (const auto& c : cases) EXPECT_EQ(TrimSpaces(c.in), c.out) << c.in;
}

TEST(Texts, OnlyRegularFilesHaveALength) {
  brevio::testing::TempDir dir;
  dir.write("ten.htm", "0123456789");
  const auto p = [&](const char* n) { return Utf8Path(dir / n); };
  const struct {
    std::string path;
    std::optional<std::uint64_t> len;
  } cases[] = {{p("ten.htm"), 10},
               {p("missing.htm"), std::nullopt},
               {Utf8Path(dir.path()), std::nullopt},
               {"", std::nullopt},
               {p("ten.htm") + kSeparator + "below", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(FileLength(c.path), c.len) << c.path;
}

}  // namespace
}  // namespace brevio::forms

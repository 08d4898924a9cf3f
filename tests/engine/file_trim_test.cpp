#include "brevio/engine/file_trim.h"

#include <acl/libacl.h>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/acl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

#include "fileio/file_error.h"
#include "fileio/replace.h"
#include "tests/engine/reference_model.h"
#include "tests/support/as_user.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace brevio {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::ModelTrimFile;
using testing::ReadFile;
using testing::TempDir;

int OpenDescriptorCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

// Our temporary files are dot-files holding ".brevio-"; none may stay behind.
bool HasLeftovers(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().find(".brevio-") != std::string::npos) return true;
  }
  return false;
}

struct ContentCase {
  const char* source;
  const char* target;
};

void PrintTo(const ContentCase& c, std::ostream* os) { *os << '"' << c.source << '"'; }

class TrimFileContent : public ::testing::TestWithParam<ContentCase> {};

TEST_P(TrimFileContent, WritesEveryNonEmptyCleanedLineWithCrLf) {
  TempDir dir;
  const auto source = dir.write("in.htm", Bytes(GetParam().source));
  const auto target = dir / "out.htm";
  EXPECT_EQ(TrimFile(source, target), kTrimDone);
  EXPECT_EQ(ReadFile(target), Bytes(GetParam().target));
}

INSTANTIATE_TEST_SUITE_P(
    Files, TrimFileContent,
    ::testing::Values(
        ContentCase{"(empty)", "(empty)"}, ContentCase{"CR LF SP SP CR LF TAB CR LF", "(empty)"},
        ContentCase{"a CR LF CR LF SP SP b SP SP CR LF", "a CR LF b CR LF"},
        ContentCase{"a CR LF b", "a CR LF b CR LF"}, ContentCase{"a CR b CR", "a CR LF b CR LF"},
        ContentCase{"a LF b LF", "a CR LF b CR LF CR LF"}, ContentCase{"a LF b", "a CR LF b CR LF"},
        ContentCase{"a LF CR LF b CR LF", "a CR LF CR LF b CR LF"},
        ContentCase{"TAB if SP ( SP x SP ) SP SP { CR LF", "if SP ( SP x SP ) SP { CR LF"},
        // A UTF-8 byte order mark and SUB are text like any other.
        ContentCase{"\xEF\xBB\xBF SP a SUB CR CR LF", "\xEF\xBB\xBF SP a SUB CR LF"},
        ContentCase{"CR CR CR x", "x CR LF"}, ContentCase{"LF CR LF", "(empty)"}));

struct CodeCase {
  const char* name;
  std::string source;  // "@x" is file x in the test folder
  std::string target;
  std::int32_t code;
};

void PrintTo(const CodeCase& c, std::ostream* os) { *os << c.name; }

class TrimFileCodes : public ::testing::TestWithParam<CodeCase> {};

TEST_P(TrimFileCodes, ChecksComeFirstAndTouchNothing) {
  TempDir dir;
  dir.write("page.htm", "  x  \r\n");
  fs::create_directory(dir / "folder");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_symlink(dir / "folder", dir / "link-to-folder");
  fs::create_symlink(dir / "gone", dir / "dangling");
  fs::create_symlink(dir / "page.htm", dir / "link-to-page");
  dir.write(".hidden.htm", "x");
  const auto expand = [&](const std::string& p) {
    return p.rfind('@', 0) == 0 ? (dir / p.substr(1)).string() : p;
  };
  const auto before = OpenDescriptorCount();
  EXPECT_EQ(TrimFile(expand(GetParam().source), expand(GetParam().target)), GetParam().code);
  EXPECT_EQ(OpenDescriptorCount(), before);
  if (GetParam().code != kTrimDone) {
    EXPECT_FALSE(fs::exists(dir / "out.htm"));
  }
  EXPECT_FALSE(HasLeftovers(dir.path()));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, TrimFileCodes,
    ::testing::Values(
        CodeCase{"empty_source", "", "@out.htm", kTrimSourceBlank},
        CodeCase{"spaces_source_any_target", "   ", "", kTrimSourceBlank},
        CodeCase{"empty_target", "@page.htm", "", kTrimTargetBlank},
        CodeCase{"spaces_target", "@page.htm", "  ", kTrimTargetBlank},
        CodeCase{"blank_target_before_missing_source", "@nothing", " ", kTrimTargetBlank},
        CodeCase{"tab_source_is_not_blank", "\t", "@out.htm", kTrimSourceNotFound},
        CodeCase{"missing", "@nothing.htm", "@out.htm", kTrimSourceNotFound},
        CodeCase{"below_a_file", "@page.htm/x", "@out.htm", kTrimSourceNotFound},
        CodeCase{"folder", "@folder", "@out.htm", kTrimSourceNotFound},
        CodeCase{"fifo", "@fifo", "@out.htm", kTrimSourceNotFound},
        CodeCase{"device", "/dev/zero", "@out.htm", kTrimSourceNotFound},
        CodeCase{"link_to_folder", "@link-to-folder", "@out.htm", kTrimSourceNotFound},
        CodeCase{"dangling_link", "@dangling", "@out.htm", kTrimSourceNotFound},
        CodeCase{"spaces_around_a_real_name", " @page.htm", "@out.htm", kTrimSourceNotFound},
        CodeCase{"link_to_file", "@link-to-page", "@out.htm", kTrimDone},
        CodeCase{"dot_file", "@.hidden.htm", "@out.htm", kTrimDone}),
    [](const auto& info) { return std::string(info.param.name); });

// Splitting the file at every block boundary gives the same bytes as the
// repeated passes on the whole text.
TEST(TrimFileAgainstModel, EveryBlockSizeGivesTheModelsBytes) {
  std::mt19937 random(2024);
  static const char kAlphabet[] = {'\t', '\n',   '\r',   ' ', ' ', '\xA0',
                                   '\0', '\x1A', '\xFF', 'a', 'b'};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 1);
  std::uniform_int_distribution<std::size_t> length(0, 120);
  TempDir dir;
  for (int i = 0; i < 150; ++i) {
    std::string text(length(random), ' ');
    for (char& c : text) c = kAlphabet[pick(random)];
    const auto source = dir.write("in.txt", text);
    const std::string expected = ModelTrimFile(text);
    for (std::size_t block : {1, 2, 3, 5, 8, 17, 64, 4096}) {
      TrimOptions options;
      options.block_size = block;
      options.binary = true;  // NUL bytes among the text
      const TrimReport report = TrimFileWithReport(source, dir / "out.txt", options);
      ASSERT_EQ(ReadFile(dir / "out.txt"), expected)
          << ::testing::PrintToString(text) << " block " << block;
      ASSERT_EQ(report.source_bytes, text.size());
      ASSERT_EQ(report.target_bytes, expected.size());
    }
  }
}

// A check compares the trim with the source at any block size: held-back
// spaces, line ends written ahead of the input and a shorter or longer
// result all count. Texts and their trims (most of which are fixed points)
// and their trims' trims (with LF line ends the rule needs two passes)
// alike; the source is never written.
TEST(TrimFileAgainstModel, ACheckAtEveryBlockSizeSaysWhetherTheTrimWouldChangeTheFile) {
  std::mt19937 random(2026);
  static const char kAlphabet[] = {'\t', '\n', '\r', '\r', ' ', ' ', 'a', 'b'};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 1);
  std::uniform_int_distribution<std::size_t> length(0, 80);
  TempDir dir;
  std::size_t answers[2] = {};
  for (int i = 0; i < 150; ++i) {
    std::string text(length(random), ' ');
    for (char& c : text) c = kAlphabet[pick(random)];
    const std::string once = ModelTrimFile(text);
    for (const std::string& input : {text, once, ModelTrimFile(once)}) {
      const std::string trimmed = ModelTrimFile(input);
      ++answers[trimmed == input ? 1 : 0];
      const auto source = dir.write("in.txt", input);
      const auto written = fs::last_write_time(source);
      for (std::size_t block : {1, 2, 3, 5, 8, 64, 4096}) {
        for (const TrimCheck check : {TrimCheck::kFirst, TrimCheck::kWhole}) {
          TrimOptions options;
          options.block_size = block;
          options.check = check;
          const TrimReport report = TrimFileWithReport(source, source, options);
          ASSERT_EQ(report.unchanged, trimmed == input)
              << ::testing::PrintToString(input) << " block " << block;
          if (check == TrimCheck::kWhole) {
            ASSERT_EQ(report.target_bytes, trimmed.size());
          }
        }
      }
      ASSERT_EQ(ReadFile(source), input);
      ASSERT_EQ(fs::last_write_time(source), written);
    }
  }
  EXPECT_GT(answers[0], 100u);  // both answers were asked for often
  EXPECT_GT(answers[1], 100u);
}

// Images, archives and UTF-16 or UTF-32 pages are left alone unless asked.
TEST(TrimFile, SourcesThatAreNoTextAreSkippedWithTheirReason) {
  const std::string probe_full(kTextProbeBytes - 1, 'a');
  struct Row {
    const char* what;
    std::string source;
    bool binary;
    NotText expected;
  };
  const std::vector<Row> rows = {
      {"a PNG header", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), false, NotText::kNulBytes},
      {"NUL first", std::string("\0a b\r\n", 6), false, NotText::kNulBytes},
      {"NUL last in the probed start", probe_full + std::string(1, '\0'), false,
       NotText::kNulBytes},
      {"NUL past the probed start", probe_full + "a" + std::string(1, '\0'), false, NotText::kText},
      {"UTF-16 little endian",
       std::string("\xFF\xFE"
                   "a\0\r\0\n\0",
                   8),
       false, NotText::kUtf16},
      {"UTF-16 big endian", std::string("\xFE\xFF\0a", 4), false, NotText::kUtf16},
      {"UTF-32 little endian",
       std::string("\xFF\xFE\0\0"
                   "a\0\0\0",
                   8),
       false, NotText::kUtf32},
      {"UTF-32 big endian", std::string("\0\0\xFE\xFF\0\0\0a", 8), false, NotText::kUtf32},
      {"a UTF-8 mark is text", "\xEF\xBB\xBF  a\r\n", false, NotText::kText},
      {"binary trims it all the same", std::string("\xFF\xFE a \0  \r\n", 10), true,
       NotText::kText},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    const auto source = dir.write("in", row.source);
    for (const bool in_place : {false, true}) {
      const fs::path target = in_place ? source : dir / "out";
      TrimOptions options;
      options.binary = row.binary;
      const TrimReport report = TrimFileWithReport(source, target, options);
      EXPECT_EQ(report.not_text, row.expected);
      if (row.expected == NotText::kText) {
        EXPECT_EQ(report.result, kTrimDone);
        if (!in_place) {
          EXPECT_EQ(ReadFile(target), ModelTrimFile(row.source));
        }
      } else {
        EXPECT_EQ(report.result, kTrimNotText);
        EXPECT_FALSE(fs::exists(dir / "out"));
        EXPECT_EQ(ReadFile(source), row.source);
        EXPECT_FALSE(HasLeftovers(dir.path()));
      }
    }
  }
}

// A target that already holds the trimmed bytes keeps its inode and times;
// keep_times gives a written target the source's times, as cp -p does.
TEST(TrimFile, UnchangedTargetsAreLeftAloneAndKeepTimesCopiesTheSourcesTimes) {
  const std::string kTrimmedPage = ModelTrimFile("\t<p>  a  </p>\r\n");
  struct Row {
    const char* what;
    std::string source;
    std::string target;  // its bytes before the trim; "(none)": none; "=": the source itself
    bool keep_times;
    bool unchanged;
  };
  const std::vector<Row> rows = {
      {"in place, already trimmed", kTrimmedPage, "=", false, true},
      {"in place, to be trimmed", "\t<p>  a  </p>\r\n", "=", false, false},
      {"a copy that holds the result", "\t<p>  a  </p>\r\n", kTrimmedPage, false, true},
      {"a copy that holds its start", "\t<p>  a  </p>\r\n", "<p>", false, false},
      {"a copy that holds more", "\t<p>  a  </p>\r\n", kTrimmedPage + "x", false, false},
      {"a new copy with the source's times", "\t<p>  a  </p>\r\n", "(none)", true, false},
      {"an unchanged copy with the source's times", "\t<p>  a  </p>\r\n", kTrimmedPage, true, true},
      {"a rewritten copy with the source's times", "\t<p>  a  </p>\r\n", "old", true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    const fs::path source = dir.write("in.htm", row.source);
    const bool in_place = row.target == "=";
    const fs::path target = in_place ? source : dir / "out.htm";
    if (row.target != "(none)" && !in_place) dir.write("out.htm", row.target);
    const timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, source.c_str(), old_times, 0);
    const timespec target_times[2] = {{1500000000, 0}, {1500000000, 0}};
    if (fs::exists(target) && !in_place) ::utimensat(AT_FDCWD, target.c_str(), target_times, 0);
    struct stat before {};
    ::stat(target.c_str(), &before);
    TrimOptions options;
    options.keep_times = row.keep_times;
    const TrimReport report = TrimFileWithReport(source, target, options);
    EXPECT_EQ(report.unchanged, row.unchanged);
    struct stat after {};  // before the reading below, which moves the access time
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_EQ(ReadFile(target), ModelTrimFile(row.source));
    EXPECT_FALSE(HasLeftovers(dir.path()));
    if (row.unchanged) {
      EXPECT_EQ(after.st_ino, before.st_ino);
    }
    if (row.keep_times) {
      EXPECT_EQ(after.st_mtim.tv_sec, 1000000000);
      EXPECT_EQ(after.st_atim.tv_sec, 1000000000);
    } else if (row.unchanged) {
      EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    } else {
      EXPECT_GT(after.st_mtim.tv_sec, 1500000000);
    }
  }
}

TEST(TrimFileAgainstModel, LfOnlyFileOfManySegmentsIsOneLineCleanedWhole) {
  std::string text;
  for (int i = 0; i < 40000; ++i) text += (i % 3 == 0) ? "\t<td>  x </td>  \n" : "\n";
  TempDir dir;
  const auto source = dir.write("in.htm", text);
  TrimOptions options;
  options.block_size = 1000;
  TrimFileWithReport(source, dir / "out.htm", options);
  EXPECT_EQ(ReadFile(dir / "out.htm"), ModelTrimFile(text));
}

TEST(TrimFileAgainstModel, BigRandomFilesGiveTheModelsBytes) {
  std::mt19937 random(8);
  static const char kAlphabet[] = {'\t', '\n', '\r', ' ', ' ', '\xA0', 'a', 'b', 'c', 'd'};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 1);
  std::string text(std::size_t{9} << 20, ' ');
  for (char& c : text) c = kAlphabet[pick(random)];
  TempDir dir;
  const auto source = dir.write("in.txt", text);
  for (std::size_t block : {std::size_t{4093}, std::size_t{256} * 1024}) {
    TrimOptions options;
    options.block_size = block;
    const TrimReport report = TrimFileWithReport(source, dir / "out.txt", options);
    const std::string expected = ModelTrimFile(text);
    ASSERT_EQ(ReadFile(dir / "out.txt"), expected) << "block " << block;
    EXPECT_EQ(report.target_bytes, expected.size());
  }
}

// Two workers clean blocks with the line end the file's first one asks
// for, also when the first blocks hold none.
TEST(TrimFileAgainstModel, BigFilesKeepTheirFirstLineEndWhicheverBlockHoldsIt) {
  std::string head(std::size_t{5} << 20, 'a');
  for (std::size_t i = 7; i < head.size(); i += 11) head[i] = ' ';
  std::string tail;
  while (tail.size() < (std::size_t{4} << 20)) tail += "b  \r\n c\n\t d\r\n\n  e ";
  TempDir dir;
  for (const char* first : {"\n", "\r\n", "\r"}) {
    const std::string text = head + first + tail;
    const auto source = dir.write("in.txt", text);
    for (const LineEnd line_end : {LineEnd::kKeep, LineEnd::kLf}) {
      TrimOptions options;
      options.block_size = std::size_t{1} << 20;
      options.line_end = line_end;
      TrimFileWithReport(source, dir / "out.txt", options);
      // Compared whole: a printed difference of megabytes helps nobody.
      ASSERT_TRUE(ReadFile(dir / "out.txt") == ModelTrimFile(text, line_end))
          << ::testing::PrintToString(std::string(first)) << " line end "
          << static_cast<int>(line_end);
    }
  }
}

// Big files are cut into blocks anywhere and cleaned by two workers, each
// block starting in the state the bytes before the cut leave. Mixed layouts
// hit every kind of cut: CR-rich parts, LF-only stretches, a CR LF split by a
// cut, blocks of nothing but blanks and LFs (whose state comes from the block
// before), and a file that ends exactly on a block boundary.
TEST(TrimFileAgainstModel, BigFilesCleanedByTwoWorkersGiveTheModelsBytes) {
  std::mt19937 random(31);
  static const char kWithCr[] = {'\t', '\n', '\r', ' ', ' ', 'a', 'b'};
  static const char kLfOnly[] = {'\t', '\n', ' ', ' ', ' ', 'a', 'b'};
  std::uniform_int_distribution<std::size_t> pick(0, 6);
  std::uniform_int_distribution<std::size_t> stretch(1, 40000);
  std::string text;
  while (text.size() < (std::size_t{9} << 20)) {
    const char* alphabet = (text.size() / 700000) % 2 == 0 ? kWithCr : kLfOnly;
    for (std::size_t n = stretch(random); n > 0; --n) text += alphabet[pick(random)];
    if (random() % 5 == 0) text += "\r\n";
    if (random() % 97 == 0) {
      for (std::size_t n = 3 * stretch(random); n > 0; --n) text += random() % 9 == 0 ? '\n' : ' ';
    }
  }
  TempDir dir;
  for (const std::size_t size : {text.size(), std::size_t{9} << 20}) {
    const std::string input = text.substr(0, size);
    const auto source = dir.write("in.txt", input);
    const std::string expected = ModelTrimFile(input);
    for (const std::size_t block : {std::size_t{4096}, std::size_t{65536}, std::size_t{1} << 20}) {
      TrimOptions options;
      options.block_size = block;
      const TrimReport report = TrimFileWithReport(source, dir / "out.txt", options);
      ASSERT_EQ(ReadFile(dir / "out.txt"), expected) << "size " << size << " block " << block;
      EXPECT_EQ(report.source_bytes, input.size());
      EXPECT_EQ(report.target_bytes, expected.size());
    }
  }
}

TEST(TrimFile, DryRunCountsAndWritesNothing) {
  TempDir dir;
  const auto source = dir.write("in.htm", "  a  \n\n b\r\n");
  TrimOptions options;
  options.dry_run = true;
  const TrimReport report = TrimFileWithReport(source, dir / "out.htm", options);
  EXPECT_EQ(report.result, kTrimDone);
  EXPECT_EQ(report.source_bytes, 11u);
  EXPECT_EQ(report.target_bytes, 6u);  // "a\r\nb\r\n"
  EXPECT_FALSE(fs::exists(dir / "out.htm"));
}

// ---- In place: one file, many spellings ----

struct SpellingCase {
  const char* name;
  std::string target;  // relative to the test folder, which is the working folder
};

void PrintTo(const SpellingCase& c, std::ostream* os) { *os << c.name; }

class InPlace : public ::testing::TestWithParam<SpellingCase> {};

TEST_P(InPlace, ReplacesTheFileAndLeavesNothingBehind) {
  TempDir dir;
  const auto page = dir.write("page.htm", "\t<p>  hi  </p>\n\n");
  fs::create_directory(dir / "sub");
  fs::create_symlink("page.htm", dir / "link.htm");
  fs::create_hard_link(page, dir / "hard.htm");
  const fs::path cwd = fs::current_path();
  fs::current_path(dir.path());
  const std::string target = GetParam().target == "@abs" ? page.string() : GetParam().target;
  std::int32_t code = -1;
  EXPECT_NO_THROW(code = TrimFile("page.htm", target));
  fs::current_path(cwd);
  EXPECT_EQ(code, kTrimDone);
  const fs::path written = fs::path(GetParam().target) == "hard.htm" ? dir / "hard.htm" : page;
  EXPECT_EQ(ReadFile(written), "<p> hi </p>\r\n\r\n");
  EXPECT_TRUE(fs::is_symlink(dir / "link.htm"));
  EXPECT_FALSE(HasLeftovers(dir.path()));
}

INSTANTIATE_TEST_SUITE_P(Spellings, InPlace,
                         ::testing::Values(SpellingCase{"same_string", "page.htm"},
                                           SpellingCase{"dot_slash", "./page.htm"},
                                           SpellingCase{"dot_dot", "sub/../page.htm"},
                                           SpellingCase{"absolute", "@abs"},
                                           SpellingCase{"symbolic_link", "link.htm"},
                                           SpellingCase{"hard_link", "hard.htm"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TrimFile, ATargetLinkStaysALinkAndItsFileIsReplaced) {
  TempDir dir;
  const auto source = dir.write("in.htm", " a \r\n");
  fs::create_directory(dir / "real");
  dir.write("real/out.htm", "old");
  fs::create_symlink("real/out.htm", dir / "out.htm");
  fs::create_symlink("real/new.htm", dir / "dangling.htm");
  EXPECT_EQ(TrimFile(source, dir / "out.htm"), kTrimDone);
  TrimOptions through;
  through.write_through_dangling_links = true;
  EXPECT_EQ(TrimFileWithReport(source, dir / "dangling.htm", through).result, kTrimDone);
  EXPECT_TRUE(fs::is_symlink(dir / "out.htm"));
  EXPECT_EQ(ReadFile(dir / "real/out.htm"), "a\r\n");
  EXPECT_EQ(ReadFile(dir / "real/new.htm"), "a\r\n");
  EXPECT_FALSE(HasLeftovers(dir / "real"));
  EXPECT_FALSE(HasLeftovers(dir.path()));
}

TEST(TrimFile, KeepsTheTargetsPermissionsAndGivesNewFilesTheUmasksOnes) {
  TempDir dir;
  const auto source = dir.write("in.htm", "x");
  const auto existing = dir.write("existing.htm", "old");
  fs::permissions(existing, fs::perms(0640));
  const mode_t old_mask = ::umask(027);
  TrimFile(source, existing);
  TrimFile(source, dir / "new.htm");
  ::umask(old_mask);
  EXPECT_EQ(fs::status(existing).permissions(), fs::perms(0640));
  EXPECT_EQ(fs::status(dir / "new.htm").permissions(), fs::perms(0640));
  fs::permissions(source, fs::perms(0604));
  TrimFile(source, source);
  EXPECT_EQ(fs::status(source).permissions(), fs::perms(0604));
  // A private source gives a private copy, whatever the umask lets through.
  fs::permissions(source, fs::perms(0600));
  const mode_t open_mask = ::umask(022);
  TrimFile(source, dir / "copy.htm");
  ::umask(open_mask);
  EXPECT_EQ(fs::status(dir / "copy.htm").permissions(), fs::perms(0600));
}

// ---- Failures: made to happen, reported with the path and errno ----

struct FailureCase {
  const char* name;
  const char* target;  // relative to the test folder
  fileio::Step step;
  const char* path;  // the path named, relative to the test folder
  int error;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

// The temporary file is made with the target's bits; where the umask takes
// some of them away they must be put back.
struct ModeCase {
  mode_t target;
  mode_t umask;
};

class KeepsTheMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(KeepsTheMode, WhateverTheUmask) {
  TempDir dir;
  const auto source = dir.write("in.htm", "  x  ");
  const auto target = dir.write("out.htm", "old");
  ::chmod(target.c_str(), GetParam().target);
  ::chmod(source.c_str(), GetParam().target);
  const mode_t old_mask = ::umask(GetParam().umask);
  TrimFile(source, target);
  TrimFile(source, source);
  ::umask(old_mask);
  for (const auto& path : {target, source}) {
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, GetParam().target) << path;
    EXPECT_EQ(ReadFile(path), "x\r\n");
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, KeepsTheMode,
                         ::testing::Values(ModeCase{0644, 022}, ModeCase{0666, 022},
                                           ModeCase{0777, 077}, ModeCase{0600, 0},
                                           ModeCase{0604, 027}, ModeCase{0640, 077},
                                           ModeCase{0664, 002}));

class TrimFileFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(TrimFileFailure, ThrowsWithPathAndErrnoAndReleasesEverything) {
  TempDir dir;
  const auto source = dir.write("in.htm", "a\r\n");
  dir.write("file", "not a folder");
  fs::create_directory(dir / "folder");
  dir.write("folder/keep", "k");
  const std::string target = (dir / GetParam().target).string();
  const auto before = OpenDescriptorCount();
  try {
    TrimFile(source, target);
    ADD_FAILURE() << "no error";
  } catch (const fileio::FileError& e) {
    EXPECT_EQ(e.step(), GetParam().step) << e.what();
    EXPECT_EQ(e.path(), (dir / GetParam().path).string());
    EXPECT_EQ(e.code().value(), GetParam().error) << e.what();
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_EQ(ReadFile(source), "a\r\n");
  EXPECT_FALSE(HasLeftovers(dir.path()));
  EXPECT_EQ(ReadFile(dir / "folder/keep"), "k");
}

INSTANTIATE_TEST_SUITE_P(
    Failures, TrimFileFailure,
    ::testing::Values(
        FailureCase{"missing_folder", "no/such/out.htm", fileio::Step::kCreateTemp, "no/such",
                    ENOENT},
        FailureCase{"parent_is_a_file", "file/out.htm", fileio::Step::kCreateTemp, "file", ENOTDIR},
        FailureCase{"target_is_a_folder", "folder", fileio::Step::kRefuseTarget, "folder", EISDIR}),
    [](const auto& info) { return std::string(info.param.name); });

// A write limit: the child process gets EFBIG part-way through. The old
// target must survive whole and the temporary file must be gone.
TEST(TrimFileFailure, AWriteLimitLeavesTheOldTargetWhole) {
  // A small file, and one big enough for the two-worker path.
  for (const int lines : {20000, 600000}) {
    TempDir dir;
    std::string text;
    for (int i = 0; i < lines; ++i) text += "  <li>item</li>\r\n";
    const auto source = dir.write("in.htm", text);
    const auto target = dir.write("out.htm", "old target");
    for (const bool in_place : {false, true}) {
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int status = 1;
        const std::string to = in_place ? source.string() : target.string();
        try {
          TrimFile(source, to);
          status = 2;
        } catch (const fileio::FileError& e) {
          status = (e.step() == fileio::Step::kWriteTarget && e.code().value() == EFBIG &&
                    e.path() == to)
                       ? 0
                       : 3;
        }
        ::_exit(status);
      }
      int status = -1;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), 0) << "in place: " << in_place;
      EXPECT_EQ(ReadFile(target), "old target");
      EXPECT_EQ(ReadFile(source), text);
      EXPECT_FALSE(HasLeftovers(dir.path()));
    }
  }
}

constexpr const char* kSecretPage = "  <p>secret</p>  \r\n";

// Also when a walk listed it as a regular file and it is not looked up
// before it is opened.
TEST(TrimFileFailure, ASourceRemovedBeforeItIsOpenedIsNotFound) {
  TempDir dir;
  const auto source = dir.write("in.htm", "a");
  fs::remove(source);
  for (const bool listed : {false, true}) {
    TrimOptions options;
    options.source_listed_regular = listed;
    EXPECT_EQ(TrimFileWithReport(source, dir / "out.htm", options).result, kTrimSourceNotFound);
  }
  EXPECT_FALSE(fs::exists(dir / "out.htm"));
}

TEST(TrimFileFailure, AnUnreadableSourceNamesTheSource) {
  TempDir dir;
  const auto source = dir.write("in.htm", "a");
  brevio::testing::ShareWithTestUser(dir.path().string());
  fs::permissions(source, fs::perms::none);
  // Root reads every file: the trim runs as an ordinary user.
  const int status = brevio::testing::RunAsOrdinaryUser([&] {
    try {
      TrimFile(source, dir / "out.htm");
    } catch (const fileio::FileError& e) {
      const bool named = e.step() == fileio::Step::kOpenSource && e.path() == source.string() &&
                         e.code().value() == EACCES;
      return named ? 0 : 2;
    }
    return 1;
  });
  EXPECT_EQ(status, 0) << "1: no error, 2: another step, path or error";
  EXPECT_FALSE(fs::exists(dir / "out.htm"));
}

TEST(TrimFileFailure, AWalkThatFollowsNoLinksRefusesThemAsSourceAndInPlace) {
  TempDir dir;
  const auto secret = dir.write("secret.htm", kSecretPage);
  fs::create_symlink(secret, dir / "evil.htm");
  TrimOptions options;
  options.follow_links = false;
  for (const fs::path& target : {dir / "copy.htm", dir / "evil.htm"}) {
    for (const bool listed : {false, true}) {  // a link swapped in after the listing
      SCOPED_TRACE(target.string() + (listed ? " listed" : ""));
      options.source_listed_regular = listed;
      try {
        TrimFileWithReport(dir / "evil.htm", target, options);
        ADD_FAILURE() << "no error";
      } catch (const fileio::FileError& e) {
        EXPECT_EQ(e.step(), fileio::Step::kOpenSource);
        EXPECT_EQ(e.code().value(), ELOOP);
      }
    }
  }
  EXPECT_EQ(ReadFile(secret), kSecretPage);
  EXPECT_FALSE(fs::exists(dir / "copy.htm"));
}

// ---- What is at the target decides how it is written ----

constexpr const char* kPage = "\t<p>  hi  </p>\r\n\r\n";
constexpr const char* kTrimmed = "<p> hi </p>\r\n";

// Everything written to fd until every writer has closed it.
std::future<std::string> ReadAllAsync(int fd) {
  return std::async(std::launch::async, [fd] {
    std::string got;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
      got.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return got;
  });
}

struct Made {
  std::string target;
  std::future<std::string> read;  // what a reader at the other end gets
  std::function<void()> done = [] {};
};

struct KindCase {
  const char* name;
  bool needs_root;
  std::function<Made(const fs::path& dir)> make;
  std::optional<fileio::Step> refused;  // none: written into
  int error;
  mode_t type_after;  // the path's own type afterwards (lstat), 0: not checked
};

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }

class TargetKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(TargetKinds, SpecialFilesAreWrittenIntoOrRefusedNeverReplaced) {
  if (GetParam().needs_root && ::geteuid() != 0) GTEST_SKIP() << "making a device needs root";
  TempDir dir;
  const auto source = dir.write("in.htm", kPage);
  Made made = GetParam().make(dir.path());
  try {
    EXPECT_EQ(TrimFile(source, made.target), kTrimDone);
    EXPECT_FALSE(GetParam().refused) << "written, not refused";
  } catch (const fileio::FileError& e) {
    EXPECT_EQ(e.step(), GetParam().refused) << e.what();
    EXPECT_EQ(e.code().value(), GetParam().error) << e.what();
    EXPECT_EQ(e.path(), made.target);
  }
  made.done();
  if (made.read.valid()) {
    EXPECT_EQ(made.read.get(), kTrimmed);
  }
  if (GetParam().type_after != 0) {
    struct stat st {};
    ASSERT_EQ(::lstat(made.target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IFMT, GetParam().type_after);
  }
  EXPECT_FALSE(HasLeftovers(dir.path()));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, TargetKinds,
    ::testing::Values(
        KindCase{"fifo", false,
                 [](const fs::path& dir) {
                   const std::string fifo = dir / "fifo";
                   EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
                   Made made{fifo, std::async(std::launch::async, [fifo] {
                               return ReadAllAsync(::open(fifo.c_str(), O_RDONLY)).get();
                             })};
                   return made;
                 },
                 std::nullopt, 0, S_IFIFO},
        KindCase{"char_device", true,
                 [](const fs::path& dir) {
                   const std::string null = dir / "null";
                   EXPECT_EQ(::mknod(null.c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
                   return Made{null, {}};
                 },
                 std::nullopt, 0, S_IFCHR},
        KindCase{"descriptor_of_a_pipe", false,
                 [](const fs::path&) {
                   int ends[2];
                   EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
                   const int writer = ends[1];
                   return Made{"/proc/self/fd/" + std::to_string(writer), ReadAllAsync(ends[0]),
                               [writer] { ::close(writer); }};
                 },
                 std::nullopt, 0, 0},
        // /dev/stdout redirected into a file: that very file gets the bytes.
        KindCase{"descriptor_of_a_file", false,
                 [](const fs::path& dir) {
                   const std::string file = dir / "stdout.htm";
                   const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                   struct stat before {};
                   ::fstat(fd, &before);
                   return Made{"/proc/self/fd/" + std::to_string(fd),
                               std::async(std::launch::deferred,
                                          [file, before] {
                                            struct stat after {};
                                            ::stat(file.c_str(), &after);
                                            return after.st_ino == before.st_ino
                                                       ? ReadFile(file)
                                                       : std::string("replaced");
                                          }),
                               [fd] { ::close(fd); }};
                 },
                 std::nullopt, 0, 0},
        KindCase{"socket", false,
                 [](const fs::path& dir) {
                   sockaddr_un address{};
                   address.sun_family = AF_UNIX;
                   const std::string path = dir / "sock";
                   path.copy(address.sun_path, sizeof address.sun_path - 1);
                   const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
                   EXPECT_EQ(
                       ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
                   ::close(fd);
                   return Made{path, {}};
                 },
                 fileio::Step::kOpenTarget, ENXIO, S_IFSOCK},
        KindCase{"folder", false,
                 [](const fs::path& dir) {
                   fs::create_directory(dir / "folder");
                   return Made{dir / "folder", {}};
                 },
                 fileio::Step::kRefuseTarget, EISDIR, S_IFDIR},
        KindCase{"link_loop", false,
                 [](const fs::path& dir) {
                   fs::create_symlink("b.htm", dir / "a.htm");
                   fs::create_symlink("a.htm", dir / "b.htm");
                   return Made{dir / "a.htm", {}};
                 },
                 fileio::Step::kRefuseTarget, ELOOP, S_IFLNK},
        KindCase{"dangling_link", false,
                 [](const fs::path& dir) {
                   fs::create_symlink("gone.htm", dir / "out.htm");
                   return Made{dir / "out.htm", {}};
                 },
                 fileio::Step::kRefuseTarget, ENOENT, S_IFLNK}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TargetKinds, ADanglingLinkIsRefusedInPlainWords) {
  TempDir dir;
  const auto source = dir.write("in.htm", kPage);
  fs::create_symlink("gone.htm", dir / "out.htm");
  try {
    TrimFile(source, dir / "out.htm");
    ADD_FAILURE() << "no error";
  } catch (const fileio::FileError& e) {
    EXPECT_NE(std::string(e.what()).find("dangling symbolic link"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(dir / "gone.htm"));
}

// ---- Who writes: root, and an ordinary user ----

// The ordinary user that rows run as: ourselves when we are not root, else
// "brevio-test" (created on first use), member of the group "users" too.
struct OrdinaryUser {
  uid_t uid;
  gid_t gid;
  gid_t other_group;  // a second group of theirs
};

std::optional<OrdinaryUser> FindOrdinaryUser() {
  if (::geteuid() != 0) {
    gid_t groups[64];
    const int n = ::getgroups(64, groups);
    for (int i = 0; i < n; ++i) {
      if (groups[i] != ::getegid()) return OrdinaryUser{::geteuid(), ::getegid(), groups[i]};
    }
    return std::nullopt;
  }
  if (::getpwnam("brevio-test") == nullptr) {
    const char* argv[] = {"/usr/sbin/useradd", "-M",          "-U",   "-G", "users", "-s",
                          "/usr/sbin/nologin", "brevio-test", nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) == 0) {
      int status = 0;
      ::waitpid(pid, &status, 0);
    }
  }
  const passwd* user = ::getpwnam("brevio-test");
  const group* users = ::getgrnam("users");
  if (user == nullptr || users == nullptr) return std::nullopt;
  return OrdinaryUser{user->pw_uid, user->pw_gid, users->gr_gid};
}

// What a trim ended with: 0 done, 100 + the step of a FileError, 99 else.
int Outcome(const std::function<void()>& trim) {
  try {
    trim();
    return 0;
  } catch (const fileio::FileError& e) {
    return 100 + static_cast<int>(e.step());
  } catch (...) {
    return 99;
  }
}

// Runs trim as the ordinary user (in a child process when we are root) and
// returns its Outcome.
int OutcomeAs(const OrdinaryUser& user, const std::function<void()>& trim) {
  if (::geteuid() != 0) return Outcome(trim);
  const pid_t child = ::fork();
  if (child == 0) {
    const gid_t groups[] = {user.gid, user.other_group};
    if (::setgroups(2, groups) != 0 || ::setgid(user.gid) != 0 || ::setuid(user.uid) != 0) {
      ::_exit(98);
    }
    ::_exit(Outcome(trim));
  }
  int status = -1;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 97;
}

constexpr int kDone = 0;
constexpr int Refused(fileio::Step step) { return 100 + static_cast<int>(step); }

// A folder the ordinary user may work in (and root may make files in for them).
void OpenFolderToEveryone(const TempDir& dir) { fs::permissions(dir.path(), fs::perms(0777)); }

struct PermissionCase {
  const char* name;
  mode_t folder;  // the folder's bits during the trim
  mode_t target;
  bool in_place;
  int outcome;
  const char* named;  // the path a refusal names, relative to the folder ("": the folder)
};

void PrintTo(const PermissionCase& c, std::ostream* os) { *os << c.name; }

class OrdinaryUserPermissions : public ::testing::TestWithParam<PermissionCase> {};

// A copy needs the target's write permission, as with cp; in place needs
// only the folder's, as with sed -i. Refusals name what refused.
TEST_P(OrdinaryUserPermissions, DecideLikeCopyAndSedInPlace) {
  const auto user = FindOrdinaryUser();
  ASSERT_TRUE(user || ::geteuid() != 0) << "cannot create the user brevio-test";
  if (!user) GTEST_SKIP() << "no second group to work with";
  TempDir dir;
  OpenFolderToEveryone(dir);
  const auto source = dir.write("in.htm", kPage);
  const auto target = GetParam().in_place ? source : dir.write("out.htm", "old");
  ASSERT_EQ(::chown(source.c_str(), user->uid, user->gid), 0);
  ASSERT_EQ(::chown(target.c_str(), user->uid, user->gid), 0);
  ::chmod(target.c_str(), GetParam().target);
  fs::permissions(dir.path(), fs::perms(GetParam().folder));
  const std::string named =
      *GetParam().named == '\0' ? dir.path().string() : (dir / GetParam().named).string();
  const int outcome = OutcomeAs(*user, [&] {
    try {
      TrimFile(source, target);
    } catch (const fileio::FileError& e) {
      if (e.code().value() != EACCES || e.path() != named) throw std::runtime_error(e.what());
      throw;
    }
  });
  fs::permissions(dir.path(), fs::perms(0777));
  EXPECT_EQ(outcome, GetParam().outcome);
  EXPECT_EQ(ReadFile(target), outcome == kDone ? kTrimmed : (GetParam().in_place ? kPage : "old"));
  EXPECT_FALSE(HasLeftovers(dir.path()));
}

INSTANTIATE_TEST_SUITE_P(
    Users, OrdinaryUserPermissions,
    ::testing::Values(PermissionCase{"read_only_target_copy", 0777, 0444, false,
                                     Refused(fileio::Step::kOpenTarget), "out.htm"},
                      PermissionCase{"read_only_target_in_place", 0777, 0444, true, kDone, ""},
                      PermissionCase{"writable_file_read_only_folder", 0555, 0644, false,
                                     Refused(fileio::Step::kCreateTemp), ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- What a replaced file keeps ----

struct KeeperCase {
  const char* name;
  bool ordinary;  // written by the ordinary user (else root)
  bool in_place;
  bool foreign_owner;  // the file belongs to another user (root's rows: uid 4242)
  mode_t mode;
};

void PrintTo(const KeeperCase& c, std::ostream* os) { *os << c.name; }

class Keepers : public ::testing::TestWithParam<KeeperCase> {};

std::string AclText(const fs::path& file) {
  const acl_t acl = ::acl_get_file(file.c_str(), ACL_TYPE_ACCESS);
  if (acl == nullptr) return "";
  char* text = ::acl_to_any_text(acl, nullptr, ',', 0);
  std::string result = text != nullptr ? text : "";
  ::acl_free(text);
  ::acl_free(acl);
  return result;
}

TEST_P(Keepers, OwnerGroupModeAclAndAttributesSurvive) {
  const KeeperCase& c = GetParam();
  const bool root = ::geteuid() == 0;
  const auto user = FindOrdinaryUser();
  if (!c.ordinary && !root) GTEST_SKIP() << "root's rows";
  if (c.ordinary && c.foreign_owner && !root) GTEST_SKIP() << "needs root to set up";
  ASSERT_TRUE(user || !root) << "cannot create the user brevio-test";
  if (!user) GTEST_SKIP() << "no second group to work with";
  TempDir dir;
  OpenFolderToEveryone(dir);
  const auto source = dir.write("in.htm", kPage);
  const auto target = c.in_place ? source : dir.write("out.htm", "old");
  const uid_t owner = c.foreign_owner ? (c.ordinary ? 0 : 4242) : user->uid;
  const gid_t group = c.ordinary ? user->other_group : 4343;
  if (root) {
    ASSERT_EQ(::chown(source.c_str(), user->uid, user->gid), 0);
    ASSERT_EQ(::chown(target.c_str(), owner, group), 0);
  } else {
    ASSERT_EQ(::chown(target.c_str(), static_cast<uid_t>(-1), group), 0);
  }
  ASSERT_EQ(::setxattr(target.c_str(), "user.brevio", "kept", 4, 0), 0);
  const acl_t acl = ::acl_from_text("u::rw-,u:4444:r--,g::rw-,m::rw-,o::r--");
  const bool acls = ::acl_set_file(target.c_str(), ACL_TYPE_ACCESS, acl) == 0;
  ::acl_free(acl);
  ASSERT_EQ(::chmod(target.c_str(), c.mode), 0);  // last: chown clears setuid
  const std::string acl_before = AclText(target);

  const auto trim = [&] { TrimFile(source, target); };
  ASSERT_EQ(c.ordinary ? OutcomeAs(*user, trim) : Outcome(trim), kDone);

  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(ReadFile(target), kTrimmed);
  // Who may not give a file away keeps its group, as sed -i does.
  EXPECT_EQ(st.st_uid, c.ordinary && c.foreign_owner ? user->uid : owner);
  EXPECT_EQ(st.st_gid, group);
  EXPECT_EQ(st.st_mode & 07777, c.mode);
  char value[16] = {};
  EXPECT_EQ(::getxattr(target.c_str(), "user.brevio", value, sizeof value), 4);
  EXPECT_STREQ(value, "kept");
  if (acls) {
    EXPECT_EQ(AclText(target), acl_before);
  }
  EXPECT_FALSE(HasLeftovers(dir.path()));
}

INSTANTIATE_TEST_SUITE_P(
    Writers, Keepers,
    ::testing::Values(KeeperCase{"root_in_place", false, true, true, 06754},
                      KeeperCase{"root_onto_an_existing_copy", false, false, true, 06754},
                      KeeperCase{"user_in_place_group_of_theirs", true, true, false, 02664},
                      KeeperCase{"user_onto_roots_group_writable_file", true, false, true, 0664}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TrimStream, FiltersAPipe) {
  int in_pipe[2];
  int out_pipe[2];
  ASSERT_EQ(::pipe(in_pipe), 0);
  ASSERT_EQ(::pipe(out_pipe), 0);
  const std::string text = "  a  \n\tb\r\n\r\n c";
  ASSERT_EQ(::write(in_pipe[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(in_pipe[1]);
  EXPECT_EQ(TrimStream(in_pipe[0], out_pipe[1], 3), 9u);
  ::close(out_pipe[1]);
  char buffer[64];
  const ssize_t n = ::read(out_pipe[0], buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(n > 0 ? n : 0)), "a\r\nb\r\nc\r\n");
  ::close(in_pipe[0]);
  ::close(out_pipe[0]);
}

// Standard input that is a big regular file is read ahead by a second
// worker: from where the descriptor stands, the bytes of the one-block loop,
// with each line end.
TEST(TrimStream, ABigRegularFileGivesWhatThePlainLoopGives) {
  std::string text = "skipped";
  for (int i = 0; text.size() < (std::size_t{9} << 20); ++i) {
    text += i % 7 == 0 ? "\n\n  \t<p>  a  b </p>  \r\n" : "x\ny \r\n  z";
  }
  TempDir dir;
  const auto source = dir.write("in.htm", text);
  for (const LineEnd line_end : {LineEnd::kCrLf, LineEnd::kLf, LineEnd::kKeep}) {
    std::string expected;
    std::size_t at = 7;
    TrimStream(StreamEnds{[&](char* into, std::size_t n, std::size_t& got) {
                            got = std::min(n, text.size() - at);
                            std::memcpy(into, text.data() + at, got);
                            at += got;
                            return 0;
                          },
                          [&](const char* data, std::size_t n) {
                            expected.append(data, n);
                            return 0;
                          }},
               std::size_t{1} << 20, 0, line_end);
    const fileio::Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    const fileio::Fd out(
        ::open((dir / "out.htm").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    ASSERT_EQ(::lseek(in.get(), 7, SEEK_SET), 7);
    EXPECT_EQ(TrimStream(in.get(), out.get(), std::size_t{1} << 20, 0, line_end), expected.size());
    EXPECT_TRUE(ReadFile(dir / "out.htm") == expected) << static_cast<int>(line_end);
  }
}

TEST(TrimStream, AClosedOutputIsASystemError) {
  int in_pipe[2];
  ASSERT_EQ(::pipe(in_pipe), 0);
  ASSERT_EQ(::write(in_pipe[1], "x", 1), 1);
  ::close(in_pipe[1]);
  const int bad_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  try {
    TrimStream(in_pipe[0], bad_fd);
    ADD_FAILURE() << "no error";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), EBADF);
  }
  ::close(bad_fd);
  ::close(in_pipe[0]);
}

}  // namespace
}  // namespace brevio

#include "brevio/engine/file_trim.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "tests/engine/reference_model.h"
#include "tests/support/temp_dir.h"

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
        // A byte order mark, NUL and SUB are text like any other.
        ContentCase{"\xEF\xBB\xBF SP a SUB NUL CR CR LF", "\xEF\xBB\xBF SP a SUB NUL CR LF"},
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
      const TrimReport report = TrimFileWithReport(source, dir / "out.txt", options);
      ASSERT_EQ(ReadFile(dir / "out.txt"), expected)
          << ::testing::PrintToString(text) << " block " << block;
      ASSERT_EQ(report.source_bytes, text.size());
      ASSERT_EQ(report.target_bytes, expected.size());
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

// Big files are cut after a CR and cleaned by two workers; stretches with no
// CR for longer than a block pass their cleaner state on. Mixed layouts hit
// every hand-over: CR-rich parts, LF-only stretches, a CR LF split by a cut,
// and a file that ends exactly on a block boundary.
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
  EXPECT_EQ(TrimFile(source, dir / "dangling.htm"), kTrimDone);
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
}

// ---- Failures: made to happen, reported with the path and errno ----

struct FailureCase {
  const char* name;
  const char* target;  // relative to the test folder
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
                                           ModeCase{0604, 027}, ModeCase{0400, 022},
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
  } catch (const fs::filesystem_error& e) {
    EXPECT_EQ(e.path1(), target);
    EXPECT_EQ(e.code().value(), GetParam().error) << e.what();
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_EQ(ReadFile(source), "a\r\n");
  EXPECT_FALSE(HasLeftovers(dir.path()));
  EXPECT_EQ(ReadFile(dir / "folder/keep"), "k");
}

INSTANTIATE_TEST_SUITE_P(Failures, TrimFileFailure,
                         ::testing::Values(FailureCase{"missing_folder", "no/such/out.htm", ENOENT},
                                           FailureCase{"parent_is_a_file", "file/out.htm", ENOTDIR},
                                           FailureCase{"target_is_a_folder", "folder", EISDIR}),
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
        } catch (const fs::filesystem_error& e) {
          status = (e.code().value() == EFBIG && e.path1() == to) ? 0 : 3;
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

TEST(TrimFileFailure, ASourceRemovedBeforeItIsOpenedIsNotFound) {
  TempDir dir;
  const auto source = dir.write("in.htm", "a");
  fs::remove(source);
  EXPECT_EQ(TrimFile(source, dir / "out.htm"), kTrimSourceNotFound);
  EXPECT_FALSE(fs::exists(dir / "out.htm"));
}

TEST(TrimFileFailure, AnUnreadableSourceNamesTheSource) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  TempDir dir;
  const auto source = dir.write("in.htm", "a");
  fs::permissions(source, fs::perms::none);
  try {
    TrimFile(source, dir / "out.htm");
    ADD_FAILURE() << "no error";
  } catch (const fs::filesystem_error& e) {
    EXPECT_EQ(e.path1(), source);
    EXPECT_EQ(e.code().value(), EACCES);
  }
  EXPECT_FALSE(fs::exists(dir / "out.htm"));
}

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

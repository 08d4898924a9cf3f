// The file replacing unit on its own: the words of its errors, which every
// front end prints, and the settings writers' entry point.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "fileio/file_error.h"
#include "fileio/io_buffer.h"
#include "fileio/replace.h"
#include "tests/support/as_user.h"
#include "tests/support/temp_dir.h"

namespace {

using fileio::FileError;
using fileio::Step;

struct MessageCase {
  Step step;
  const char* path;
  int error;
  const char* reason;  // nullptr: the system's words
  const char* what;
};

class FileErrorWords : public ::testing::TestWithParam<MessageCase> {};

TEST_P(FileErrorWords, StepPathAndReason) {
  const MessageCase& c = GetParam();
  const FileError e =
      c.reason ? FileError(c.step, c.path, c.error, c.reason) : FileError(c.step, c.path, c.error);
  EXPECT_STREQ(e.what(), c.what);
  EXPECT_EQ(e.code(), std::error_code(c.error, std::system_category()));
  EXPECT_EQ(e.path(), c.path);
  const std::system_error& as_system = e;  // old catch sites still see it
  EXPECT_STREQ(as_system.what(), c.what);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FileErrorWords,
    ::testing::Values(MessageCase{Step::kCreateTemp, "rodir", EACCES, nullptr,
                                  "cannot create a temporary file in rodir: Permission denied"},
                      MessageCase{Step::kOpenTarget, "out.htm", EACCES, nullptr,
                                  "cannot open out.htm for writing: Permission denied"},
                      MessageCase{Step::kRefuseTarget, "folder", EISDIR, nullptr,
                                  "will not write to folder: Is a directory"},
                      MessageCase{Step::kRefuseTarget, "link.htm", ENOENT, "dangling symbolic link",
                                  "will not write to link.htm: dangling symbolic link"},
                      MessageCase{Step::kKeepMetadata, "a b.htm", EPERM, nullptr,
                                  "cannot keep the owner, permissions or attributes of a b.htm: "
                                  "Operation not permitted"}));

// Settings files: a new one gets the bits asked for less the umask, a FIFO
// in their place fails at once instead of waiting for a reader, and a
// failure leaves no temporary file.
// A buffer starts on a page whatever its size, has its n bytes there, and
// one moved from has none left to hand out.
TEST(IoBuffer, StartsOnAPageAndMovesWhole) {
  for (const std::size_t n : {std::size_t{1}, std::size_t{4095}, std::size_t{65536} + 1}) {
    fileio::IoBuffer buffer(n);
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(buffer.get()) % fileio::kIoAlign, 0u) << n;
    buffer.get()[n - 1] = 'x';  // in bounds (the sanitizer build checks)
    char* const start = buffer.get();
    const fileio::IoBuffer moved(std::move(buffer));
    EXPECT_EQ(moved.get(), start) << n;
    EXPECT_EQ(buffer.get(), nullptr) << n;  // NOLINT(bugprone-use-after-move)
  }
}

TEST(ReplaceContents, NewFileModeAndAFifoNeverWaits) {
  brevio::testing::TempDir dir;
  const std::string store = (dir / "registry.reg").string();
  const mode_t old_mask = ::umask(022);
  fileio::ReplaceContents(store, "[K]\n", {"", "."}, 0600);
  ::umask(old_mask);
  struct stat st {};
  ASSERT_EQ(::stat(store.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(brevio::testing::ReadFile(store), "[K]\n");

  const std::string fifo = (dir / "p.ini").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  try {
    fileio::ReplaceContents(fifo, "x", {".", ".tarnex-"});
    ADD_FAILURE() << "no error";
  } catch (const FileError& e) {
    EXPECT_EQ(e.step(), Step::kOpenTarget) << e.what();
    EXPECT_EQ(e.code().value(), ENXIO);
  }
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    ++files;
  }
  EXPECT_EQ(files, 2u);
}

// The names in a folder, dot-files included.
std::vector<std::string> Names(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

// A new target in a folder the run made has no name until it is complete,
// and none at all when not committed; a name taken meanwhile is replaced
// the usual way. An ordinary user, who may not link a descriptor itself,
// gets the same.
TEST(OutputInAMadeFolder, NamedOnlyWhenComplete) {
  struct Row {
    const char* what;
    bool as_user;
    bool taken_meanwhile;
    bool commit;
    const char* left;  // the target's bytes afterwards, nullptr: no target
  };
  const Row rows[] = {
      {"committed", false, false, true, "new"},
      {"not committed", false, false, false, nullptr},
      {"the name taken meanwhile", false, true, true, "new"},
      {"an ordinary user", true, false, true, "new"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    brevio::testing::TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0777));
    brevio::testing::ShareWithTestUser(dir.path().string());
    const std::string target = (dir / "a.htm").string();
    // 0 as expected, else the first thing that was not.
    const auto write = [&] {
      const mode_t old_mask = ::umask(027);
      fileio::OutputOptions options;
      options.new_in_made_folder = true;
      options.new_mode = 0666;
      fileio::Output output(target, options);
      ::umask(old_mask);
      if (fileio::WriteAll(output.fd(), "new") != 0) return 1;
      if (!Names(dir.path()).empty()) return 2;  // a name before the bytes are complete
      if (row.taken_meanwhile) dir.write("a.htm", "someone else's");
      if (row.commit) output.Commit(false);
      // A name taken meanwhile lends its own mode, as any replaced file does.
      struct stat st {};
      if (row.commit && !row.taken_meanwhile &&
          (::stat(target.c_str(), &st) != 0 || (st.st_mode & 0777) != 0640)) {
        return 3;
      }
      return 0;
    };
    EXPECT_EQ(row.as_user ? brevio::testing::RunAsOrdinaryUser(write) : write(), 0);
    if (row.left == nullptr) {
      EXPECT_TRUE(Names(dir.path()).empty());
    } else {
      EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"a.htm"});
      EXPECT_EQ(brevio::testing::ReadFile(target), row.left);
    }
  }
}

// In place, the bytes of the file that was read replace that file only:
// another file at the name by the time of writing is left alone.
TEST(OutputInPlace, ReplacesOnlyTheFileThatWasRead) {
  brevio::testing::TempDir dir;
  const std::string read = dir.write("read.htm", "read").string();
  const std::string other = dir.write("other.htm", "other").string();
  for (const bool swapped : {false, true}) {
    SCOPED_TRACE(swapped ? "another file at the name" : "the file read");
    const fileio::Fd original(::open(read.c_str(), O_RDONLY | O_CLOEXEC));
    fileio::OutputOptions options;
    options.in_place = true;
    options.original_fd = original.get();
    const std::string target = swapped ? other : read;
    if (swapped) {
      EXPECT_THROW(fileio::Output(target, options), fileio::FileError);
      EXPECT_EQ(brevio::testing::ReadFile(other), "other");
    } else {
      fileio::Output output(target, options);
      ASSERT_EQ(fileio::WriteAll(output.fd(), "new"), 0);
      output.Commit(false);
      EXPECT_EQ(brevio::testing::ReadFile(read), "new");
    }
  }
}

}  // namespace

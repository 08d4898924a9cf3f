// The file replacing unit on its own: the words of its errors, which every
// front end prints, and the settings writers' entry point.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "fileio/file_error.h"
#include "fileio/replace.h"
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

}  // namespace

// An ordinary user swaps a folder of the tree with a symbolic link to a
// folder only root may read, in a tight loop, while root trims the tree. No
// round may read, write or move anything through the link.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "brevio/cli/trim_command.h"
#include "tests/support/as_user.h"
#include "tests/support/temp_dir.h"

namespace brevio::cli {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;

constexpr const char* kSecret = "SECRET   \r\n";  // root's, never to be trimmed or seen
constexpr int kRounds = 25;
constexpr int kPages = 40;

int Trim(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in;
  return RunTrimCommand(args, out, err, in);
}

// Everything below folder, as relative path and bytes.
std::vector<std::pair<std::string, std::string>> Contents(const fs::path& folder) {
  std::vector<std::pair<std::string, std::string>> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::error_code ec;
    if (!entry.is_symlink(ec) && entry.is_regular_file(ec)) {
      found.emplace_back(fs::relative(entry.path(), folder).string(), ReadFile(entry.path()));
    }
  }
  return found;
}

// Swaps a and b (one of them a link) until stop exists, as the test user;
// status() is 0 once it is done when it swapped at all.
class Swapper {
 public:
  Swapper(fs::path a, fs::path b, fs::path stop)
      : thread_([this, a = std::move(a), b = std::move(b), stop = std::move(stop)] {
          status_ = testing::RunAsOrdinaryUser([&] {
            int swaps = 0;
            while (::access(stop.c_str(), F_OK) != 0) {
              if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0) {
                ++swaps;
              }
            }
            return swaps > 0 ? 0 : 1;
          });
        }) {}
  int Join() {
    thread_.join();
    return status_;
  }

 private:
  int status_ = -1;
  std::thread thread_;
};

TEST(Races, NoSwapLeadsARunOutOfItsTreeOrItsOutputFolder) {
  struct Row {
    const char* what;
    std::vector<std::string> args;  // "@" is the test folder
    const char* tree;               // the user's: its "sub" is swapped with its "link" to vault
  };
  const std::vector<Row> rows = {
      {"in place", {"-r", "-i", "@/www"}, "www"},
      {"in place, one at a time", {"-r", "-i", "-j", "1", "@/www"}, "www"},
      {"into an output folder", {"-r", "-o", "@/out", "@/www"}, "www"},
      {"the output folder's level", {"-r", "-o", "@/uout", "@/src"}, "uout"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    fs::create_directories(dir / "vault");
    dir.write("vault/secret.htm", kSecret);
    ::chmod((dir / "vault").c_str(), 0700);
    for (const char* tree : {"www", "src", "uout"}) {
      fs::create_directories(dir / tree / "sub");
      for (int i = 0; i < kPages; ++i) {
        dir.write(std::string(tree) + "/sub/p" + std::to_string(i) + ".htm", "  page  \r\n");
      }
    }
    fs::create_directory_symlink(dir / "vault", dir / row.tree / "link");
    for (const char* shared : {"www", "www/sub", "uout", "uout/sub"}) {
      testing::ShareWithTestUser((dir / shared).string());
    }
    std::vector<std::string> args;
    for (const std::string& arg : row.args) {
      args.push_back(arg.starts_with('@') ? dir.path().string() + arg.substr(1) : arg);
    }
    Swapper swapper(dir / row.tree / "sub", dir / row.tree / "link", dir / "stop");
    for (int round = 0; round < kRounds; ++round) Trim(args);
    dir.write("stop", "");
    ASSERT_EQ(swapper.Join(), 0) << "the swaps did not happen";
    // The vault holds its one page, untouched; nothing of it got out.
    EXPECT_EQ(Contents(dir / "vault"),
              (std::vector<std::pair<std::string, std::string>>{{"secret.htm", kSecret}}));
    for (const char* tree : {"www", "src", "uout", "out"}) {
      if (!fs::exists(dir / tree)) continue;
      for (const auto& [path, bytes] : Contents(dir / tree)) {
        EXPECT_EQ(bytes.find("SECRET"), std::string::npos) << tree << '/' << path;
      }
    }
  }
}

}  // namespace
}  // namespace brevio::cli

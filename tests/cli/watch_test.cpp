// brevio-trim --watch, run in this process and ended through its stop
// descriptor: every kind of save reaches the trimmed copy, and the run's
// own writes start nothing.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "brevio/cli/trim_command.h"
#include "tests/support/temp_dir.h"

namespace brevio::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::ReadFile;
using testing::TempDir;

// Waits (up to ten seconds) until `done` holds.
bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 500; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

bool Holds(const fs::path& file, const std::string& text) {
  return fs::exists(file) && ReadFile(file) == text;
}

// The watch on its own thread; what it printed is read once it has ended.
class Watching {
 public:
  explicit Watching(std::vector<std::string> args) : args_(std::move(args)) {
    EXPECT_EQ(::pipe2(stop_, O_CLOEXEC), 0);
    CommandEnvironment env;
    env.processors = 2;
    env.watch_stop_fd = stop_[0];
    thread_ = std::thread([this, env] {
      std::istringstream in;
      code_ = RunTrimCommand(args_, out_, err_, in, env);
    });
  }
  ~Watching() {
    if (thread_.joinable()) Stop();
    ::close(stop_[0]);
    ::close(stop_[1]);
  }
  int Stop() {
    [[maybe_unused]] const ssize_t n = ::write(stop_[1], "x", 1);
    thread_.join();
    return code_;
  }
  std::string out() const { return out_.str(); }
  std::string err() const { return err_.str(); }

 private:
  std::vector<std::string> args_;
  int stop_[2] = {-1, -1};
  std::ostringstream out_;
  std::ostringstream err_;
  int code_ = -1;
  std::thread thread_;
};

void Write(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

TEST(Watch, EveryKindOfSaveReachesTheTrimmedCopy) {
  TempDir dir;
  fs::create_directories(dir / "src");
  Write(dir / "src/a.htm", "\t<p>  a  </p>\r\n");
  const fs::path out = dir / "src/out";  // inside the watched tree: never watched
  Watching watch({"--watch", "-q", "-r", "-o", out.string(), (dir / "src").string()});
  ASSERT_TRUE(Eventually([&] { return Holds(out / "a.htm", "<p> a </p>\r\n"); })) << "first run";

  const struct {
    const char* what;
    std::function<void()> save;
    const char* copy;
    const char* trimmed;
  } kSaves[] = {
      {"written in place", [&] { Write(dir / "src/a.htm", "  b  \r\n"); }, "a.htm", "b\r\n"},
      {"written and renamed",
       [&] {
         Write(dir / "src/.a.htm.swp", "  c   c\r\n");
         fs::rename(dir / "src/.a.htm.swp", dir / "src/a.htm");
       },
       "a.htm", "c c\r\n"},
      {"a new file", [&] { Write(dir / "src/b.htm", " d \r\n"); }, "b.htm", "d\r\n"},
      {"a new folder with a file",
       [&] {
         fs::create_directories(dir / "src/sub/deeper");
         Write(dir / "src/sub/deeper/c.htm", "e\t\te\r\n");
       },
       "sub/deeper/c.htm", "e e\r\n"},
  };
  for (const auto& save : kSaves) {
    save.save();
    EXPECT_TRUE(Eventually([&] { return Holds(out / save.copy, save.trimmed); })) << save.what;
  }
  for (int i = 0; i < 8; ++i) {
    const std::string n = std::to_string(i);
    Write(dir / "src/a.htm", "  save  " + n + "\r\n");
    ASSERT_TRUE(Eventually([&] { return Holds(out / "a.htm", "save " + n + "\r\n"); }))
        << "save " << i;
  }
  fs::remove(dir / "src/b.htm");
  Write(dir / "src/skip.txt", "  not a page  ");
  // Changes are taken in order: once this one is trimmed, those before are
  // dealt with.
  Write(dir / "src/last.htm", "last\r\n");
  ASSERT_TRUE(Eventually([&] { return Holds(out / "last.htm", "last\r\n"); }));
  EXPECT_EQ(watch.Stop(), 0) << watch.err();
  EXPECT_THAT(watch.err(), HasSubstr("b.htm: removed; its trimmed copy is left as it is"));
  EXPECT_TRUE(fs::exists(out / "b.htm"));
  EXPECT_FALSE(fs::exists(out / "skip.txt"));
  EXPECT_FALSE(fs::exists(out / "out")) << "the output folder was watched";
  for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
    EXPECT_THAT(entry.path().filename().string(), ::testing::Not(HasSubstr(".brevio-")));
  }
}

TEST(Watch, InPlaceATrimStartsNoTrimOfItself) {
  TempDir dir;
  const std::string page = dir.write("p.htm", "  x  \n");
  Watching watch({"--watch", "-i", page});
  // By the rule this output would change again if trimmed again.
  ASSERT_TRUE(Eventually([&] { return Holds(page, "x\r\n\r\n"); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(ReadFile(page), "x\r\n\r\n") << "the first run's write was trimmed again";
  Write(page, "  y   z  \r\n");
  ASSERT_TRUE(Eventually([&] { return Holds(page, "y z\r\n"); }));
  struct stat before {};
  ::stat(page.c_str(), &before);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  struct stat after {};
  ::stat(page.c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino) << "rewritten again";
  EXPECT_EQ(watch.Stop(), 0);
  // The first run's table, then one line for the save; none for either write.
  const std::string printed = watch.out();
  EXPECT_EQ(printed.find("trimmed "), printed.rfind("trimmed ")) << printed;
  EXPECT_THAT(printed, HasSubstr("trimmed " + page + " (11 to 5 bytes"));
}

}  // namespace
}  // namespace brevio::cli

// brevio-trim in scripts and build pipelines: --exclude. Built for Linux and for Windows (run under
// Wine), so only portable calls here.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "brevio/cli/trim_command.h"
#include "fileio/path.h"
#include "tests/support/temp_dir.h"

namespace brevio::cli {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;

constexpr const char* kPage = "\t<p>  Hello  </p>\r\n\r\n   <br>\r\n";  // 30 bytes
constexpr const char* kTrimmed = "<p> Hello </p>\r\n<br>\r\n";          // 22 bytes
// Trimmed already, but only when <pre> is kept.
constexpr const char* kPre = "<pre>  a  </pre>\r\n";

struct Result {
  int code = -1;
  std::string out;
  std::string err;
};

// "@" in an argument stands for the test's folder; '/' in what follows it
// is the system's separator.
std::string At(const std::string& text, const TempDir& dir) {
  const std::size_t at = text.find('@');
  if (at == std::string::npos) return text;
  std::string rest = text.substr(at + 1);
  for (char& c : rest) c = c == '/' ? fileio::kSeparator : c;
  return text.substr(0, at) + fileio::TextOf(dir.path()) + rest;
}

Result Trim(const std::vector<std::string>& args, const TempDir& dir) {
  std::vector<std::string> real;
  for (const std::string& arg : args) real.push_back(At(arg, dir));
  std::ostringstream out;
  std::ostringstream err;
  std::istringstream in;
  Result run;
  run.code = RunTrimCommand(real, out, err, in);
  run.out = out.str();
  run.err = err.str();
  return run;
}

// site/ holds pages trimmed and not, in folders a walk may leave out.
void MakeSite(const TempDir& dir) {
  for (const char* folder : {"site/blog/old", "site/vendor", "site/blog/vendor", "site/notes"}) {
    fs::create_directories(dir / folder);
  }
  dir.write("site/ok.htm", kTrimmed);
  dir.write("site/raw.htm", kPage);
  dir.write("site/pre.htm", kPre);
  dir.write("site/app.min.html", kPage);
  dir.write("site/vendor/lib.htm", kPage);
  dir.write("site/blog/post.php", kTrimmed);
  dir.write("site/blog/notes", kPage);
  dir.write("site/blog/old/a.htm", kPage);
  dir.write("site/blog/vendor/x.htm", kPage);
  dir.write("site/notes/n.htm", kPage);
}

// The files under a folder, '/' between the parts of their names.
std::set<std::string> FilesUnder(const fs::path& folder) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file())
      files.insert(entry.path().lexically_relative(folder).generic_string());
  }
  return files;
}

TEST(Exclude, LeavesOutFilesAndWholeFolders) {
  struct Row {
    const char* what;
    std::vector<std::string> args;
    std::set<std::string> taken;
  };
  const std::set<std::string> all = {"app.min.html",      "blog/old/a.htm", "blog/post.php",
                                     "blog/vendor/x.htm", "notes/n.htm",    "ok.htm",
                                     "pre.htm",           "raw.htm",        "vendor/lib.htm"};
  std::set<std::string> everything = all;  // with --include '*', the file blog/notes too
  everything.insert("blog/notes");
  const auto without = [&](std::set<std::string> left, const std::set<std::string>& out) {
    for (const std::string& name : out) left.erase(name);
    return left;
  };
  const std::vector<Row> rows = {
      {"nothing left out", {}, all},
      {"a folder name at any depth",
       {"--exclude", "vendor"},
       without(all, {"vendor/lib.htm", "blog/vendor/x.htm"})},
      {"a file glob", {"--exclude=*.min.html"}, without(all, {"app.min.html"})},
      {"several",
       {"--exclude", "vendor", "--exclude", "*.min.html", "--exclude", "o*"},
       without(all, {"vendor/lib.htm", "blog/vendor/x.htm", "app.min.html", "blog/old/a.htm",
                     "ok.htm"})},
      {"a path below the walked folder",
       {"--exclude", "blog/*"},
       {"app.min.html", "notes/n.htm", "ok.htm", "pre.htm", "raw.htm", "vendor/lib.htm"}},
      {"a path anchored at the walked folder",
       {"--exclude", "/vendor"},
       without(all, {"vendor/lib.htm"})},
      {"an anchored path that lies deeper", {"--exclude", "/old"}, all},
      {"GLOB/ takes folders only",
       {"--include", "*", "--exclude", "notes/"},
       without(everything, {"notes/n.htm"})},
      {"without the slash, the file too",
       {"--include", "*", "--exclude", "notes"},
       without(everything, {"notes/n.htm", "blog/notes"})},
      {"exclude wins over include",
       {"--include", "*.min.html", "--include", "*.php", "--exclude", "*.min.html"},
       {"blog/post.php"}},
      {"patterns from a file",
       {"--exclude-from", "@/patterns"},
       without(all, {"vendor/lib.htm", "blog/vendor/x.htm", "app.min.html"})},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    MakeSite(dir);
    // CR LF line ends, a comment and an empty line; "#x" would be a comment.
    dir.write("patterns", "# left out:\r\nvendor\r\n\r\n*.min.html\r\n#ok.htm\n");
    std::vector<std::string> args = {"-q", "-r", "-o", "@/out"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    args.push_back("@/site");
    const Result run = Trim(args, dir);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(fs::exists(dir / "out") ? FilesUnder(dir / "out") : std::set<std::string>{},
              row.taken);
  }
}

}  // namespace
}  // namespace brevio::cli

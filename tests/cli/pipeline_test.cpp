// brevio-trim in scripts and build pipelines: --check, --json, --exclude and
// dry runs over trees. Built for Linux and for Windows (run under Wine), so
// only portable calls here.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "brevio/cli/trim_command.h"
#include "brevio/engine/batch.h"
#include "fileio/path.h"
#include "tests/support/temp_dir.h"

namespace brevio::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
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

// Every file under the folder with its bytes, identity and time: equal
// snapshots mean nothing was written, replaced or added.
using Snapshot = std::map<std::string, std::tuple<std::string, FileId, fs::file_time_type>>;

Snapshot Take(const TempDir& dir) {
  Snapshot files;
  for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
    if (!entry.is_regular_file()) continue;
    const std::string path = fileio::TextOf(entry.path());
    files[path] = {ReadFile(entry.path()), FileIdOf(path).value_or(FileId{}),
                   fs::last_write_time(entry.path())};
  }
  return files;
}

// A listed name as it was before quoting ('C:\x' on Windows); ours hold no quotes.
std::vector<std::string> Names(const std::string& listing) {
  std::vector<std::string> names;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() >= 2 && line.front() == '\'' && line.back() == '\'') {
      line = line.substr(1, line.size() - 2);
    }
    names.push_back(line);
  }
  return names;
}

TEST(Check, ListsWhatATrimWouldChangeAndWritesNothing) {
  struct Row {
    const char* what;
    std::vector<std::string> args;
    int code;
    std::vector<std::string> listed;
    const char* err_part;  // nullptr: nothing on standard error
  };
  const std::vector<Row> rows = {
      {"a trimmed file", {"--check", "@/site/ok.htm"}, 0, {}, nullptr},
      {"one of two is not",
       {"--check", "@/site/raw.htm", "@/site/ok.htm"},
       1,
       {"@/site/raw.htm"},
       nullptr},
      {"a tree",
       {"--check", "-r", "@/site"},
       1,
       {"@/site/app.min.html", "@/site/blog/old/a.htm", "@/site/blog/vendor/x.htm",
        "@/site/notes/n.htm", "@/site/pre.htm", "@/site/raw.htm", "@/site/vendor/lib.htm"},
       nullptr},
      {"under the options given",
       {"--check", "-r", "--protect=pre", "--exclude", "vendor", "--exclude=old", "--exclude",
        "notes", "-j", "3", "@/site"},
       1,
       {"@/site/app.min.html", "@/site/raw.htm"},
       nullptr},
      {"what is left", {"--check", "-r", "--include", "*.php", "@/site"}, 0, {}, nullptr},
      {"-q: the status alone", {"--check", "-q", "@/site/raw.htm"}, 1, {}, nullptr},
      {"-i changes nothing", {"--check", "-i", "@/site/raw.htm"}, 1, {"@/site/raw.htm"}, nullptr},
      {"a file that is missing",
       {"--check", "@/site/ok.htm", "@/site/gone.htm"},
       1,
       {},
       ": No such file or directory\n"},
      {"a file that is not text", {"--check", "@/logo.png"}, 1, {}, "not a text file"},
      {"the same file twice",
       {"--check", "@/site/raw.htm", "@/site/raw.htm"},
       1,
       {"@/site/raw.htm"},
       ": the same file as "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    MakeSite(dir);
    dir.write("logo.png", std::string("\x89PNG\r\n\x1a\n\0\0", 10));
    const Snapshot before = Take(dir);
    const Result run = Trim(row.args, dir);
    EXPECT_EQ(run.code, row.code);
    std::vector<std::string> listed;
    for (const std::string& name : row.listed) listed.push_back(At(name, dir));
    EXPECT_EQ(Names(run.out), listed);
    if (row.err_part == nullptr) {
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_THAT(run.err, HasSubstr(row.err_part));
    }
    EXPECT_EQ(Take(dir), before);
  }
}

TEST(Check, AFileIsTrimmedOnceItsTrimChangesNothing) {
  TempDir dir;
  const std::string page = fileio::TextOf(dir.write("page.htm", kPage));
  const Result first = Trim({"--check", page}, dir);
  EXPECT_EQ(first.code, 1);
  EXPECT_EQ(Trim({"-q", "-i", page}, dir).code, 0);
  EXPECT_EQ(Trim({"--check", page}, dir).code, 0);
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

// Windows writes every target anew (see the README).
#ifdef _WIN32
constexpr const char* kCopiedAgain = "trimmed";
#else
constexpr const char* kCopiedAgain = "unchanged";
#endif

TEST(Json, TheDocumentSumsUpItsRows) {
  TempDir dir;
  MakeSite(dir);
  dir.write("logo.png", std::string("\x89PNG\r\n\x1a\n\0\0", 10));
  struct Row {
    const char* what;
    std::vector<std::string> args;
    int code;
    std::map<std::string, std::string> status;  // by name below @/site, or @/... for others
  };
  const std::vector<Row> rows = {
      {"into a folder",
       {"-o", "@/out", "@/site/raw.htm", "@/site/ok.htm", "@/site/raw.htm", "@/gone.htm",
        "@/logo.png"},
       1,
       {{"raw.htm", "trimmed"},
        {"ok.htm", "trimmed"},
        {"raw.htm#2", "same file"},
        {"@/gone.htm", "failed"},
        {"@/logo.png", "skipped"}}},
      {"again: the copies hold their trim",
       {"-o", "@/out", "@/site/raw.htm", "@/site/ok.htm"},
       0,
       {{"raw.htm", kCopiedAgain}, {"ok.htm", kCopiedAgain}}},
      {"a check",
       {"--check", "-q", "@/site/raw.htm", "@/site/ok.htm"},
       1,
       {{"raw.htm", "would change"}, {"ok.htm", "unchanged"}}},
      {"a dry run over a tree",
       {"-n", "-r", "--include", "r*", "@/site"},
       0,
       {{"raw.htm", "trimmed"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<std::string> args = {"--json"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const Result run = Trim(args, dir);
    EXPECT_EQ(run.code, row.code) << run.err;
    const nlohmann::json document = nlohmann::json::parse(run.out);
    std::map<std::string, std::string> status;
    std::uint64_t files = 0;
    std::uint64_t source_bytes = 0;
    std::uint64_t target_bytes = 0;
    std::map<std::string, std::uint64_t> count;
    for (const auto& file : document["files"]) {
      const std::string source = file["source"];
      const std::string site = At("@/site/", dir);
      std::string name = source.starts_with(site) ? source.substr(site.size()) : source;
      if (status.contains(name)) name += "#2";
      status[name] = file["status"];
      ++count[file["status"]];
      const bool sized = file["source_bytes"].is_number();
      EXPECT_EQ(sized, file["target_bytes"].is_number()) << name;
      EXPECT_EQ(file.contains("reason"), file["status"] == "failed" || file["status"] == "skipped")
          << name;
      if (!sized) continue;
      ++files;
      source_bytes += file["source_bytes"].get<std::uint64_t>();
      target_bytes += file["target_bytes"].get<std::uint64_t>();
      EXPECT_EQ(file["target_bytes"], name == "raw.htm" || name == "ok.htm" ? 22 : -1) << name;
    }
    std::map<std::string, std::string> expected;
    for (const auto& [name, state] : row.status) expected[At(name, dir)] = state;
    EXPECT_EQ(status, expected);
    const nlohmann::json& total = document["total"];
    EXPECT_EQ(total["files"], files);
    EXPECT_EQ(total["source_bytes"], source_bytes);
    EXPECT_EQ(total["target_bytes"], target_bytes);
    EXPECT_EQ(total["failed"], count["failed"]);
    EXPECT_EQ(total["skipped"], count["skipped"]);
    EXPECT_EQ(document["errors"], nlohmann::json::array());
  }
  EXPECT_EQ(ReadFile(dir / "site/raw.htm"), kPage);  // the check and the dry run wrote nothing
}

TEST(Json, ARunThatCannotStartStillPrintsADocument) {
  TempDir dir;
  dir.write("file", "x");
  const Result run = Trim({"--json", "-o", "@/file/sub", "@/file"}, dir);
  EXPECT_EQ(run.code, 1);
  const nlohmann::json document = nlohmann::json::parse(run.out);
  EXPECT_EQ(document["files"], nlohmann::json::array());
  ASSERT_EQ(document["errors"].size(), 1u);
  EXPECT_THAT(run.err, HasSubstr(document["errors"][0].get<std::string>()));
}

TEST(DryRun, OverATreeShowsTheTableAsInPlace) {
  TempDir dir;
  MakeSite(dir);
  const Snapshot before = Take(dir);
  const Result run = Trim({"-n", "-r", "--exclude", "blog", "--exclude", "notes", "@/site"}, dir);
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("30            22       73.33%\n"));
  EXPECT_THAT(run.out, HasSubstr("Total: 5 files "));
  EXPECT_EQ(Take(dir), before);
}

// The -o folder is there afterwards only when something was written into
// it (or it was there before).
TEST(OutputFolder, IsLeftOnlyWhenAFileWasWrittenIntoIt) {
  struct Row {
    const char* what;
    std::vector<std::string> args;
    int code;
    bool there;
  };
  const std::vector<Row> rows = {
      {"a page", {"-o", "@/out", "@/site/raw.htm"}, 0, true},
      {"a file that is not text", {"-o", "@/out", "@/bin/x.dat"}, 1, false},
      {"a file that is missing", {"-o", "@/out", "@/site/gone.htm"}, 1, false},
      {"a tree of files that are not text",
       {"-r", "--include=*.dat", "-o", "@/out", "@/bin"},
       1,
       false},
      {"a walk that finds nothing", {"-r", "-o", "@/out", "@/bin"}, 0, false},
      {"a dry run", {"-n", "-o", "@/out", "@/site/raw.htm"}, 0, false},
      {"a folder that was there", {"-o", "@/kept", "@/bin/x.dat"}, 1, true},
  };
  for (const Row& row : rows) {
    TempDir dir;
    MakeSite(dir);
    fs::create_directories(dir / "bin/sub");
    fs::create_directory(dir / "kept");
    dir.write("bin/x.dat", std::string("a\0b", 3));
    dir.write("bin/sub/y.dat", std::string("c\0d", 3));
    const Result run = Trim(row.args, dir);
    EXPECT_EQ(run.code, row.code) << row.what << ": " << run.err;
    const std::string folder = At(row.args[row.args.size() - 2], dir);
    EXPECT_EQ(fs::exists(fileio::PathOf(folder)), row.there) << row.what;
  }
}

}  // namespace
}  // namespace brevio::cli

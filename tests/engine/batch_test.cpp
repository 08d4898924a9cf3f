#include "brevio/engine/batch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "fileio/file_error.h"
#include "tests/support/temp_dir.h"

namespace brevio {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;

constexpr const char* kPage = "  <p>  a  </p>  \r\n";  // 18 bytes, 12 trimmed

std::string Describe(const BatchOutcome& outcome) {
  if (outcome.repeat == BatchRepeat::kSameFile)
    return "same file as " + std::to_string(outcome.first);
  if (outcome.repeat == BatchRepeat::kSameTarget)
    return "same target as " + std::to_string(outcome.first);
  if (outcome.failure || !outcome.trimmed()) return "failed";
  return std::to_string(outcome.report.source_bytes) + ">" +
         std::to_string(outcome.report.target_bytes);
}

TEST(RunBatch, DeliversEveryOutcomeOnceInListOrder) {
  struct Row {
    const char* what;
    // Source and target below the test's folder; "big" sources hold many pages.
    std::vector<std::pair<std::string, std::string>> jobs;
    unsigned at_once;
    bool find_repeats;
    bool cancel_at_first;
    std::vector<std::string> outcomes;
  };
  const std::string big = "big:";
  std::vector<Row> rows = {
      {"two at once, the first file slowest", {}, 2, true, false, {}},
      {"cancelled after the first file",
       {{"a.htm", "out/a.htm"}, {"b.htm", "out/b.htm"}},
       1,
       true,
       true,
       {"18>12"}},
      {"one file in place under two names",
       {{"a.htm", "a.htm"}, {"./a.htm", "./a.htm"}, {"b.htm", "b.htm"}},
       2,
       true,
       false,
       {"18>12", "same file as 0", "18>12"}},
      {"two hard links in place are two names",
       {{"a.htm", "a.htm"}, {"h.htm", "h.htm"}},
       2,
       true,
       false,
       {"18>12", "18>12"}},
      {"one file into one target three times",
       {{"a.htm", "out/a.htm"}, {"./a.htm", "out/./a.htm"}, {"a.htm", "out/b/../a.htm"}},
       2,
       true,
       false,
       {"18>12", "same file as 0", "same file as 0"}},
      {"two files for one target",
       {{"a.htm", "out/a.htm"}, {"b/a.htm", "out//a.htm"}},
       2,
       true,
       false,
       {"18>12", "same target as 0"}},
      {"repeats not looked for",
       {{"a.htm", "out/a.htm"}, {"a.htm", "out/a.htm"}},
       1,
       false,
       false,
       {"18>12", "18>12"}},
      {"a missing file fails alone",
       {{"gone.htm", "out/gone.htm"}, {"a.htm", "out/a.htm"}},
       2,
       true,
       false,
       {"failed", "18>12"}},
  };
  // Later files finish first unless outcomes wait for the ones before them.
  for (int i = 0; i < 12; ++i) {
    rows[0].jobs.emplace_back((i % 4 == 0 ? big : "") + "p" + std::to_string(i) + ".htm",
                              "out/deep/p" + std::to_string(i) + ".htm");
    rows[0].outcomes.emplace_back(i % 4 == 0 ? "180000>120000" : "18>12");
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    fs::create_directories(dir / "b");
    std::vector<BatchJob> jobs;
    for (const auto& [source, target] : row.jobs) {
      const bool is_big = source.starts_with(big);
      const std::string name = is_big ? source.substr(big.size()) : source;
      std::string text;
      for (int copies = is_big ? 10000 : 1; copies > 0; --copies) text += kPage;
      if (name == "b/a.htm") text = "b\r\n";
      if (name == "h.htm") {
        fs::create_hard_link(dir / "a.htm", dir / name);
      } else if (name != "gone.htm" && !fs::exists(dir / name)) {
        dir.write(name, text);
      }
      BatchJob& job = jobs.emplace_back();
      job.source = (dir / name).string();
      job.target = (dir / target).string();
    }
    std::atomic<bool> cancel{false};
    BatchOptions options;
    options.output_root = dir.path().string();  // folders for the targets are made
    options.max_at_once = row.at_once;
    options.find_repeats = row.find_repeats;
    options.cancel = &cancel;
    std::vector<std::size_t> order;
    std::vector<std::string> seen;
    std::atomic<int> inside{0};
    const std::size_t delivered = RunBatch(jobs, options, [&](const BatchOutcome& outcome) {
      EXPECT_EQ(++inside, 1) << "deliveries overlap";
      order.push_back(outcome.index);
      seen.push_back(Describe(outcome));
      if (row.cancel_at_first) cancel = true;
      --inside;
    });
    EXPECT_EQ(delivered, row.outcomes.size());
    EXPECT_EQ(seen, row.outcomes);
    for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
    if (row.cancel_at_first) {
      EXPECT_FALSE(fs::exists(dir / "out/b.htm"));
    }
    if (fs::exists(dir / "out/a.htm")) {  // a refused second file left the first one's result
      EXPECT_EQ(ReadFile(dir / "out/a.htm"), "<p> a </p>\r\n");
    }
  }
}

// A link below the output folder would lead the run's files out of it; the
// output folder itself is the user's to choose.
TEST(RunBatch, LevelsBelowTheOutputFolderAreNoLinks) {
  struct Row {
    const char* what;
    const char* root;    // the output folder as given
    const char* linked;  // a link to "elsewhere" at this path
    const char* target;
    bool trimmed;
  };
  const Row rows[] = {
      {"a linked level below the root", "out", "out/sub", "out/sub/a.htm", false},
      {"a linked level deeper down", "out/", "out/sub/deep", "out/sub/deep/x/a.htm", false},
      {"the root itself a link", "root", "root", "root/sub/a.htm", true},
      {"no root given", "", "out/sub", "out/sub/a.htm", true},
      {"a linked target below the root", "out", "out/a.htm", "out/a.htm", false},
      {"a linked target named by the user", "", "out/a.htm", "out/a.htm", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    fs::create_directories(dir / "elsewhere");
    fs::create_directories((dir / row.linked).parent_path());
    std::error_code ec;
    // A link at the target's own name leads to a file there, else to the folder.
    if (std::string_view(row.linked) == row.target) {
      dir.write("elsewhere/a.htm", "");
      fs::create_symlink(dir / "elsewhere/a.htm", dir / row.linked, ec);
    } else {
      fs::create_directory_symlink(dir / "elsewhere", dir / row.linked, ec);
    }
    if (ec) GTEST_SKIP() << "no symbolic links here";
    BatchJob job;
    job.source = dir.write("a.htm", kPage).string();
    job.target = (dir / row.target).string();
    BatchOptions options;
    if (*row.root != '\0') options.output_root = (dir / row.root).string();
    std::vector<BatchOutcome> seen;
    RunBatch({&job, 1}, options, [&](const BatchOutcome& o) { seen.push_back(o); });
    ASSERT_EQ(seen.size(), 1U);
    EXPECT_EQ(seen[0].trimmed(), row.trimmed);
    EXPECT_EQ(!fs::is_empty(dir / "elsewhere") && (!fs::exists(dir / "elsewhere/a.htm") ||
                                                   fs::file_size(dir / "elsewhere/a.htm") > 0),
              row.trimmed);
  }
}

// Whatever a trim threw or returned reaches the front ends as one kind of
// failure, with the step, the path and the error number where there are some.
TEST(TrimFailure, ReadsEveryWayATrimFails) {
  TempDir dir;
  fs::create_directories(dir / "folder");
  const std::string page = (dir / "page.htm").string();
  const std::string folder = (dir / "folder").string();
  const std::string missing = (dir / "missing.htm").string();
  const struct {
    const char* what;
    TrimFailure got;
    std::int32_t result;
    bool step;
    std::string path;
    int error;
  } kRows[] = {
      {"a failed step",
       FailureOf(std::make_exception_ptr(fileio::FileError(fileio::Step::kReplace, page, EACCES)),
                 missing),
       kTrimDone, true, page, EACCES},
      {"a system error",
       FailureOf(std::make_exception_ptr(std::system_error(ENOSPC, std::generic_category())), page),
       kTrimDone, false, page, ENOSPC},
      {"any other exception", FailureOf(std::make_exception_ptr(std::runtime_error("odd")), page),
       kTrimDone, false, page, 0},
      {"not an exception", FailureOf(std::make_exception_ptr(7), page), kTrimDone, false, page, 0},
      {"a blank target", *FailureOf(TrimReport{kTrimTargetBlank}, page, " "), kTrimTargetBlank,
       false, " ", 0},
      {"no source", *FailureOf(TrimReport{kTrimSourceNotFound}, missing, page), kTrimSourceNotFound,
       false, missing, ENOENT},
      {"a folder for a source", *FailureOf(TrimReport{kTrimSourceNotFound}, folder, page),
       kTrimSourceNotFound, false, folder, EISDIR},
  };
  for (const auto& row : kRows) {
    EXPECT_EQ(row.got.result, row.result) << row.what;
    EXPECT_EQ(row.got.step.has_value(), row.step) << row.what;
    EXPECT_EQ(row.got.path, row.path) << row.what;
    EXPECT_EQ(row.got.error, row.error) << row.what;
    EXPECT_FALSE(row.got.message.empty()) << row.what;
  }
  EXPECT_FALSE(FailureOf(TrimReport{kTrimNotText}, page, page)) << "skipped is no failure";
}

}  // namespace
}  // namespace brevio

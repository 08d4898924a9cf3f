// The engine's file calls on Windows: wide names, both separators, the
// replacement through ReplaceFileW, devices and refusals.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "brevio/engine/batch.h"
#include "brevio/engine/file_trim.h"
#include "fileio/file_error.h"
#include "fileio/path.h"
#include "fileio/wide.h"
#include "tests/support/temp_dir.h"

namespace brevio {
namespace {

using testing::TempDir;

constexpr const char* kPage = "\t<p>  a  </p>  \r\n\r\n";
constexpr const char* kTrimmed = "<p> a </p>\r\n";

std::string Utf8Path(const TempDir& dir, const std::string& name) {
  return fileio::TextOf(dir.path()) + "\\" + name;
}

std::string Read(const std::string& utf8_path) {
  return testing::ReadFile(fileio::PathOf(utf8_path));
}

DWORD Attributes(const std::string& utf8_path) {
  return ::GetFileAttributesW(fileio::Wide(utf8_path).c_str());
}

struct Case {
  const char* what;
  // Makes the files below dir and returns {source, target}.
  std::function<std::pair<std::string, std::string>(const TempDir& dir)> setup;
  std::int32_t result;
  const char* target_text;  // the target's bytes afterwards; nullptr: not checked
  // Checked afterwards when set.
  std::function<bool(const std::string& target)> check;
};

TEST(TrimFileOnWindows, WritesAndReplacesThroughTheWideCalls) {
  const Case cases[] = {
      {"backslashes",
       [](const TempDir& dir) {
         dir.write("a.htm", kPage);
         return std::pair{Utf8Path(dir, "a.htm"), Utf8Path(dir, "b.htm")};
       },
       kTrimDone, kTrimmed, nullptr},
      {"forward slashes",
       [](const TempDir& dir) {
         dir.write("a.htm", kPage);
         std::string root = fileio::TextOf(dir.path());
         std::replace(root.begin(), root.end(), '\\', '/');
         return std::pair{root + "/a.htm", root + "/b.htm"};
       },
       kTrimDone, kTrimmed, nullptr},
      {"names beyond ASCII",
       [](const TempDir& dir) {
         const std::string source = Utf8Path(dir, "caf\xc3\xa9 \xe2\x82\xac.htm");
         std::ofstream(fileio::PathOf(source), std::ios::binary) << kPage;
         return std::pair{source, Utf8Path(dir, "\xce\xb1\xce\xb2.htm")};
       },
       kTrimDone, kTrimmed, nullptr},
      {"in place keeps the file's attributes",
       [](const TempDir& dir) {
         const std::string path = Utf8Path(dir, "a.htm");
         dir.write("a.htm", kPage);
         ::SetFileAttributesW(fileio::Wide(path).c_str(), FILE_ATTRIBUTE_HIDDEN);
         return std::pair{path, path};
       },
       kTrimDone, kTrimmed,
       [](const std::string& target) { return (Attributes(target) & FILE_ATTRIBUTE_HIDDEN) != 0; }},
      {"a bare name in place, from its own folder",
       [](const TempDir& dir) {
         dir.write("a.htm", kPage);
         std::filesystem::current_path(dir.path());
         return std::pair{std::string("a.htm"), std::string("a.htm")};
       },
       kTrimDone, kTrimmed, nullptr},
      {"over an existing copy",
       [](const TempDir& dir) {
         dir.write("a.htm", kPage);
         dir.write("b.htm", "old");
         return std::pair{Utf8Path(dir, "a.htm"), Utf8Path(dir, "b.htm")};
       },
       kTrimDone, kTrimmed, nullptr},
      {"into the NUL device, written into",
       [](const TempDir& dir) {
         dir.write("a.htm", kPage);
         return std::pair{Utf8Path(dir, "a.htm"), std::string("NUL")};
       },
       kTrimDone, nullptr, nullptr},
      {"a missing source",
       [](const TempDir& dir) {
         return std::pair{Utf8Path(dir, "none.htm"), Utf8Path(dir, "b.htm")};
       },
       kTrimSourceNotFound, nullptr,
       [](const std::string& target) { return Attributes(target) == INVALID_FILE_ATTRIBUTES; }},
      {"a folder as the source",
       [](const TempDir& dir) {
         std::filesystem::create_directory(dir / "sub");
         return std::pair{Utf8Path(dir, "sub"), Utf8Path(dir, "b.htm")};
       },
       kTrimSourceNotFound, nullptr, nullptr},
  };
  const std::filesystem::path start = std::filesystem::current_path();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TempDir dir;
    const auto [source, target] = c.setup(dir);
    EXPECT_EQ(TrimFile(source, target), c.result);
    if (c.target_text != nullptr) {
      EXPECT_EQ(Read(target), c.target_text);
    }
    if (c.check) {
      EXPECT_TRUE(c.check(target));
    }
    std::filesystem::current_path(start);
    // Nothing beside the files: no temporary file stays behind.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      EXPECT_FALSE(IsTrimTempName(fileio::TextOf(entry.path().filename())))
          << fileio::TextOf(entry.path());
    }
  }
}

TEST(TrimFileOnWindows, RefusesWhatItMustNotReplace) {
  struct Refusal {
    const char* what;
    std::function<std::pair<std::string, std::string>(const TempDir& dir)> setup;
    fileio::Step step;
    int error;
  };
  const Refusal refusals[] = {
      {"a folder as the target",
       [](const TempDir& dir) {
         dir.write("a.htm", kPage);
         std::filesystem::create_directory(dir / "sub");
         return std::pair{Utf8Path(dir, "a.htm"), Utf8Path(dir, "sub")};
       },
       fileio::Step::kRefuseTarget, EISDIR},
      {"a read-only copy",
       [](const TempDir& dir) {
         dir.write("a.htm", kPage);
         const std::string target = Utf8Path(dir, "b.htm");
         dir.write("b.htm", "old");
         ::SetFileAttributesW(fileio::Wide(target).c_str(), FILE_ATTRIBUTE_READONLY);
         return std::pair{Utf8Path(dir, "a.htm"), target};
       },
       fileio::Step::kOpenTarget, EACCES},
      {"a target folder that does not exist",
       [](const TempDir& dir) {
         dir.write("a.htm", kPage);
         return std::pair{Utf8Path(dir, "a.htm"), Utf8Path(dir, "none\\b.htm")};
       },
       fileio::Step::kCreateTemp, ENOENT},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.what);
    const TempDir dir;
    const auto [source, target] = r.setup(dir);
    try {
      TrimFile(source, target);
      ADD_FAILURE() << "not refused";
    } catch (const fileio::FileError& e) {
      EXPECT_EQ(e.step(), r.step) << e.what();
      EXPECT_EQ(e.code().value(), r.error) << e.what();
    }
    ::SetFileAttributesW(fileio::Wide(target).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

// Names that differ only in case are one file, and one target: a second
// trim of one file (or a second file over a just-trimmed one) is a repeat.
TEST(RunBatchOnWindows, NamesThatDifferInCaseAreOneFile) {
  struct Row {
    const char* what;
    std::pair<const char*, const char*> first;  // source, target
    std::pair<const char*, const char*> second;
    BatchRepeat repeat;
  };
  const Row rows[] = {
      {"one file in place twice",
       {"lf.htm", "lf.htm"},
       {"LF.HTM", "LF.HTM"},
       BatchRepeat::kSameFile},
      {"two files for one target",
       {"a.htm", "out\\Page.htm"},
       {"b.htm", "out\\page.htm"},
       BatchRepeat::kSameTarget},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const TempDir dir;
    for (const char* name : {"lf.htm", "a.htm", "b.htm"}) dir.write(name, kPage);
    std::vector<BatchJob> jobs(2);
    jobs[0].source = Utf8Path(dir, row.first.first);
    jobs[0].target = Utf8Path(dir, row.first.second);
    jobs[1].source = Utf8Path(dir, row.second.first);
    jobs[1].target = Utf8Path(dir, row.second.second);
    BatchOptions options;
    options.output_root = fileio::TextOf(dir.path());  // the targets' folders are made
    std::vector<BatchOutcome> seen;
    RunBatch(jobs, options, [&](const BatchOutcome& o) { seen.push_back(o); });
    ASSERT_EQ(seen.size(), 2U);
    EXPECT_TRUE(seen[0].trimmed());
    EXPECT_EQ(seen[1].repeat, row.repeat);
  }
}

// Paths past the old limit go to the wide calls as full paths after
// "\\?\", which every call takes however long; shorter ones as given.
TEST(Wide, GivesLongPathsTheFormWithoutALimit) {
  const std::wstring a(150, L'a');
  const std::wstring b(150, L'b');
  const std::wstring here = std::filesystem::current_path().wstring();
  struct Row {
    std::string path;
    std::wstring wide;
  };
  const Row rows[] = {
      {"C:\\www\\x.htm", L"C:\\www\\x.htm"},
      {"C:/www/x.htm", L"C:\\www\\x.htm"},
      {"x.htm", L"x.htm"},
      {"NUL", L"NUL"},
      {fileio::Utf8(L"C:\\" + a + L"\\" + b), L"\\\\?\\C:\\" + a + L"\\" + b},
      {fileio::Utf8(L"C:/" + a + L"/./x/../" + b), L"\\\\?\\C:\\" + a + L"\\" + b},
      {fileio::Utf8(a + L"\\" + b), L"\\\\?\\" + here + L"\\" + a + L"\\" + b},
      {fileio::Utf8(L"\\\\server\\share\\" + a + L"\\" + b),
       L"\\\\?\\UNC\\server\\share\\" + a + L"\\" + b},
      {fileio::Utf8(L"\\\\?\\C:\\" + a + L"\\" + b), L"\\\\?\\C:\\" + a + L"\\" + b},
  };
  for (const Row& row : rows) EXPECT_EQ(fileio::Wide(row.path), row.wide) << row.path;
}

}  // namespace
}  // namespace brevio

// brevio-trim.exe started as a person starts it, through cmd, under Wine:
// the wildcards it expands itself, its output, long paths and in-place
// trims named in another letter case.
#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "brevio/cli/wildcards.h"
#include "fileio/path.h"
#include "fileio/wide.h"
#include "tests/support/temp_dir.h"

namespace brevio::cli {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;

constexpr const char* kPage = "\t<p>  a  </p>  \r\n\r\n";
constexpr const char* kTrimmed = "<p> a </p>\r\n";

fs::path Here() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return fs::path(path).parent_path();
}

struct Outcome {
  DWORD code = 99;
  std::string out;
  std::string err;
};

// Starts a whole command line in `folder` (no shell unless it names one),
// its standard output and error into files, and waits for it.
Outcome Start(std::wstring command, const fs::path& folder) {
  const TempDir streams;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const auto open = [&](const wchar_t* name) {
    return ::CreateFileW((streams.path() / name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = open(L"out");
  startup.hStdError = open(L"err");
  PROCESS_INFORMATION process{};
  Outcome run;
  if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                       &startup, &process) != 0) {
    ::WaitForSingleObject(process.hProcess, 60000);
    ::GetExitCodeProcess(process.hProcess, &run.code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  ::CloseHandle(startup.hStdOutput);
  ::CloseHandle(startup.hStdError);
  run.out = ReadFile(streams.path() / L"out");
  run.err = ReadFile(streams.path() / L"err");
  return run;
}

// What follows "cmd /c" as typed at cmd's prompt, run in `folder` with a
// copy of brevio-trim.exe there (cmd finds it by name, no path to quote).
Outcome Cmd(const std::wstring& typed, const fs::path& folder) {
  fs::copy_file(Here() / L"brevio-trim.exe", folder / L"brevio-trim.exe",
                fs::copy_options::overwrite_existing);
  return Start(L"cmd /c brevio-trim.exe " + typed, folder);
}

std::vector<std::string> ArgvOf(const std::wstring& line) {
  int count = 0;
  wchar_t** const wide = ::CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(fileio::Utf8(wide[i]));
  ::LocalFree(wide);
  return args;
}

TEST(SplitCommandLine, SplitsAsCommandLineToArgvW) {
  const wchar_t* const lines[] = {
      L"p a  b\t",
      L"\"C:\\Program Files\\p.exe\" x",
      L"\"p\"x y",
      L" p a",
      L"p \"a b\" \"\" c",
      L"p a\\\\b a\\\"b a\\\\\"b c\"",
      L"p \"a \"\"b\"\" c\"",
      L"p a\"b\"\" c d",
      L"p \"\"\"\"\"\" x\"\"\"\"y \"\"\"\"\"\"\"",
      L"p *.htm \"*.htm\" \"a b\"\\*.htm x\\\"?.htm",
      L"p \x03a6\x03ac.htm \"\x6f22 \x5b57\"",
  };
  for (const wchar_t* line : lines) {
    std::vector<std::string> split;
    for (const RawArgument& arg : SplitCommandLine(fileio::Utf8(line))) split.push_back(arg.text);
    EXPECT_EQ(split, ArgvOf(line)) << fileio::Utf8(line);
  }
}

// cmd hands `*` and `?` on as typed: the program expands the unquoted ones
// in its file operands, sorted as dir lists them, and names a pattern that
// matches nothing. Quoted, a pattern is a name; an option's value is never
// expanded. The output folder comes only with something to write.
TEST(TrimExe, ExpandsTheWildcardsCmdLeavesToIt) {
  struct Row {
    const wchar_t* typed;
    DWORD code;
    const char* out;       // standard output; nullptr: not checked
    const char* err_part;  // in standard error; "": nothing there
    bool made_out;         // the folder "out" is there afterwards
  };
  const Row rows[] = {
      {L"--check *.htm", 1, "A.htm\nb.htm\n\"c d.htm\"\n", "", false},
      {L"--check \"*.htm\"", 1, "", "*.htm: No such file or directory", false},
      {L"--check \"c d\"*", 1, "\"c d.htm\"\n", "", false},
      {L"--check sub\\?.htm", 1, "sub\\x.htm\n", "", false},
      {L"--check -r --include *.php sub", 1, "sub\\y.php\n", "", false},
      {L"--check *.xyz *.htm", 1, "", "brevio-trim: no file matches *.xyz\n", false},
      {L"-o out *.xyz", 1, "", "no file matches *.xyz", false},
      {L"-q -o out *.htm", 0, "", "", true},
  };
  for (const Row& row : rows) {
    const TempDir dir;
    for (const char* name : {"A.htm", "b.htm", "c d.htm", "x.php", "sub/x.htm", "sub/y.php"}) {
      fs::create_directories(dir.path() / "sub");
      dir.write(name, kPage);
    }
    const Outcome run = Cmd(row.typed, dir.path());
    const std::string what = fileio::Utf8(row.typed);
    EXPECT_EQ(run.code, row.code) << what << ": " << run.err;
    if (row.out != nullptr) {
      EXPECT_EQ(run.out, row.out) << what;
    }
    if (*row.err_part == '\0') {
      EXPECT_EQ(run.err, "") << what;
    } else {
      EXPECT_NE(run.err.find(row.err_part), std::string::npos) << what << ": " << run.err;
    }
    EXPECT_EQ(fs::exists(dir.path() / "out"), row.made_out) << what;
    if (row.made_out) {
      for (const char* name : {"A.htm", "b.htm", "c d.htm"}) {
        EXPECT_EQ(ReadFile(dir.path() / "out" / name), kTrimmed) << what << ": " << name;
      }
    }
  }
}

// Both programs declare that they take paths past MAX_PATH, which real
// Windows then allows where long paths are enabled (Wine always does).
TEST(TrimExe, ProgramsDeclareLongPathAwareness) {
  for (const wchar_t* program : {L"brevio-trim.exe", L"Brevio.exe"}) {
    const fs::path path = Here() / program;
    if (!fs::exists(path)) continue;  // a build without the window
    const HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << path;
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    std::string manifest;
    if (found != nullptr) {
      const auto* text = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
      manifest.assign(text, ::SizeofResource(module, found));
    }
    ::FreeLibrary(module);
    EXPECT_NE(manifest.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/"
                            "WindowsSettings\">true</longPathAware>"),
              std::string::npos)
        << path;
  }
}

// Paths of over 300 characters, named relative to the current folder as
// people name them: a walk into an output folder as deep, a pair, in place.
TEST(TrimExe, TrimsThroughPathsPastMaxPath) {
  std::string deep = "site";
  for (const char c : {'a', 'b', 'c', 'd', 'e'}) deep += "\\" + std::string(60, c);
  const std::string out = "out\\" + std::string(60, 'o');
  struct Row {
    std::string args;
    std::string written;  // relative to the folder
  };
  const Row rows[] = {
      {"-q -r -o " + out + " site", out + deep.substr(4) + "\\page.htm"},
      {deep + "\\page.htm " + deep + "\\copy.htm", deep + "\\copy.htm"},
      {"-i " + deep + "\\page.htm", deep + "\\page.htm"},
  };
  ASSERT_GT(out.size() + deep.size(), 300u);
  for (const Row& row : rows) {
    const TempDir dir;
    fs::create_directories(dir.path() / deep);
    dir.write(deep + "\\page.htm", kPage);
    const Outcome run = Start(L"\"" + (Here() / L"brevio-trim.exe").wstring() + L"\" " +
                                  std::wstring(row.args.begin(), row.args.end()),
                              dir.path());
    EXPECT_EQ(run.code, 0u) << row.args << ": " << run.err;
    EXPECT_EQ(ReadFile(dir.path() / row.written), kTrimmed) << row.args;
  }
}

// A file named in another letter case is the same file: trimmed in place,
// or replaced in an output folder, it keeps the name it has on disk.
TEST(TrimExe, KeepsTheNameAFileHasWhateverCaseItIsNamedIn) {
  struct Row {
    std::wstring args;                // {} stands for the test's folder
    const char* changed;              // the file whose bytes are trimmed
    std::vector<std::wstring> names;  // the names in case\ afterwards
  };
  const Row rows[] = {
      {L"{}\\case\\a.htm {}\\CASE\\A.HTM", "case/a.htm", {L"B.htm", L"a.htm"}},
      {L"-i {}\\CASE\\A.HTM", "case/a.htm", {L"B.htm", L"a.htm"}},
      {L"-o {}\\case {}\\other\\b.htm", "case/B.htm", {L"B.htm", L"a.htm"}},
  };
  for (const Row& row : rows) {
    const TempDir dir;
    fs::create_directories(dir.path() / "case");
    fs::create_directories(dir.path() / "other");
    dir.write("case/a.htm", kPage);
    dir.write("case/B.htm", kPage);
    dir.write("other/b.htm", kPage);
    std::wstring args = row.args;
    for (std::size_t at; (at = args.find(L"{}")) != std::wstring::npos;) {
      args.replace(at, 2, dir.path().wstring());
    }
    const Outcome run =
        Start(L"\"" + (Here() / L"brevio-trim.exe").wstring() + L"\" -q " + args, dir.path());
    EXPECT_EQ(run.code, 0u) << fileio::Utf8(args) << ": " << run.err;
    std::vector<std::wstring> names;
    for (const auto& entry : fs::directory_iterator(dir.path() / "case")) {
      names.push_back(entry.path().filename().wstring());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, row.names) << fileio::Utf8(args);
    EXPECT_EQ(ReadFile(dir.path() / row.changed), kTrimmed) << fileio::Utf8(args);
  }
}

}  // namespace
}  // namespace brevio::cli

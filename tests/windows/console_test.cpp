// brevio-trim.exe writing to a console window, under Wine in a virtual X
// server, where a console has a screen buffer to read back: names reach
// the screen as the characters they are whatever the console's code page,
// and the same run redirected to files writes UTF-8.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/temp_dir.h"

namespace brevio {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;

constexpr const wchar_t* kGreek = L"\x03a6\x03ac.htm";                      // Φά.htm
constexpr const wchar_t* kMissing = L"\x03a9\x03bc\x03ad\x03b3\x03b1.htm";  // Ωμέγα.htm
constexpr const char* kGreekUtf8 = "\xCE\xA6\xCE\xAC.htm";
constexpr const char* kMissingUtf8 = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1.htm";

fs::path Here() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return fs::path(path).parent_path();
}

// Runs brevio-trim.exe in `folder` with its standard output and error on
// the given handles (inherited), and returns its exit status.
DWORD TrimInto(const fs::path& folder, HANDLE out, HANDLE err) {
  std::wstring command =
      L"\"" + (Here() / L"brevio-trim.exe").wstring() + L"\" -o out " + kGreek + L" " + kMissing;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                       &startup, &process) == 0) {
    return ~DWORD{0};
  }
  DWORD code = ~DWORD{0};
  ::WaitForSingleObject(process.hProcess, 60000);
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return code;
}

// The console's screen buffer as one string, row after row.
std::wstring Screen(HANDLE console) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (::GetConsoleScreenBufferInfo(console, &info) == 0) return {};
  std::wstring text(static_cast<std::size_t>(info.dwSize.X) * info.dwSize.Y, L' ');
  DWORD read = 0;
  ::ReadConsoleOutputCharacterW(console, text.data(), static_cast<DWORD>(text.size()), {0, 0},
                                &read);
  text.resize(read);
  return text;
}

TEST(Console, ShowsNamesAsTheirCharactersWhateverTheCodePage) {
  const TempDir dir;
  std::ofstream(dir.path() / kGreek, std::ios::binary) << "\t<p>  a  </p>\r\n";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};

  // A console window as on a Western system: code page 437.
  ::FreeConsole();
  ASSERT_NE(::AllocConsole(), 0) << ::GetLastError();
  ::SetConsoleOutputCP(437);
  const HANDLE console =
      ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(console, INVALID_HANDLE_VALUE);
  EXPECT_EQ(TrimInto(dir.path(), console, console), 1u);
  const std::wstring screen = Screen(console);
  EXPECT_NE(screen.find(std::wstring(L"1  ") + kGreek), std::wstring::npos) << "the table's row";
  EXPECT_NE(screen.find(std::wstring(L"brevio-trim: ") + kMissing + L": No such file"),
            std::wstring::npos)
      << "the message";
  ::CloseHandle(console);
  ::FreeConsole();

  // Redirected: UTF-8, whatever a console would show.
  const auto open = [&](const wchar_t* name) {
    return ::CreateFileW((dir.path() / name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  const HANDLE out = open(L"out.txt");
  const HANDLE err = open(L"err.txt");
  EXPECT_EQ(TrimInto(dir.path(), out, err), 1u);
  ::CloseHandle(out);
  ::CloseHandle(err);
  EXPECT_NE(ReadFile(dir.path() / L"out.txt").find(std::string("1  ") + kGreekUtf8),
            std::string::npos);
  EXPECT_NE(ReadFile(dir.path() / L"err.txt").find(kMissingUtf8), std::string::npos);
}

}  // namespace
}  // namespace brevio

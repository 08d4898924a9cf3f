// brevio-trim.exe: the arguments come as UTF-16 from the system and go on
// as UTF-8 like every path; standard input and output carry bytes, never
// text with CR LF translation.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <string>
#include <vector>

#include "brevio/cli/trim_command.h"
#include "fileio/replace.h"
#include "fileio/wide.h"

namespace {

std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** const wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(fileio::Utf8(wide[i]));
  ::LocalFree(wide);
  return args;
}

}  // namespace

int main() {
  fileio::RemoveTempFilesOnSignals();
  for (const int fd : {0, 1, 2}) ::_setmode(fd, _O_BINARY);
  return brevio::cli::RunTrimProgram(Arguments(), ::_isatty(2) != 0);
}

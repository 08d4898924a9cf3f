// brevio-trim.exe: the arguments come as UTF-16 from the system and go on
// as UTF-8 like every path; standard input and output carry bytes, never
// text with CR LF translation. cmd leaves wildcards to the program: the
// command line is split here, so that a quoted pattern stays literal.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "brevio/cli/trim_command.h"
#include "brevio/cli/wildcards.h"
#include "fileio/replace.h"
#include "fileio/wide.h"

int main() {
  fileio::RemoveTempFilesOnSignals();
  for (const int fd : {0, 1, 2}) ::_setmode(fd, _O_BINARY);
  std::vector<brevio::cli::RawArgument> raw =
      brevio::cli::SplitCommandLine(fileio::Utf8(::GetCommandLineW()));
  std::vector<std::string> args;
  brevio::cli::OperandWildcards wildcards;
  wildcards.match = brevio::cli::MatchWildcards;
  for (std::size_t i = 1; i < raw.size(); ++i) {
    args.push_back(std::move(raw[i].text));
    wildcards.expand.push_back(raw[i].wildcards);
  }
  return brevio::cli::RunTrimProgram(args, ::_isatty(2) != 0, std::move(wildcards));
}

// regsvr: registers or unregisters an in-process server file.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace comrt {

// Exit codes, those of the Windows tool where it has one: 0 and 1, then
// one for each step of CallServerExport that can fail, from 3 on.
enum RegsvrExit : int {
  kRegsvrOk,
  kRegsvrUsage,
  kRegsvrLoadFailed = 3,
  kRegsvrNoEntryPoint,
  kRegsvrCallFailed,
};

// args are the arguments after the program name: [-u] [-s] FILE.
int RunRegsvr(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace comrt

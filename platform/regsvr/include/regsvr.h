// regsvr: registers or unregisters an in-process server file.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace comrt {

// Exit codes, those of the Windows tool where it has one.
enum RegsvrExit : int {
  kRegsvrOk = 0,
  kRegsvrUsage = 1,
  kRegsvrLoadFailed = 3,
  kRegsvrNoEntryPoint = 4,
  kRegsvrCallFailed = 5,
};

// args are the arguments after the program name: [-u] [-s] FILE.
int RunRegsvr(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace comrt

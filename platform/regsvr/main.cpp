#include <exception>
#include <iostream>

#include "regsvr.h"

int main(int argc, char** argv) {
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    return comrt::RunRegsvr(args, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << "regsvr: " << e.what() << "\n";  // out of memory, in practice
    return comrt::kRegsvrCallFailed;
  }
}

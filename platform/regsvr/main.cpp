#include <iostream>

#include "regsvr.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return comrt::RunRegsvr(args, std::cout, std::cerr);
}

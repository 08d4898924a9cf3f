// Writes "Run" / "n" = 1, 2, 3, ... into a profile until it is killed.
// The kill test stops it at random moments and checks the file.
#include <cstdio>
#include <string>

#include "tarnex/services/profile.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: profile_writer FILE\n");
    return 2;
  }
  for (long n = 1;; ++n) {
    if (tarnex::SaveProfileValue("Run", "n", std::to_string(n), argv[1]) == 0) return 1;
  }
}

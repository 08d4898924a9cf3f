// A stand-in browser for tests: appends each argument, one per line, to the
// file named by BREVIO_RECORD_FILE.
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const char* file = std::getenv("BREVIO_RECORD_FILE");
  if (file == nullptr) return 2;
  std::FILE* out = std::fopen(file, "a");
  if (out == nullptr) return 3;
  for (int i = 1; i < argc; ++i) std::fprintf(out, "%s\n", argv[i]);
  return std::fclose(out) == 0 ? 0 : 4;
}

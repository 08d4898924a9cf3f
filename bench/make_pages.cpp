// Writes benchmark input: one big page file, or a folder of many small pages;
// and the floor any program that reads and writes a file pays: a plain copy
// loop with the block size brevio-trim uses.
//   brevio-bench-pages file PATH BYTES [lf]
//   brevio-bench-pages pages FOLDER COUNT MIN_BYTES MAX_BYTES
//   brevio-bench-pages copy SOURCE TARGET [BLOCK_BYTES]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>

#include "fileio/io_buffer.h"
#include "page_text.h"

namespace {

bool WriteAll(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  return static_cast<bool>(out);
}

// read/write with one reused buffer, nothing else. The buffer starts on a
// page, as dd's and cat's do: the kernel copies into memory aligned to 16
// only several times slower on some processors, which no floor should pay.
int CopyLoop(const char* source, const char* target, std::size_t block) {
  const int in = ::open(source, O_RDONLY | O_CLOEXEC);
  const int out = ::open(target, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (in < 0 || out < 0) {
    std::perror("brevio-bench-pages copy");
    return 1;
  }
  const fileio::IoBuffer buffer(block);
  for (;;) {
    const ssize_t got = ::read(in, buffer.get(), block);
    if (got == 0) break;
    if (got < 0) {
      std::perror("read");
      return 1;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out, buffer.get() + done, static_cast<std::size_t>(got - done));
      if (put < 0) {
        std::perror("write");
        return 1;
      }
      done += put;
    }
  }
  return ::close(out) == 0 && ::close(in) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "file" && (argc == 4 || argc == 5)) {
    const std::uint64_t bytes = std::strtoull(argv[3], nullptr, 10);
    const bool lf_only = argc == 5 && std::string(argv[4]) == "lf";
    // Written in 64 MiB pieces of differing text, so the generator itself
    // stays small in memory.
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    constexpr std::uint64_t kPiece = std::uint64_t{64} << 20;
    std::uint32_t seed = 1;
    for (std::uint64_t done = 0; done < bytes && out; ++seed) {
      std::string text = brevio::bench::MakePageText(kPiece, lf_only, seed);
      text.resize(static_cast<std::size_t>(std::min<std::uint64_t>(text.size(), bytes - done)));
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
      done += text.size();
    }
    if (!out) {
      std::cerr << "cannot write " << argv[2] << '\n';
      return 1;
    }
    return 0;
  }
  if (what == "pages" && argc == 6) {
    const std::filesystem::path folder = argv[2];
    const long count = std::strtol(argv[3], nullptr, 10);
    const long min_bytes = std::strtol(argv[4], nullptr, 10);
    const long max_bytes = std::strtol(argv[5], nullptr, 10);
    std::filesystem::create_directories(folder);
    std::mt19937 random(5);
    std::uniform_int_distribution<long> size(min_bytes, max_bytes);
    for (long i = 0; i < count; ++i) {
      std::string text = brevio::bench::MakePageText(static_cast<std::size_t>(size(random)), false,
                                                     static_cast<std::uint32_t>(i));
      const auto name =
          (folder / ("page" + std::to_string(i) + (i % 2 ? ".php" : ".html"))).string();
      if (!WriteAll(name, text)) {
        std::cerr << "cannot write " << name << '\n';
        return 1;
      }
    }
    return 0;
  }
  if (what == "copy" && (argc == 4 || argc == 5)) {
    const std::size_t block = argc == 5 ? std::strtoull(argv[4], nullptr, 10) : 256 * 1024;
    return CopyLoop(argv[2], argv[3], std::max<std::size_t>(block, 1));
  }
  std::cerr << "usage: brevio-bench-pages file PATH BYTES [lf] | pages FOLDER COUNT MIN MAX"
               " | copy SOURCE TARGET [BLOCK]\n";
  return 2;
}

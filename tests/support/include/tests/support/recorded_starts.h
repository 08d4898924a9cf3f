// What the stand-in program brevio_record_args (record_args.cpp) was started
// with: one record per start in the folder $BREVIO_RECORD_DIR named.
#pragma once
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace brevio::testing {

struct RecordedStart {
  pid_t pid = 0;
  std::string cwd;
  std::string flags;
  std::vector<std::string> argv;  // argv[0] is the name the program was started as
};

// The starts recorded so far, in no particular order (a start still writing
// its record is not among them).
inline std::vector<RecordedStart> ReadRecordedStarts(const std::filesystem::path& dir) {
  std::vector<RecordedStart> starts;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".rec") continue;
    const std::string bytes = ReadFile(entry.path());
    std::vector<std::string> fields;
    for (std::size_t pos = 0; pos < bytes.size();) {
      const std::size_t nul = bytes.find('\0', pos);
      fields.push_back(bytes.substr(pos, nul - pos));
      pos = nul + 1;
    }
    RecordedStart r;
    r.pid = std::stoi(entry.path().stem().string());
    r.cwd = fields.at(0);
    r.flags = fields.at(1);
    r.argv.assign(fields.begin() + 2, fields.end());
    starts.push_back(std::move(r));
  }
  return starts;
}

}  // namespace brevio::testing

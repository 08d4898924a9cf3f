// Windows has no mkdtemp: a random name is tried until creating it succeeds
// (create_directory fails for a name that exists, so no other run's folder
// is ever taken over).
#include <filesystem>
#include <random>
#include <stdexcept>

#include "tests/support/temp_dir.h"

namespace brevio::testing {

TempDir::TempDir() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  const std::filesystem::path temp = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate = temp / ("brevio-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder in " + temp.string());
}

}  // namespace brevio::testing

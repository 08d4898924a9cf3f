#include <cstdlib>
#include <system_error>

#include "tests/support/temp_dir.h"

namespace brevio::testing {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "brevio-test-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp");
  }
  path_ = tmpl;
}

}  // namespace brevio::testing

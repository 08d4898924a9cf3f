// Points the component runtime's registry at a scratch folder for one test.
#pragma once

#include <comrt_registry.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "tests/support/temp_dir.h"

namespace brevio::testing {

class ScratchRegistry {
 public:
  ScratchRegistry() {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old;
    ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
  }
  ~ScratchRegistry() {
    if (old_)
      ::setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
    else
      ::unsetenv("XDG_CONFIG_HOME");
  }
  ScratchRegistry(const ScratchRegistry&) = delete;
  ScratchRegistry& operator=(const ScratchRegistry&) = delete;

  std::filesystem::path file() const { return dir_ / "comrt" / "registry.reg"; }
  const TempDir& dir() const { return dir_; }
  comrt::Registry read() const { return comrt::ReadRegistry(file()); }

 private:
  TempDir dir_;
  std::optional<std::string> old_;
};

}  // namespace brevio::testing

#pragma once
#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace tarnex::testing {

// Names a table row after its `what` text, so ctest lists readable names.
struct CaseName {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    std::string name = std::to_string(info.index) + "_";
    for (const char c : std::string(info.param.what)) {
      name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
  }
};

}  // namespace tarnex::testing

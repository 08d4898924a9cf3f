// The CTarnex calls the windows make, with UTF-8 on our side and BSTRs on
// the library's.
#pragma once

#include <comrt.h>
#include <tarnex.h>

#include <cstdint>
#include <string>

namespace brevio::forms {

std::string RipFile(_CTarnex* t, const std::string& path);
std::string JoinPathFile2(_CTarnex* t, const std::string& folder, const std::string& file);
std::string GetDir(_CTarnex* t, std::int32_t window);
void OpenWebNew(_CTarnex* t, const std::string& address);

}  // namespace brevio::forms

#include "tarnex/services/launch.h"

namespace tarnex {
void OpenDocument(const std::string&) {}
void OpenBrowserNewWindow(const std::string&) {}
std::int32_t ShellExecuteUtf8(std::int32_t, const std::string&, const std::string&,
                              const std::string&, const std::string&, std::int32_t) {
  return 31;
}
}  // namespace tarnex

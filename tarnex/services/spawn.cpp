#include "tarnex/services/spawn.h"

namespace tarnex::detail {
int SpawnDetached(const std::vector<std::string>&, const std::string&) { return 2; }
std::string FindOnPath(const std::string&) { return {}; }
}  // namespace tarnex::detail

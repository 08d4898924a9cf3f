#include "tarnex/services/profile.h"

namespace tarnex {
bool WriteProfileEntry(std::string_view, const std::optional<std::string>&,
                       const std::optional<std::string>&, const std::string&) { return false; }
std::string ReadProfileEntry(std::string_view, std::string_view, std::string_view default_value,
                             const std::string&, std::size_t) { return std::string(default_value); }
const std::string& DefaultProfilePath() { static const std::string p; return p; }
std::string ResolveProfilePath(const std::string& file) { return file; }
std::int32_t SaveProfileValue(const std::string&, const std::string&, const std::string&,
                              const std::string&) { return 0; }
std::string LoadProfileValue(const std::string&, const std::string&, const std::string& d,
                             const std::string&) { return d; }
}  // namespace tarnex

#include "tarnex/services/profile.h"

namespace tarnex {
std::optional<std::string> ProfileText::Find(std::string_view, std::string_view) const { return {}; }
void ProfileText::Set(std::string_view, std::string_view, std::string_view) {}
bool ProfileText::DeleteKey(std::string_view, std::string_view) { return false; }
bool ProfileText::DeleteSection(std::string_view) { return false; }
}  // namespace tarnex

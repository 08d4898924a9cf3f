#pragma once
// File names are UTF-8 text throughout; std::filesystem takes a narrow
// string in the system's own encoding, which on Windows is the ANSI code
// page. These two cross that line without loss on either system.

#include <filesystem>
#include <string>
#include <string_view>

namespace fileio {

inline std::filesystem::path PathOf(std::string_view utf8) {
#ifdef _WIN32
  return std::filesystem::path(
      std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
#else
  return std::filesystem::path(utf8);
#endif
}

inline std::string TextOf(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
#else
  return path.string();
#endif
}

}  // namespace fileio

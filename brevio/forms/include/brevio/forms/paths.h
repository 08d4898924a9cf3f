// UTF-8 paths as the file system takes them, on every system: never through
// the ANSI code page on Windows.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace brevio::forms {

std::filesystem::path FsPath(std::string_view utf8);
std::string Utf8Path(const std::filesystem::path& path);

// The separator the platform writes.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// Whether `c` separates folders here ('/' and, on Windows, '\\').
constexpr bool IsSeparator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

// What lies before the last separator ("." when there is none; the root
// when it is the only one) and what lies after it.
std::string FolderOf(std::string_view path);
std::string NameOf(std::string_view path);

}  // namespace brevio::forms

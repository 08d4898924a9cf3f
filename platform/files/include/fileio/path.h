#pragma once
// Paths as this system's programs hold them: UTF-8 text, taken apart and
// joined in one place for the engine, brevio-trim and the windows alike.
// '/' separates folders everywhere; Windows also takes '\\' and writes it,
// and a drive ("C:") starts a path there.
//
// std::filesystem takes a narrow string in the system's own encoding, which
// on Windows is the ANSI code page: PathOf and TextOf cross that line
// without loss on either system.

#include <filesystem>
#include <string>
#include <string_view>

namespace fileio {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
inline constexpr bool kDriveLetters = true;
#else
inline constexpr char kSeparator = '/';
inline constexpr bool kDriveLetters = false;
#endif

// Whether c separates folders here.
constexpr bool IsSeparator(char c) { return c == '/' || (kSeparator == '\\' && c == '\\'); }

// The folder part of a path: "." when there is none, the root ("/", "C:\")
// or the drive ("C:" of "C:x") when that is all there is.
std::string FolderOf(std::string_view path);

// The part after the folder part.
std::string NameOf(std::string_view path);

// folder and name with one separator between them ("" + name is name).
std::string JoinPath(std::string_view folder, std::string_view name);

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

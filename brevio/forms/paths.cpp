#include "brevio/forms/paths.h"

#ifdef _WIN32
#include <fileio/wide.h>
#endif

namespace brevio::forms {
namespace {

#ifdef _WIN32
constexpr bool kDriveLetters = true;
#else
constexpr bool kDriveLetters = false;
#endif

std::string_view::size_type LastSeparator(std::string_view path) {
  for (auto i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return i - 1;
  }
  return std::string_view::npos;
}

}  // namespace

#ifdef _WIN32
std::filesystem::path FsPath(std::string_view utf8) { return {fileio::Wide(utf8)}; }
std::string Utf8Path(const std::filesystem::path& path) { return fileio::Utf8(path.native()); }
#else
std::filesystem::path FsPath(std::string_view utf8) { return {std::string(utf8)}; }
std::string Utf8Path(const std::filesystem::path& path) { return path.native(); }
#endif

std::string FolderOf(std::string_view path) {
  const auto at = LastSeparator(path);
  if (at == std::string_view::npos) return ".";
  // "/x" and "C:\x" keep their root.
  if (at == 0 || (kDriveLetters && at == 2 && path[1] == ':'))
    return std::string(path.substr(0, at + 1));
  return std::string(path.substr(0, at));
}

std::string NameOf(std::string_view path) {
  const auto at = LastSeparator(path);
  return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

}  // namespace brevio::forms

#include "brevio/forms/paths.h"

#ifdef _WIN32
#include <fileio/wide.h>
#endif

namespace brevio::forms {
#ifdef _WIN32
std::filesystem::path FsPath(std::string_view utf8) { return {fileio::Wide(utf8)}; }
std::string Utf8Path(const std::filesystem::path& path) { return fileio::Utf8(path.native()); }
#else
std::filesystem::path FsPath(std::string_view utf8) { return {std::string(utf8)}; }
std::string Utf8Path(const std::filesystem::path& path) { return path.native(); }
#endif

}  // namespace brevio::forms

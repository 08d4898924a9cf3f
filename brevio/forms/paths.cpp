#include "brevio/forms/paths.h"

#include "brevio/forms/texts.h"

#ifdef _WIN32
#include <fileio/wide.h>
#endif

namespace brevio::forms {
#ifdef _WIN32
std::filesystem::path FsPath(std::string_view utf8) { return {fileio::Wide(utf8)}; }
std::string Utf8Path(const std::filesystem::path& path) { return fileio::Utf8(path.native()); }
std::optional<std::string> ExactUtf8Path(const std::filesystem::path& path) {
  const std::wstring& wide = path.native();
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const wchar_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return std::nullopt;
    }
  }
  return fileio::Utf8(wide);
}
std::string ShownPath(const std::filesystem::path& path) {
  // Each unit on its own as UTF-8 would encode it, pairs joined first: a lone
  // surrogate becomes three bytes that no UTF-8 reader takes for a character.
  std::string bytes;
  const std::wstring& wide = path.native();
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
    }
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if (c < 0x800) {
      bytes += static_cast<char>(0xC0 | (c >> 6));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      bytes += static_cast<char>(0xE0 | (c >> 12));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      bytes += static_cast<char>(0xF0 | (c >> 18));
      bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return ShownName(bytes);
}
#else
std::filesystem::path FsPath(std::string_view utf8) { return {std::string(utf8)}; }
std::string Utf8Path(const std::filesystem::path& path) { return path.native(); }
std::optional<std::string> ExactUtf8Path(const std::filesystem::path& path) {
  return path.native();
}
std::string ShownPath(const std::filesystem::path& path) { return ShownName(path.native()); }
#endif

}  // namespace brevio::forms

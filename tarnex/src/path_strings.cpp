#include "tarnex/src/path_strings.h"

#include <comrt_text.h>

#include <algorithm>

#include "upper_case.h"

namespace tarnex {

using comrt::ascii::TrimSpaces;

std::u16string JoinPathFile2(std::u16string_view path, std::u16string_view file) {
  std::u16string_view folder = TrimSpaces(path);
  if (folder.empty()) return std::u16string(file);
  std::u16string out(folder);
  if (folder.back() != kPathSeparator) out += kPathSeparator;
  out += file;
  return out;
}

std::u16string RipPath(std::u16string_view file) {
  std::size_t sep = file.rfind(kPathSeparator);
  if (sep == std::u16string_view::npos) return {};
  return std::u16string(file.substr(0, sep + 1));
}

std::u16string RipFile(std::u16string_view file) {
  std::size_t sep = file.rfind(kPathSeparator);
  if (sep == std::u16string_view::npos) return std::u16string(file);
  return std::u16string(file.substr(sep + 1));
}

std::u16string RipExt(std::u16string_view file) {
  std::size_t dot = file.rfind(u'.');
  if (dot == std::u16string_view::npos) return {};
  return std::u16string(file.substr(dot));
}

std::u16string SwitchExt(std::u16string_view file, std::u16string_view ext1,
                         std::u16string_view ext2) {
  std::u16string_view f = TrimSpaces(file);
  std::u16string_view e1 = TrimSpaces(ext1);
  std::u16string_view e2 = TrimSpaces(ext2);
  std::size_t n = std::min(e1.size(), f.size());
  std::u16string_view tail = f.substr(f.size() - n);
  // Case mapping of the whole text (on Linux "ß" and "SS" meet), not an ASCII compare.
  const bool match = UpperCase(tail) == UpperCase(e1);
  std::u16string out(match ? f.substr(0, f.size() - n) : f);
  out += e2;
  return out;
}

}  // namespace tarnex

#include "tarnex/src/path_strings.h"

#include <QString>

namespace tarnex {
namespace {

std::u16string_view TrimSpaces(std::u16string_view s) {
  while (!s.empty() && s.front() == u' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
  return s;
}

QString ToQString(std::u16string_view s) {
  return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}

}  // namespace

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
  // Full case mapping (so "ß" and "SS" meet), not a byte-wise ASCII compare.
  bool match = ToQString(tail).toUpper() == ToQString(e1).toUpper();
  std::u16string out(match ? f.substr(0, f.size() - n) : f);
  out += e2;
  return out;
}

}  // namespace tarnex

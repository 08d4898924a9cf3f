#include "tarnex/src/path_strings.h"

#include <comrt_text.h>
#include <unicode/ustring.h>

#include <new>
#include <stdexcept>

namespace tarnex {
namespace {

using comrt::ascii::TrimSpaces;

// Full Unicode upper-casing with the language-neutral rules ("ß" gives "SS");
// unpaired surrogates stay as they are.
std::u16string Upper(std::u16string_view s) {
  if (s.empty()) return {};
  std::u16string out(s.size(), u'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = u_strToUpper(out.data(), static_cast<int32_t>(out.size()), s.data(),
                                   static_cast<int32_t>(s.size()), "", &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      out.resize(static_cast<std::size_t>(n));  // the exact size it needs
      continue;
    }
    if (status == U_MEMORY_ALLOCATION_ERROR) throw std::bad_alloc();
    if (U_FAILURE(status)) throw std::runtime_error(u_errorName(status));
    out.resize(static_cast<std::size_t>(n));
    return out;
  }
  throw std::runtime_error("upper-casing did not settle");
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
  const bool match = Upper(tail) == Upper(e1);
  std::u16string out(match ? f.substr(0, f.size() - n) : f);
  out += e2;
  return out;
}

}  // namespace tarnex

// SaveValue and LoadValue over the platform's private-profile calls, which
// are the described behaviour here: a file name without a folder is the
// platform's to place (its Windows folder), and the file's format, encoding
// and locking are its own.
#include <comrt_text.h>
#include <windows.h>

#include <algorithm>

#include "ansi_win.h"
#include "tarnex/services/profile.h"

namespace tarnex {
namespace {

// The platform's read buffer: 2,047 characters and the final NUL.
constexpr DWORD kReadBuffer = 2048;

std::string WithoutNul(std::string_view s) {
  std::string out(s);
  std::erase(out, '\0');
  return out;
}

bool IsBlank(const std::string& s) { return comrt::ascii::TrimSpaces(s).empty(); }

std::string ComputeDefaultProfilePath() {
  const std::string library = win::ThisModulePathAnsi();
  const std::size_t sep = library.rfind('\\');
  std::string folder = library.substr(0, sep == std::string::npos ? 0 : sep + 1);
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  std::string name = library.substr(sep == std::string::npos ? 0 : sep + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return folder + name + ".ini";
}

// The profile a call names, in the code page: the default one for a blank name.
std::string ProfileFile(const std::string& file) {
  return IsBlank(file) ? DefaultProfilePath() : win::Ansi(file);
}

}  // namespace

const std::string& DefaultProfilePath() {
  // Once per thread, as the component's apartments expect.
  thread_local const std::string path = ComputeDefaultProfilePath();
  return path;
}

std::int32_t SaveProfileValue(const std::string& section, const std::string& key,
                              const std::string& value, const std::string& file) {
  const std::string cleaned(comrt::ascii::TrimSpaces(WithoutNul(value)));
  const std::string path = ProfileFile(file);
  const std::string sec = win::Ansi(section), k = win::Ansi(key), v = win::Ansi(cleaned);
  BOOL answer;
  if (!key.empty() && !cleaned.empty()) {
    answer = WritePrivateProfileStringA(sec.c_str(), k.c_str(), v.c_str(), path.c_str());
  } else if (key.empty()) {
    answer = WritePrivateProfileStringA(sec.c_str(), nullptr, nullptr, path.c_str());
  } else {
    answer = WritePrivateProfileStringA(sec.c_str(), k.c_str(), nullptr, path.c_str());
  }
  return answer;
}

std::string LoadProfileValue(const std::string& section, const std::string& key,
                             const std::string& default_value, const std::string& file) {
  const std::string path = ProfileFile(file);
  const std::string sec = win::Ansi(section), k = win::Ansi(key), d = win::Ansi(default_value);
  std::string buffer(kReadBuffer, ' ');
  const DWORD n = GetPrivateProfileStringA(sec.c_str(), k.c_str(), d.c_str(), buffer.data(),
                                           kReadBuffer, path.c_str());
  buffer.resize(std::min<DWORD>(n, kReadBuffer));
  return std::string(comrt::ascii::TrimSpaces(WithoutNul(win::Utf8(buffer))));
}

}  // namespace tarnex

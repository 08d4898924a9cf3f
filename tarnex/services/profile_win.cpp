// SaveValue and LoadValue over the platform's private-profile calls, in their
// wide forms, which take the file's name as given. The platform owns the
// file's format, encoding and locking, and places a file name without a
// folder in its Windows folder.
//
// A file that starts with the UTF-16 mark FF FE holds any text. Any other
// file is 8-bit and holds only what the code page has: the platform writes a
// look-alike for the rest, through its wide calls as through its 8-bit ones.
// So text an 8-bit file cannot hold exactly is refused (0, nothing written),
// a name it cannot hold is not looked up in it (the default comes back), and
// a file made for such text starts as UTF-16 (its mark alone), which the
// platform then keeps. Windows honours only that mark; Wine also reads FE FF
// as UTF-16, which is taken as 8-bit here, the stricter reading.
#include <comrt_text.h>
#include <windows.h>

#include <algorithm>
#include <initializer_list>

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

// Each text as the platform sees it: up to its first NUL.
std::wstring Arg(const std::string& s) { return win::Wide(comrt::ascii::UpToNul(s)); }

std::wstring ComputeDefaultProfileFile() {
  const std::wstring library = win::ThisModulePath();
  const std::size_t sep = library.rfind(L'\\');
  const std::size_t start = sep == std::wstring::npos ? 0 : sep + 1;
  std::wstring name = library.substr(start);
  const std::size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.resize(dot);
  return library.substr(0, start) + name + L".ini";
}

const std::wstring& DefaultProfileFile() {
  // Once per thread, as the component's apartments expect.
  thread_local const std::wstring path = ComputeDefaultProfileFile();
  return path;
}

struct Profile {
  std::wstring name;  // for the platform's calls
  std::wstring file;  // where they find it
};

// The profile a call names: the default one for a blank name; a name without
// a folder in the Windows folder, where the platform looks.
Profile ProfileFile(const std::string& file) {
  if (IsBlank(file)) return {DefaultProfileFile(), DefaultProfileFile()};
  std::wstring name = Arg(file);
  if (name.find_first_of(L"\\/") != std::wstring::npos) return {name, name};
  wchar_t folder[MAX_PATH] = {};
  const UINT n = GetWindowsDirectoryW(folder, MAX_PATH);
  std::wstring located = n > 0 && n < MAX_PATH ? std::wstring(folder, n) + L"\\" + name : name;
  return {std::move(name), std::move(located)};
}

enum class FileKind { kMissing, kEightBit, kUnicode };

// What the platform reads the file as. One it cannot open counts as 8-bit:
// the stricter reading, and its own call then fails as it would.
FileKind KindOf(const std::wstring& file) {
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileKind::kMissing
                                                                          : FileKind::kEightBit;
  }
  unsigned char mark[2] = {};
  DWORD read = 0;
  const BOOL ok = ReadFile(handle, mark, sizeof mark, &read, nullptr);
  CloseHandle(handle);
  return ok && read == 2 && mark[0] == 0xFF && mark[1] == 0xFE ? FileKind::kUnicode
                                                               : FileKind::kEightBit;
}

// Makes `file` a UTF-16 profile holding nothing but its mark; false when it
// cannot be made or is there already.
bool CreateUnicodeFile(const std::wstring& file) {
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  static constexpr unsigned char kMark[] = {0xFF, 0xFE};
  DWORD written = 0;
  const bool ok = WriteFile(handle, kMark, sizeof kMark, &written, nullptr) && written == 2;
  CloseHandle(handle);
  if (!ok) DeleteFileW(file.c_str());
  return ok;
}

bool InCodePage(std::initializer_list<const std::wstring*> texts) {
  return std::all_of(texts.begin(), texts.end(),
                     [](const std::wstring* t) { return win::ToCodePage(*t, CP_ACP).has_value(); });
}

bool TooLong(std::initializer_list<const std::wstring*> texts) {
  return std::any_of(texts.begin(), texts.end(),
                     [](const std::wstring* t) { return t->size() > win::kMaxText; });
}

}  // namespace

const std::string& DefaultProfilePath() {
  thread_local const std::string path = win::Utf8(DefaultProfileFile()).value();
  return path;
}

std::int32_t SaveProfileValue(const std::string& section, const std::string& key,
                              const std::string& value, const std::string& file) {
  const std::string cleaned(comrt::ascii::TrimSpaces(WithoutNul(value)));
  const Profile profile = ProfileFile(file);
  const std::wstring sec = Arg(section), k = Arg(key), v = Arg(cleaned);
  if (TooLong({&sec, &k, &v, &profile.name})) return 0;
  const bool entry = !key.empty() && !cleaned.empty();
  const FileKind kind = KindOf(profile.file);
  const bool fits = key.empty() ? InCodePage({&sec}) : InCodePage({&sec, &k, &v});
  bool made = false;
  if (!fits && kind == FileKind::kEightBit) {
    // A name the file cannot hold is not in it: deleting it changes nothing.
    return entry ? 0 : 1;
  }
  if (!fits && kind == FileKind::kMissing && entry) {
    if (!CreateUnicodeFile(profile.file)) return 0;
    made = true;
  }
  BOOL answer;
  if (entry) {
    answer = WritePrivateProfileStringW(sec.c_str(), k.c_str(), v.c_str(), profile.name.c_str());
  } else if (key.empty()) {
    answer = WritePrivateProfileStringW(sec.c_str(), nullptr, nullptr, profile.name.c_str());
  } else {
    answer = WritePrivateProfileStringW(sec.c_str(), k.c_str(), nullptr, profile.name.c_str());
  }
  if (!answer && made) DeleteFileW(profile.file.c_str());
  return answer;
}

std::string LoadProfileValue(const std::string& section, const std::string& key,
                             const std::string& default_value, const std::string& file) {
  const Profile profile = ProfileFile(file);
  const std::wstring sec = Arg(section), k = Arg(key), d = Arg(default_value);
  if (TooLong({&sec, &k, &d, &profile.name})) return {};
  std::wstring buffer(kReadBuffer, L' ');
  DWORD n;
  if (KindOf(profile.file) == FileKind::kEightBit && !InCodePage({&sec, &k})) {
    // Not in the file: the default, cut as the platform cuts it (its trailing
    // spaces go with the trimming below).
    n = static_cast<DWORD>(d.copy(buffer.data(), kReadBuffer - 1));
  } else {
    n = GetPrivateProfileStringW(sec.c_str(), k.c_str(), d.c_str(), buffer.data(), kReadBuffer,
                                 profile.name.c_str());
  }
  buffer.resize(std::min<DWORD>(n, kReadBuffer));
  // A value UTF-8 cannot carry would come back as another one: refused.
  const std::optional<std::string> read = win::Utf8(buffer);
  if (!read) return {};
  return std::string(comrt::ascii::TrimSpaces(WithoutNul(*read)));
}

}  // namespace tarnex

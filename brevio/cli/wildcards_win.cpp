// The C runtime's wildcard expansion, for the operands brevio-trim.exe
// expands itself: FindFirstFileW matches the last part (in any case, and
// through short 8.3 names where the volume keeps them, as dir does).
#include <windows.h>

#include <algorithm>
#include <string>

#include "brevio/cli/wildcards.h"
#include "fileio/wide.h"

namespace brevio::cli {

std::vector<std::string> MatchWildcards(const std::string& pattern) {
  // The folder part ends at the last separator (or drive colon) before the
  // first wildcard; a wildcard in it matches nothing.
  const std::size_t first = pattern.find_first_of("*?");
  const std::size_t end = pattern.find_last_of("/\\:", first);
  const std::string folder = end == std::string::npos ? "" : pattern.substr(0, end + 1);

  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data{};
  const HANDLE find = ::FindFirstFileExW(fileio::Wide(pattern).c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return {};
  do {
    const std::wstring_view name = data.cFileName;
    if (name != L"." && name != L"..") names.emplace_back(name);
  } while (::FindNextFileW(find, &data) != 0);
  ::FindClose(find);

  // NTFS's own order: by letter whatever the case, then by code unit.
  std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
    const int folded = ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                              static_cast<int>(b.size()), TRUE);
    return folded != CSTR_EQUAL ? folded == CSTR_LESS_THAN : a < b;
  });
  std::vector<std::string> paths;
  paths.reserve(names.size());
  for (const std::wstring& name : names) paths.push_back(folder + fileio::Utf8(name));
  return paths;
}

}  // namespace brevio::cli

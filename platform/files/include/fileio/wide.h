#pragma once
// Windows only: UTF-8 file names as the wide calls take them, and the
// system's error codes as the errno values that FileError reports (the
// same words on every system).

#include <string>
#include <string_view>

namespace fileio {

// UTF-16 for the wide calls; '/' becomes '\', which every call accepts. A
// path too long for the calls' old limit (MAX_PATH, less room for a file
// name in a folder being made) becomes its full path after "\\?\"
// ("\\?\UNC\" for \\server\share), which they take however long where
// long paths are not enabled; shorter ones stay as they are.
std::wstring Wide(std::string_view utf8);
// Back to UTF-8, e.g. for names from FindFirstFileW.
std::string Utf8(std::wstring_view wide);

// The errno value closest to a GetLastError code (EIO when none fits).
int ErrnoOf(unsigned long windows_error);
// ErrnoOf(GetLastError()).
int LastErrno();

}  // namespace fileio

// Module2's path-string operations on UTF-16 text. The separator is the
// system's ('/' on Linux, '\\' on Windows, where '/' is an ordinary character),
// the extension mark '.'; "trimmed" removes spaces (code 32) at both ends only.
// Pure text work: nothing touches the file system and nothing fails.
#pragma once

#include <string>
#include <string_view>

namespace tarnex {

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

// The folder, trimmed, joined to the file name with exactly one separator added
// when the folder does not already end in one; a blank folder gives the file
// name unchanged. The file side is never inspected.
std::u16string JoinPathFile2(std::u16string_view path, std::u16string_view file);
// Everything up to and including the last separator; empty when there is none.
std::u16string RipPath(std::u16string_view file);
// Everything after the last separator; the whole text when there is none.
std::u16string RipFile(std::u16string_view file);
// From the last '.' anywhere in the text (not only in the file name) to the end.
std::u16string RipExt(std::u16string_view file);
// With all three trimmed: when the name ends in ext1 (compared after
// upper-casing, see upper_case.h), that ending is replaced by ext2; otherwise ext2 is
// appended. An empty ext1 always matches.
std::u16string SwitchExt(std::u16string_view file, std::u16string_view ext1,
                         std::u16string_view ext2);

}  // namespace tarnex

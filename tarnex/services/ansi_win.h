// The services take and give UTF-8; the platform's 8-bit calls that the
// operations are made of take text in the system's ANSI code page. These
// convert at that boundary (characters the code page lacks become its
// default character, as the platform's own conversion does).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tarnex::win {

std::string Convert(std::string_view text, UINT from, UINT to);

// UTF-8 -> ANSI; the call that takes it sees the text up to its first NUL.
inline std::string Ansi(std::string_view utf8) { return Convert(utf8, CP_UTF8, CP_ACP); }
// ANSI -> UTF-8.
inline std::string Utf8(std::string_view ansi) { return Convert(ansi, CP_ACP, CP_UTF8); }

// The full path of the module (DLL or program) that holds this code.
std::string ThisModulePathAnsi();

}  // namespace tarnex::win

// The services take and give UTF-8; the platform's calls they are made of
// take UTF-16, through their wide forms, which keep every name as given.
// Text goes into the system's 8-bit code page only where a file is in it (an
// 8-bit profile), and only when each character has a form of its own there:
// the platform's conversion would otherwise put a look-alike in its place
// (Ω as O, a fullwidth backslash as a backslash: another name, even another
// folder) or its default character.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarnex::win {

// The longest text, in UTF-16 code units, that Tarnex hands to the platform:
// the system's counted strings hold at most this many. Longer text is
// refused, never cut.
inline constexpr std::size_t kMaxText = 32767;

// UTF-8 -> UTF-16, exact for well-formed UTF-8 (what the component's strings
// become).
std::wstring Wide(std::string_view utf8);

// UTF-16 -> UTF-8; nullopt for a lone surrogate, which UTF-8 cannot carry.
std::optional<std::string> Utf8(std::wstring_view text);

// `text` in `code_page` (CP_ACP: the system's), or nullopt when a character
// has no exact form there.
std::optional<std::string> ToCodePage(std::wstring_view text, UINT code_page);

// The full path of the module (DLL or program) that holds this code.
std::wstring ThisModulePath();

}  // namespace tarnex::win

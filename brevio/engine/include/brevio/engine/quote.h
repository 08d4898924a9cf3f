#pragma once
// File names as brevio-trim and the windows print them, in rows and messages: a
// name a shell would read unchanged stays as it is; any other is quoted so
// that it can be pasted back into a shell, and control characters (newline,
// tab, ESC, the C1 controls U+0080..U+009F ...) and bytes that are not UTF-8
// are written as escapes ($'\n', $'\377'), so one name is always one line
// and sends the terminal nothing but text.

#include <string>
#include <string_view>

namespace brevio {

// "page.htm" -> page.htm, "a b" -> 'a b', "a\nb" -> 'a'$'\n''b',
// "it's" -> "it's", "bad\377" -> 'bad'$'\377', "café" -> café. With `always`, plain names are
// quoted too ('page.htm'), for messages that set names apart from their words.
std::string QuoteName(std::string_view name, bool always = false);

// Whether the name holds anything QuoteName writes as an escape: a control
// character (C1 included) or a byte that starts no UTF-8 character.
bool HasEscapes(std::string_view name);

}  // namespace brevio

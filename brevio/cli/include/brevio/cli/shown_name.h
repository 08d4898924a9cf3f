#pragma once
// Names as brevio-trim prints them, in rows and messages: so that they can
// be pasted back into the system's own shell. This QuoteName stands in for
// the engine's (brevio::QuoteName, the POSIX shell's quoting) throughout
// brevio::cli, whose code calls it unqualified: on Windows it quotes as cmd
// does, elsewhere it is the engine's.

#include <string>
#include <string_view>

namespace brevio::cli {

// cmd's quoting: a name with a space or one of &()[]{}^=;!'+,`~<>| in double
// quotes ("C:\a b\x.htm"), any other as it is (C:\www\x.htm); with
// `always`, every name in quotes, to set it apart from the words around it.
// Control characters, which no Windows name holds, are written as escapes
// (see brevio::QuoteName): one name stays one line.
std::string CmdQuoted(std::string_view name, bool always = false);

std::string QuoteName(std::string_view name, bool always = false);

}  // namespace brevio::cli

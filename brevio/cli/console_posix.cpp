// No console windows here: a terminal takes UTF-8 as it comes.
#include <cerrno>

#include "brevio/cli/console.h"

namespace brevio::cli {

bool IsConsole(int /*fd*/) { return false; }

int WriteConsoleText(int /*fd*/, std::u16string_view /*text*/) { return ENOTSUP; }

}  // namespace brevio::cli

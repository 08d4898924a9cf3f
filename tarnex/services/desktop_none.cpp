// The desktop operations of a build without Qt: the answers of a host
// without a display.
#include "tarnex/services/desktop.h"

namespace tarnex {

std::string ChooseFolder(std::int32_t /*hwnd*/) { return {}; }

bool ShowErrorBox(const std::string& /*text*/, const char* /*object_name*/) { return false; }

void SetTopWindow(std::int32_t /*hwnd*/, std::int16_t /*topmost*/) {}

}  // namespace tarnex

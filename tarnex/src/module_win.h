// Where TARNEX.dll lies, for its registration and for its type library.
#pragma once

#include <string>

namespace tarnex {

// The full path of the loaded server file; empty when it cannot be found.
std::wstring ServerFileWide();

}  // namespace tarnex

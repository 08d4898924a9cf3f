#pragma once
#include <cstdint>

namespace tarnex {

// Keeps the top-level window of this process whose window id is `hwnd`
// above other windows (topmost == -1, the automation "true") or returns it
// to the ordinary band (any other value). Position, size and visibility are
// kept. Without a QApplication, or for an unknown handle, nothing happens.
void SetTopWindow(std::int32_t hwnd, std::int16_t topmost);

}  // namespace tarnex

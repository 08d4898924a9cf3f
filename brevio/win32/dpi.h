// Twips to pixels at a window's own resolution, and the fonts that go with it.
#pragma once

#include <windows.h>

namespace brevio::win32 {

// The window's dots per inch (the monitor's, for a per-monitor-aware program);
// the screen's where the system cannot say per window.
UINT WindowDpi(HWND window);

inline int Px(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), 1440); }

// The outer size of a window whose client area is width x height pixels.
SIZE OuterSize(int width, int height, DWORD style, DWORD ex_style, UINT dpi);

// A font of `points` hundredths of a point at this resolution; the caller
// deletes it.
HFONT MakeFont(const wchar_t* face, int points, bool bold, bool underline, UINT dpi);

// Places the window in the middle of `over` (or of its monitor's work area).
void Centre(HWND window, HWND over);

}  // namespace brevio::win32

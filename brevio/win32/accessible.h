// What a control tells screen readers beyond what the platform makes of it:
// a name of its own (a box's purpose rather than the label before it, a
// button's purpose rather than its caption), a role, and descriptions of
// its items. The control answers WM_GETOBJECT with the platform's own
// object for it, wrapped so that only these answers change.
#pragma once

#include <windows.h>

#include <string>

namespace brevio::win32 {

// Sent to a control to describe one of its items: wparam is the item's
// child id (1 for the first), lparam a std::wstring* to fill. Returns TRUE
// when the control gave a description, else the platform's stands.
inline constexpr UINT kDescribeChild = WM_APP + 40;

// From now until it is destroyed, `control` tells screen readers `name`
// (UTF-8; null: the platform's name) and `role` (ROLE_SYSTEM_*; 0: the
// platform's), and asks itself kDescribeChild for its items' descriptions.
// `text_as_value`: a label named for its purpose still gives what it shows,
// as its value.
void GiveAccessibleAnswers(HWND control, const char* name, LONG role, bool text_as_value = false);

}  // namespace brevio::win32

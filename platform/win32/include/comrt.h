// The component layer on Windows: the platform's own COM and automation, under
// the same include name the Linux runtime uses, plus the few C++ helpers over it
// that the shared sources call and the owners every system shares.
#pragma once

// clang-format off: <windows.h> first, the rest build on it.
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>
#include <windows.h>
// clang-format on

#include <comrt_owners.h>
#include <comrt_utf.h>

// The component runtime for C++ code: its C interface and the helpers over it
// (UTF conversion, owned strings and interface pointers).
#pragma once

#include <comrt_api.h>
#include <comrt_owners.h>
#include <comrt_utf.h>

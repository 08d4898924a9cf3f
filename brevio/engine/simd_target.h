#pragma once
// Building functions for instruction sets the rest of the build does not
// assume; the engine picks among them at run time.

// 64-bit only: the loops count and deposit bits with 64-bit instructions, and
// 32-bit targets (i686) do not promise SSE2.
#if defined(__x86_64__)
#include <immintrin.h>
#define BREVIO_WIDE_X86 1
#endif

// Functions between these two lines are built for the named instruction sets,
// whatever the rest of the build targets.
#define BREVIO_PRAGMA(text) _Pragma(#text)
#if defined(__clang__)
#define BREVIO_TARGET_BEGIN(features) \
  BREVIO_PRAGMA(clang attribute push(__attribute__((target(features))), apply_to = function))
#define BREVIO_TARGET_END BREVIO_PRAGMA(clang attribute pop)
#else
#define BREVIO_TARGET_BEGIN(features) \
  BREVIO_PRAGMA(GCC push_options) BREVIO_PRAGMA(GCC target(features))
#define BREVIO_TARGET_END BREVIO_PRAGMA(GCC pop_options)
#endif

// What leaves the runtime's C entry points is an HRESULT, never an exception.
#pragma once

#include <comrt_api.h>

#include <new>

namespace comrt::detail {

// Runs body (which yields an HRESULT); memory running out becomes
// E_OUTOFMEMORY, any other throw E_UNEXPECTED.
template <class F>
HRESULT NoThrow(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace comrt::detail

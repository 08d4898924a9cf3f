// What leaves a C entry point (the runtime's, a component server's) is an
// HRESULT, never an exception.
#pragma once

#include <comrt.h>

#include <new>
#include <system_error>

namespace comrt {

// Runs body (which yields an HRESULT) and turns what it throws into one:
// memory running out becomes E_OUTOFMEMORY, a refused permission
// E_ACCESSDENIED, anything else `otherwise`.
template <class F>
HRESULT NoThrow(F&& body, HRESULT otherwise = E_UNEXPECTED) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::system_error& e) {
    if (e.code() == std::errc::not_enough_memory) return E_OUTOFMEMORY;
    if (e.code() == std::errc::permission_denied) return E_ACCESSDENIED;
    return otherwise;
  } catch (...) {
    return otherwise;
  }
}

}  // namespace comrt

// The one reference-counting base and QueryInterface shape of Tarnex's objects,
// and the server-wide counts DllCanUnloadNow reads.
#pragma once

#include <comrt.h>

#include <atomic>
#include <initializer_list>
#include <string>

namespace tarnex {

// Objects alive and LockServer locks held, across the whole server.
std::atomic<long>& LiveObjects();
std::atomic<long>& ServerLocks();

// The absolute path of the loaded server file, found from its own code.
std::string ServerFilePath();

// Derived is the final class; Interface the interface it implements (whose
// first base is IUnknown). Counted objects keep the server from unloading.
template <class Derived, class Interface, bool Counted = true>
class ComObject : public Interface {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = --refs_;
    if (n == 0) delete static_cast<Derived*>(this);
    return n;
  }

 protected:
  ComObject() {
    if (Counted) ++LiveObjects();
  }
  ~ComObject() {
    if (Counted) --LiveObjects();
  }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  // Null the out pointer, match the id against each supported one, else
  // E_NOINTERFACE. Every supported id is answered with the one table.
  HRESULT QueryFor(REFIID riid, void** ppv, std::initializer_list<IID> supported) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (const IID& iid : supported) {
      if (riid == iid) {
        *ppv = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
      }
    }
    return E_NOINTERFACE;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace tarnex

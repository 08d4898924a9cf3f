// C++ helpers over the component runtime: UTF-8 <-> UTF-16 conversion, an owning
// automation string and an owning interface pointer.
#pragma once

#include <comrt_api.h>

#include <cstddef>
#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace comrt {

// UTF-16 -> UTF-8. A lone surrogate becomes U+FFFD; embedded NULs are kept.
std::string ToUtf8(const OLECHAR* s, std::size_t len);
// A null BSTR gives the empty string.
std::string ToUtf8(BSTR s);
// UTF-8 -> UTF-16. Malformed bytes become U+FFFD each; embedded NULs are kept.
std::u16string ToUtf16(std::string_view utf8);
// A new BSTR holding the text; nullptr only when memory runs out.
BSTR BstrFromUtf8(std::string_view s);
// A new BSTR (never null unless memory runs out) holding the UTF-16 text.
BSTR BstrFromUtf16(std::u16string_view s);
// The text of a BSTR as a view (empty for null).
std::u16string_view View(BSTR s);

// Identifiers as text: the braced form, hex digits of either case on input,
// upper case on output (38 characters).
bool ParseGuid(std::u16string_view s, GUID& out);
std::string GuidToString(REFGUID g);

// The failure in plain words, e.g. "the class is not registered (0x80040154)".
std::string DescribeHResult(HRESULT hr);
// Why the last CoCreateInstance / CoGetClassObject on this thread failed, with
// the class id and the server file where known; empty after a success.
std::string LastCreateError();

// How far CallServerExport got.
enum class ServerStep { kLoad, kFindEntry, kCall };
struct ServerCall {
  ServerStep step = ServerStep::kLoad;  // the step that failed, or kCall once the export ran
  HRESULT hr = E_FAIL;                  // the export's answer; a failure code when it never ran
  std::string why;                      // why loading failed, in the loader's words
};

// Loads the in-process server file `path` and calls `entry`, one of its
// exports that take nothing (DllRegisterServer, DllUnregisterServer), inside
// an apartment entered for the call. The file stays loaded for the rest of the
// process, as every server file the runtime loads does.
ServerCall CallServerExport(const std::string& path, const char* entry);

// Owns one BSTR and frees it with SysFreeString.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const char16_t* s) : Bstr(s ? std::u16string_view(s) : std::u16string_view()) {}
  explicit Bstr(std::u16string_view s) : b_(BstrFromUtf16(s)) {
    if (!b_) throw std::bad_alloc();
  }
  static Bstr FromUtf8(std::string_view s) {
    Bstr r;
    r.b_ = BstrFromUtf8(s);
    if (!r.b_) throw std::bad_alloc();
    return r;
  }
  // Takes ownership of a BSTR somebody handed over.
  static Bstr Attach(BSTR b) {
    Bstr r;
    r.b_ = b;
    return r;
  }
  Bstr(const Bstr& o) : b_(o.b_ ? BstrFromUtf16(View(o.b_)) : nullptr) {
    if (o.b_ && !b_) throw std::bad_alloc();
  }
  Bstr(Bstr&& o) noexcept : b_(std::exchange(o.b_, nullptr)) {}
  Bstr& operator=(Bstr o) noexcept {
    std::swap(b_, o.b_);
    return *this;
  }
  ~Bstr() { SysFreeString(b_); }

  BSTR get() const { return b_; }
  // Hands the string over; the caller frees it.
  BSTR release() { return std::exchange(b_, nullptr); }
  // For a BSTR* result parameter: frees what is held and lends the slot.
  BSTR* out() {
    reset();
    return &b_;
  }
  void reset(BSTR b = nullptr) { SysFreeString(std::exchange(b_, b)); }
  std::size_t length() const { return SysStringLen(b_); }
  bool empty() const { return length() == 0; }
  std::u16string_view view() const { return View(b_); }
  std::u16string u16() const { return std::u16string(view()); }
  std::string utf8() const { return ToUtf8(b_); }

 private:
  BSTR b_ = nullptr;
};

// Owns one interface reference and releases it.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Adds a reference of its own.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For a T** / void** result parameter: releases what is held and lends the slot.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Takes over a reference without adding one.
  void attach(T* p) {
    reset();
    p_ = p;
  }
  // Hands the reference over; the caller releases it.
  T* detach() { return std::exchange(p_, nullptr); }
  // QueryInterface into another smart pointer.
  template <class U>
  HRESULT As(REFIID iid, ComPtr<U>& out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, out.put_void());
  }

 private:
  T* p_ = nullptr;
};

}  // namespace comrt

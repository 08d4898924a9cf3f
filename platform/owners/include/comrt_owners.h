// The owning automation string and interface pointer, the same on every
// system: over the conversions of that system's <comrt_utf.h> (the Linux
// runtime's, or the platform's on Windows).
#pragma once

#include <comrt_utf.h>

#include <cstddef>
#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace comrt {

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

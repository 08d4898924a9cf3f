// VARIANT handling: clearing, copying and the coercions dispatch needs.
#include <comrt.h>
#include <comrt_boundary.h>
#include <comrt_text.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool IsSpace16(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

using comrt::ascii::EqualsNoCase;

// A number as text: optional sign, digits with an optional fraction and exponent,
// surrounding white space; "True"/"False" are not numbers.
HRESULT ParseNumber(BSTR s, double& out) {
  std::u16string_view v = comrt::View(s);
  while (!v.empty() && IsSpace16(v.front())) v.remove_prefix(1);
  while (!v.empty() && IsSpace16(v.back())) v.remove_suffix(1);
  if (v.empty()) return DISP_E_TYPEMISMATCH;
  std::string ascii;
  for (char16_t c : v) {
    if (!((c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.' || c == u'e' ||
          c == u'E')) {
      return DISP_E_TYPEMISMATCH;
    }
    ascii += static_cast<char>(c);
  }
  char* end = nullptr;
  errno = 0;
  double d = std::strtod(ascii.c_str(), &end);
  if (end != ascii.c_str() + ascii.size()) return DISP_E_TYPEMISMATCH;
  if (errno == ERANGE && std::isinf(d)) return DISP_E_OVERFLOW;
  out = d;
  return S_OK;
}

// The source's value as a double, for the numeric and boolean targets.
HRESULT ToDouble(const VARIANT& src, double& out) {
  switch (src.vt) {
    case VT_EMPTY:
      out = 0;
      return S_OK;
    case VT_I2:
      out = src.iVal;
      return S_OK;
    case VT_I4:
      out = src.lVal;
      return S_OK;
    case VT_INT:
      out = src.intVal;
      return S_OK;
    case VT_UI1:
      out = src.bVal;
      return S_OK;
    case VT_R4:
      out = src.fltVal;
      return S_OK;
    case VT_R8:
      out = src.dblVal;
      return S_OK;
    case VT_BOOL:
      out = src.boolVal;
      return S_OK;
    case VT_BSTR: {
      std::u16string_view v = comrt::View(src.bstrVal);
      while (!v.empty() && IsSpace16(v.front())) v.remove_prefix(1);
      while (!v.empty() && IsSpace16(v.back())) v.remove_suffix(1);
      if (EqualsNoCase(v, u"TRUE")) {
        out = -1;
        return S_OK;
      }
      if (EqualsNoCase(v, u"FALSE")) {
        out = 0;
        return S_OK;
      }
      return ParseNumber(src.bstrVal, out);
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// Round half to even, the way automation rounds when it narrows to an integer.
HRESULT ToInteger(double d, double lo, double hi, double& out) {
  if (std::isnan(d)) return DISP_E_OVERFLOW;
  double r = std::nearbyint(d);  // default rounding mode: to nearest, ties to even
  if (r < lo || r > hi) return DISP_E_OVERFLOW;
  out = r;
  return S_OK;
}

std::u16string FormatDouble(double d) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15G", d);
  std::u16string out;
  for (const char* p = buf; *p; ++p) out += static_cast<char16_t>(*p);
  return out;
}

// Reads through one level of VT_BYREF (and VT_BYREF|VT_VARIANT) into a plain copy
// that shares the source's strings and interfaces; it is never cleared.
HRESULT Deref(const VARIANT& src, VARIANT& plain) {
  plain = src;
  if (!(src.vt & VT_BYREF)) return S_OK;
  if (!src.byref) return E_POINTER;
  VARTYPE base = static_cast<VARTYPE>(src.vt & ~VT_BYREF);
  plain.vt = base;
  switch (base) {
    case VT_I2:
      plain.iVal = *src.piVal;
      break;
    case VT_I4:
      plain.lVal = *src.plVal;
      break;
    case VT_R8:
      plain.dblVal = *src.pdblVal;
      break;
    case VT_BOOL:
      plain.boolVal = *src.pboolVal;
      break;
    case VT_ERROR:
      plain.scode = *src.pscode;
      break;
    case VT_BSTR:
      plain.bstrVal = *src.pbstrVal;
      break;
    case VT_UNKNOWN:
      plain.punkVal = *src.ppunkVal;
      break;
    case VT_DISPATCH:
      plain.pdispVal = *src.ppdispVal;
      break;
    case VT_VARIANT:
      if (src.pvarVal->vt & VT_BYREF) return DISP_E_TYPEMISMATCH;
      plain = *src.pvarVal;
      break;
    default:
      return DISP_E_BADVARTYPE;
  }
  return S_OK;
}

// VT_I2, VT_I4, VT_R8 or VT_BOOL from whatever ToDouble reads.
HRESULT ToNumber(const VARIANT& src, VARTYPE vt, VARIANT& result) {
  double d = 0;
  HRESULT hr = ToDouble(src, d);
  if (FAILED(hr)) return hr;
  switch (vt) {
    case VT_I2:
      hr = ToInteger(d, -32768.0, 32767.0, d);
      if (SUCCEEDED(hr)) result.iVal = static_cast<SHORT>(d);
      return hr;
    case VT_I4:
      hr = ToInteger(d, -2147483648.0, 2147483647.0, d);
      if (SUCCEEDED(hr)) result.lVal = static_cast<LONG>(d);
      return hr;
    case VT_R8:
      result.dblVal = d;
      return S_OK;
    default:
      result.boolVal = d != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
  }
}

// The text of a plain (not by-reference) value.
HRESULT ToText(const VARIANT& src, USHORT flags, std::u16string& text) {
  switch (src.vt) {
    case VT_EMPTY:
      return S_OK;
    case VT_I2:
      text = comrt::ToUtf16(std::to_string(src.iVal));
      return S_OK;
    case VT_I4:
      text = comrt::ToUtf16(std::to_string(src.lVal));
      return S_OK;
    case VT_INT:
      text = comrt::ToUtf16(std::to_string(src.intVal));
      return S_OK;
    case VT_UI1:
      text = comrt::ToUtf16(std::to_string(src.bVal));
      return S_OK;
    case VT_R8:
      text = FormatDouble(src.dblVal);
      return S_OK;
    case VT_R4:
      text = FormatDouble(src.fltVal);
      return S_OK;
    case VT_BOOL:
      if (flags & VARIANT_ALPHABOOL)
        text = src.boolVal ? u"True" : u"False";
      else
        text = src.boolVal ? u"-1" : u"0";
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// `src` as a new value of type `vt` in `result`, which the caller then owns;
// on failure `result` holds nothing to free.
HRESULT Coerce(const VARIANT& src, USHORT flags, VARTYPE vt, VARIANT& result) {
  VariantInit(&result);
  result.vt = vt;
  switch (vt) {
    case VT_EMPTY:
      return src.vt == VT_NULL ? DISP_E_TYPEMISMATCH : S_OK;
    case VT_I2:
    case VT_I4:
    case VT_R8:
    case VT_BOOL:
      return ToNumber(src, vt, result);
    case VT_BSTR: {
      std::u16string text;
      const HRESULT hr = ToText(src, flags, text);
      if (FAILED(hr)) return hr;
      result.bstrVal = comrt::BstrFromUtf16(text);
      return result.bstrVal ? S_OK : E_OUTOFMEMORY;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// Replaces the target's value by `result`, which it takes over.
HRESULT Store(VARIANT& dest, VARIANT& result) {
  const HRESULT hr = VariantClear(&dest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  dest = result;
  return S_OK;
}

}  // namespace

extern "C" {

void VariantInit(VARIANTARG* pvarg) noexcept {
  if (!pvarg) return;
  pvarg->vt = VT_EMPTY;
  pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

HRESULT VariantClear(VARIANTARG* pvarg) noexcept {
  if (!pvarg) return E_INVALIDARG;
  if (!(pvarg->vt & VT_BYREF)) {
    switch (pvarg->vt) {
      case VT_BSTR:
        SysFreeString(pvarg->bstrVal);
        break;
      case VT_UNKNOWN:
      case VT_DISPATCH:
        if (pvarg->punkVal) pvarg->punkVal->Release();
        break;
      default:
        if (pvarg->vt & VT_ARRAY) return DISP_E_BADVARTYPE;
        break;
    }
  }
  pvarg->vt = VT_EMPTY;
  pvarg->llVal = 0;
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) noexcept {
  if (!pvargDest || !pvargSrc) return E_INVALIDARG;
  if (pvargDest == pvargSrc) return S_OK;
  if ((pvargSrc->vt & VT_ARRAY)) return DISP_E_BADVARTYPE;
  VARIANT copy = *pvargSrc;
  if (copy.vt == VT_BSTR && copy.bstrVal) {
    copy.bstrVal = SysAllocStringLen(copy.bstrVal, SysStringLen(copy.bstrVal));
    if (!copy.bstrVal) return E_OUTOFMEMORY;
  } else if ((copy.vt == VT_UNKNOWN || copy.vt == VT_DISPATCH) && copy.punkVal) {
    copy.punkVal->AddRef();
  }
  HRESULT hr = VariantClear(pvargDest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *pvargDest = copy;
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt) noexcept {
  if (!pvargDest || !pvarSrc) return E_INVALIDARG;
  return comrt::NoThrow([&]() -> HRESULT {
    VARIANT src;
    HRESULT hr = Deref(*pvarSrc, src);
    if (FAILED(hr)) return hr;
    // VariantCopy reads the source before it clears the target, so in place is fine.
    if (src.vt == vt) return VariantCopy(pvargDest, &src);
    VARIANT result;
    hr = Coerce(src, wFlags, vt, result);
    if (FAILED(hr)) return hr;
    return Store(*pvargDest, result);
  });
}

}  // extern "C"

// IDispatch for _CTarnex: names to ids, and Invoke with argument coercion,
// the optional strFile and the standard error codes.
#include <comrt_text.h>

#include <array>
#include <new>

#include "ctarnex.h"

namespace tarnex {
namespace {

// Ids run consecutively in table order; the base keeps clear of DISPID_VALUE
// and the reserved negative ids.
constexpr DISPID kFirstDispId = 0x60030000;

struct Param {
  const char16_t* name;
  VARTYPE type;
};

// The coerced arguments, first parameter first; out receives the result.
using Call = HRESULT (*)(CTarnex& t, VARIANT* a, VARIANT& out);

struct Member {
  const char16_t* name;
  std::array<Param, 6> params;
  UINT count;     // parameters
  UINT required;  // the rest are optional with an empty string as default
  Call call;
};

// The value is read after the call has filled it: by reference, since the
// order in which function arguments are evaluated is unspecified.
HRESULT PutString(HRESULT hr, const BSTR& value, VARIANT& out) {
  if (SUCCEEDED(hr)) {
    out.vt = VT_BSTR;
    out.bstrVal = value;
  }
  return hr;
}

HRESULT PutLong(HRESULT hr, const LONG& value, VARIANT& out) {
  if (SUCCEEDED(hr)) {
    out.vt = VT_I4;
    out.lVal = value;
  }
  return hr;
}

// Members that take one string: with a string result, and with none.
template <HRESULT (STDMETHODCALLTYPE CTarnex::*kMethod)(BSTR, BSTR*)>
HRESULT StringToString(CTarnex& t, VARIANT* a, VARIANT& out) {
  BSTR r = nullptr;
  return PutString((t.*kMethod)(a[0].bstrVal, &r), r, out);
}

template <HRESULT (STDMETHODCALLTYPE CTarnex::*kMethod)(BSTR)>
HRESULT StringToNothing(CTarnex& t, VARIANT* a, VARIANT&) {
  return (t.*kMethod)(a[0].bstrVal);
}

const Member kMembers[] = {
    {u"JoinPathFile2",
     {{{u"strPath", VT_BSTR}, {u"strFile", VT_BSTR}}},
     2,
     2,
     [](CTarnex& t, VARIANT* a, VARIANT& out) {
       BSTR r = nullptr;
       return PutString(t.JoinPathFile2(a[0].bstrVal, a[1].bstrVal, &r), r, out);
     }},
    {u"OpenHelp", {{{u"strHelp", VT_BSTR}}}, 1, 1, &StringToNothing<&CTarnex::OpenHelp>},
    {u"OpenWeb", {{{u"strWeb", VT_BSTR}}}, 1, 1, &StringToNothing<&CTarnex::OpenWeb>},
    {u"OpenWebNew", {{{u"strWeb", VT_BSTR}}}, 1, 1, &StringToNothing<&CTarnex::OpenWebNew>},
    {u"MakeDir2", {{{u"strDir", VT_BSTR}}}, 1, 1, &StringToNothing<&CTarnex::MakeDir2>},
    {u"SetTopWnd",
     {{{u"hWnd", VT_I4}, {u"topmost", VT_BOOL}}},
     2,
     2,
     [](CTarnex& t, VARIANT* a, VARIANT&) { return t.SetTopWnd(a[0].lVal, a[1].boolVal); }},
    {u"GetDir",
     {{{u"hWnd", VT_I4}}},
     1,
     1,
     [](CTarnex& t, VARIANT* a, VARIANT& out) {
       BSTR r = nullptr;
       return PutString(t.GetDir(a[0].lVal, &r), r, out);
     }},
    {u"RipPath", {{{u"strFile", VT_BSTR}}}, 1, 1, &StringToString<&CTarnex::RipPath>},
    {u"RipFile", {{{u"strFile", VT_BSTR}}}, 1, 1, &StringToString<&CTarnex::RipFile>},
    {u"RipExt", {{{u"strFile", VT_BSTR}}}, 1, 1, &StringToString<&CTarnex::RipExt>},
    {u"SwitchExt",
     {{{u"strFile", VT_BSTR}, {u"strExt1", VT_BSTR}, {u"strExt2", VT_BSTR}}},
     3,
     3,
     [](CTarnex& t, VARIANT* a, VARIANT& out) {
       BSTR r = nullptr;
       return PutString(t.SwitchExt(a[0].bstrVal, a[1].bstrVal, a[2].bstrVal, &r), r, out);
     }},
    {u"ShellExe",
     {{{u"hWnd", VT_I4},
       {u"lpOperation", VT_BSTR},
       {u"lpFile", VT_BSTR},
       {u"lpParameters", VT_BSTR},
       {u"lpDirectory", VT_BSTR},
       {u"nShowCmd", VT_I4}}},
     6,
     6,
     [](CTarnex& t, VARIANT* a, VARIANT& out) {
       LONG r = 0;
       return PutLong(t.ShellExe(a[0].lVal, a[1].bstrVal, a[2].bstrVal, a[3].bstrVal, a[4].bstrVal,
                                 a[5].lVal, &r),
                      r, out);
     }},
    {u"SaveValue",
     {{{u"strSec", VT_BSTR}, {u"strKey", VT_BSTR}, {u"strValue", VT_BSTR}, {u"strFile", VT_BSTR}}},
     4,
     3,
     [](CTarnex& t, VARIANT* a, VARIANT& out) {
       LONG r = 0;
       return PutLong(t.SaveValue(a[0].bstrVal, a[1].bstrVal, a[2].bstrVal, a[3].bstrVal, &r), r,
                      out);
     }},
    {u"LoadValue",
     {{{u"strSec", VT_BSTR}, {u"strKey", VT_BSTR}, {u"strValue", VT_BSTR}, {u"strFile", VT_BSTR}}},
     4,
     3,
     [](CTarnex& t, VARIANT* a, VARIANT& out) {
       BSTR r = nullptr;
       return PutString(t.LoadValue(a[0].bstrVal, a[1].bstrVal, a[2].bstrVal, a[3].bstrVal, &r), r,
                        out);
     }},
};
constexpr DISPID kMemberCount = static_cast<DISPID>(sizeof kMembers / sizeof kMembers[0]);

// Names are ASCII, so an ASCII case fold is the whole of case-insensitivity here.
bool SameName(const char16_t* a, const char16_t* b) {
  return comrt::ascii::EqualsNoCase(std::u16string_view(a), std::u16string_view(b));
}

bool IsMissing(const VARIANT& v) { return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND; }

// Frees the coerced arguments however Invoke ends.
struct Args {
  VARIANT v[6]{};
  Args() {
    for (VARIANT& x : v) VariantInit(&x);
  }
  ~Args() {
    for (VARIANT& x : v) VariantClear(&x);
  }
};

// The member an Invoke names, once the call's shape is acceptable.
HRESULT FindCall(DISPID id, WORD flags, const DISPPARAMS* params, const Member*& member) {
  const DISPID index = id - kFirstDispId;
  if (index < 0 || index >= kMemberCount) return DISP_E_MEMBERNOTFOUND;
  // Callers that want a value often add PROPERTYGET; a method needs METHOD.
  if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  if (!params) return E_INVALIDARG;
  const DISPPARAMS& dp = *params;
  if (dp.cArgs > 0 && !dp.rgvarg) return E_INVALIDARG;
  if (dp.cNamedArgs > dp.cArgs || (dp.cNamedArgs > 0 && !dp.rgdispidNamedArgs)) {
    return E_INVALIDARG;
  }
  member = &kMembers[index];
  if (dp.cArgs > member->count) return DISP_E_BADPARAMCOUNT;
  return S_OK;
}

// slot[p] is the index in rgvarg of parameter p, or -1 when not passed.
struct Slots {
  int slot[6] = {-1, -1, -1, -1, -1, -1};
};

// Which argument fills which parameter. Positional arguments come last in
// rgvarg, in reverse order; named ones carry their parameter's position.
HRESULT PlaceArguments(const Member& m, const DISPPARAMS& dp, Slots& s, UINT* arg_err) {
  const UINT positional = dp.cArgs - dp.cNamedArgs;
  for (UINT p = 0; p < positional; ++p) s.slot[p] = static_cast<int>(dp.cArgs - 1 - p);
  for (UINT i = 0; i < dp.cNamedArgs; ++i) {
    const DISPID p = dp.rgdispidNamedArgs[i];
    if (p < 0 || static_cast<UINT>(p) >= m.count || s.slot[p] != -1) {
      if (arg_err) *arg_err = i;
      return DISP_E_PARAMNOTFOUND;
    }
    s.slot[p] = static_cast<int>(i);
  }
  return S_OK;
}

// Each parameter's value in its declared type; a missing optional one is the
// empty string.
HRESULT CoerceArguments(const Member& m, const DISPPARAMS& dp, const Slots& s, Args& args,
                        UINT* arg_err) {
  for (UINT p = 0; p < m.count; ++p) {
    const VARIANT* given = s.slot[p] >= 0 ? &dp.rgvarg[s.slot[p]] : nullptr;
    if (!given || IsMissing(*given)) {
      if (p < m.required) {
        if (!given) return DISP_E_BADPARAMCOUNT;
        if (arg_err) *arg_err = static_cast<UINT>(s.slot[p]);
        return DISP_E_PARAMNOTOPTIONAL;
      }
      args.v[p].vt = VT_BSTR;
      args.v[p].bstrVal = SysAllocStringLen(nullptr, 0);
      if (!args.v[p].bstrVal) return E_OUTOFMEMORY;
      continue;
    }
    const HRESULT hr = VariantChangeType(&args.v[p], given, 0, m.params[p].type);
    if (FAILED(hr)) {
      if (hr == E_OUTOFMEMORY) return hr;
      if (arg_err) *arg_err = static_cast<UINT>(s.slot[p]);
      return hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
    }
  }
  return S_OK;
}

// A failing operation reaches dispatch callers as an exception.
HRESULT ReportFailure(HRESULT hr, EXCEPINFO* info) {
  if (info) {
    *info = EXCEPINFO{};
    info->bstrSource = SysAllocString(u"TARNEX.CTarnex");
    try {
      info->bstrDescription = comrt::BstrFromUtf8(comrt::DescribeHResult(hr));
    } catch (...) {
      // No memory for the words: the code alone still tells the story.
    }
    info->scode = hr;
  }
  return DISP_E_EXCEPTION;
}

}  // namespace

HRESULT CTarnex::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_INVALIDARG;
  *pctinfo = 0;  // no type information is offered at run time
  return S_OK;
}

HRESULT CTarnex::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_INVALIDARG;
  *ppTInfo = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT CTarnex::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                               DISPID* rgDispId) {
  if (!(riid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (cNames == 0) return S_OK;
  if (!rgszNames || !rgDispId) return E_INVALIDARG;
  for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
  const Member* member = nullptr;
  for (DISPID id = 0; id < kMemberCount; ++id) {
    if (rgszNames[0] && SameName(rgszNames[0], kMembers[id].name)) {
      member = &kMembers[id];
      rgDispId[0] = kFirstDispId + id;
      break;
    }
  }
  if (!member) return DISP_E_UNKNOWNNAME;
  // Further names are parameters of the member; their ids are their positions.
  HRESULT hr = S_OK;
  for (UINT i = 1; i < cNames; ++i) {
    for (UINT p = 0; p < member->count; ++p) {
      if (rgszNames[i] && SameName(rgszNames[i], member->params[p].name)) {
        rgDispId[i] = static_cast<DISPID>(p);
        break;
      }
    }
    if (rgDispId[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT CTarnex::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                        DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                        UINT* puArgErr) {
  if (!(riid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (pVarResult) VariantInit(pVarResult);
  const Member* m = nullptr;
  HRESULT hr = FindCall(dispIdMember, wFlags, pDispParams, m);
  if (FAILED(hr)) return hr;
  Slots slots;
  hr = PlaceArguments(*m, *pDispParams, slots, puArgErr);
  if (FAILED(hr)) return hr;
  Args args;
  hr = CoerceArguments(*m, *pDispParams, slots, args, puArgErr);
  if (FAILED(hr)) return hr;

  VARIANT result;
  VariantInit(&result);
  hr = m->call(*this, args.v, result);
  if (FAILED(hr)) return ReportFailure(hr, pExcepInfo);
  if (pVarResult) {
    *pVarResult = result;
  } else {
    VariantClear(&result);
  }
  return S_OK;
}

}  // namespace tarnex

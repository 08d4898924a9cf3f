// IDispatch for _CTarnex through its type library, as a real dual interface
// does: the platform matches names, places and coerces arguments, fills in
// the optional strFile's default and reports failures (ITypeInfo::Invoke via
// DispInvoke), so late-bound callers see its own handling and errors.
#include <comrt.h>

#include "ctarnex.h"
#include "module_win.h"

namespace tarnex {
namespace {

// The description of _CTarnex from the type library in this file: the one a
// client asks for (the dispatch view of the dual interface), or with
// `table` the view of its function table, which invoking needs. The
// platform keeps a loaded type library cached, so each call is cheap after
// the first.
HRESULT OwnTypeInfo(ITypeInfo** info, bool table = false) {
  *info = nullptr;
  const std::wstring file = ServerFileWide();
  if (file.empty()) return HRESULT_FROM_WIN32(GetLastError());
  comrt::ComPtr<ITypeLib> library;
  HRESULT hr = LoadTypeLibEx(file.c_str(), REGKIND_NONE, library.put());
  if (FAILED(hr)) return hr;
  comrt::ComPtr<ITypeInfo> dispatch;
  hr = library->GetTypeInfoOfGuid(IID__CTarnex, dispatch.put());
  if (FAILED(hr) || !table) {
    *info = dispatch.detach();
    return hr;
  }
  HREFTYPE functions = 0;
  hr = dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &functions);
  if (FAILED(hr)) return hr;
  return dispatch->GetRefTypeInfo(functions, info);
}

}  // namespace

HRESULT CTarnex::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_INVALIDARG;
  *pctinfo = 1;
  return S_OK;
}

HRESULT CTarnex::GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
  if (!ppTInfo) return E_INVALIDARG;
  *ppTInfo = nullptr;
  if (iTInfo != 0) return DISP_E_BADINDEX;
  return OwnTypeInfo(ppTInfo);
}

HRESULT CTarnex::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                               DISPID* rgDispId) {
  if (!(riid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  comrt::ComPtr<ITypeInfo> info;
  HRESULT hr = OwnTypeInfo(info.put(), true);
  if (FAILED(hr)) return hr;
  return DispGetIDsOfNames(info.get(), rgszNames, cNames, rgDispId);
}

HRESULT CTarnex::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                        DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                        UINT* puArgErr) {
  if (!(riid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  comrt::ComPtr<ITypeInfo> info;
  HRESULT hr = OwnTypeInfo(info.put(), true);
  if (FAILED(hr)) return hr;
  // The table the type information describes is this object's _CTarnex.
  return DispInvoke(static_cast<_CTarnex*>(this), info.get(), dispIdMember, wFlags, pDispParams,
                    pVarResult, pExcepInfo, puArgErr);
}

}  // namespace tarnex

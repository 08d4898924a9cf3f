// CTarnex: the stateless object behind _CTarnex, and its class factory.
#pragma once

#include <tarnex.h>

#include "com_object.h"

namespace tarnex {

class CTarnex final : public ComObject<CTarnex, _CTarnex> {
 public:
  CTarnex() = default;
  ~CTarnex() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;

  // IDispatch (dispatch.cpp)
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                          DISPID* rgDispId) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  // _CTarnex
  HRESULT STDMETHODCALLTYPE JoinPathFile2(BSTR strPath, BSTR strFile, BSTR* result) override;
  HRESULT STDMETHODCALLTYPE OpenHelp(BSTR strHelp) override;
  HRESULT STDMETHODCALLTYPE OpenWeb(BSTR strWeb) override;
  HRESULT STDMETHODCALLTYPE OpenWebNew(BSTR strWeb) override;
  HRESULT STDMETHODCALLTYPE MakeDir2(BSTR strDir) override;
  HRESULT STDMETHODCALLTYPE SetTopWnd(LONG hWnd, VARIANT_BOOL topmost) override;
  HRESULT STDMETHODCALLTYPE GetDir(LONG hWnd, BSTR* result) override;
  HRESULT STDMETHODCALLTYPE RipPath(BSTR strFile, BSTR* result) override;
  HRESULT STDMETHODCALLTYPE RipFile(BSTR strFile, BSTR* result) override;
  HRESULT STDMETHODCALLTYPE RipExt(BSTR strFile, BSTR* result) override;
  HRESULT STDMETHODCALLTYPE SwitchExt(BSTR strFile, BSTR strExt1, BSTR strExt2,
                                      BSTR* result) override;
  HRESULT STDMETHODCALLTYPE ShellExe(LONG hWnd, BSTR lpOperation, BSTR lpFile, BSTR lpParameters,
                                     BSTR lpDirectory, LONG nShowCmd, LONG* result) override;
  HRESULT STDMETHODCALLTYPE SaveValue(BSTR strSec, BSTR strKey, BSTR strValue, BSTR strFile,
                                      LONG* result) override;
  HRESULT STDMETHODCALLTYPE LoadValue(BSTR strSec, BSTR strKey, BSTR strValue, BSTR strFile,
                                      BSTR* result) override;
};

// The factory does not keep the server loaded by itself; LockServer does.
class CTarnexFactory final : public ComObject<CTarnexFactory, IClassFactory, false> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                           void** ppvObject) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;
};

// The work of DllGetClassObject and DllCanUnloadNow, which each system
// exports in its own way. The factory is made with nothrow new and the
// counts are atomics: neither throws.
HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept;
HRESULT CanUnloadNow() noexcept;

}  // namespace tarnex

// The Tarnex utility library's public interface: what a client needs to create a
// CTarnex object by class id and call it through its function table.
#pragma once

#include <comrt.h>

// Type library TARNEX 7.0
inline constexpr GUID LIBID_TARNEX = {
    0x7BEC6F27, 0xE895, 0x4A64, {0x87, 0x19, 0x25, 0x42, 0x73, 0x23, 0xE2, 0x5A}};
inline constexpr WORD TARNEX_VERSION_MAJOR = 7;
inline constexpr WORD TARNEX_VERSION_MINOR = 0;

// coclass CTarnex
inline constexpr CLSID CLSID_CTarnex = {
    0x6B052344, 0x3CBC, 0x46B7, {0xB6, 0xE3, 0xE3, 0x78, 0x92, 0x5A, 0x60, 0xC2}};

// dual interface _CTarnex
inline constexpr IID IID__CTarnex = {
    0xE053F8F2, 0x1511, 0x4E9A, {0xB8, 0xE1, 0xA0, 0x4B, 0xA0, 0x32, 0x8F, 0xEA}};

// The fourteen operations follow IDispatch's four functions in this order; each
// returns an HRESULT and hands its result, where it has one, through the final
// pointer. String arguments are borrowed from the caller; a returned BSTR belongs
// to the caller, who frees it with SysFreeString.
struct _CTarnex : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE JoinPathFile2(BSTR strPath, BSTR strFile, BSTR* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenHelp(BSTR strHelp) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenWeb(BSTR strWeb) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenWebNew(BSTR strWeb) = 0;
  virtual HRESULT STDMETHODCALLTYPE MakeDir2(BSTR strDir) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetTopWnd(LONG hWnd, VARIANT_BOOL topmost) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDir(LONG hWnd, BSTR* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE RipPath(BSTR strFile, BSTR* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE RipFile(BSTR strFile, BSTR* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE RipExt(BSTR strFile, BSTR* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE SwitchExt(BSTR strFile, BSTR strExt1, BSTR strExt2,
                                              BSTR* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE ShellExe(LONG hWnd, BSTR lpOperation, BSTR lpFile,
                                             BSTR lpParameters, BSTR lpDirectory, LONG nShowCmd,
                                             LONG* result) = 0;
  // strFile is optional for dispatch callers (default: empty string).
  virtual HRESULT STDMETHODCALLTYPE SaveValue(BSTR strSec, BSTR strKey, BSTR strValue, BSTR strFile,
                                              LONG* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE LoadValue(BSTR strSec, BSTR strKey, BSTR strValue, BSTR strFile,
                                              BSTR* result) = 0;
};

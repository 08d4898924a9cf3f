// The operations of _CTarnex: BSTR in, the work, BSTR or number out. Nothing
// thrown inside leaves an operation; a throw becomes a failing HRESULT and the
// result then holds nothing (a null string, 0).
#include "tarnex/src/ctarnex.h"

#include <cerrno>
#include <new>
#include <system_error>

#include "tarnex/src/path_strings.h"

#ifdef TARNEX_HAVE_SERVICES
#include "tarnex/services/folders.h"
#include "tarnex/services/launch.h"
#include "tarnex/services/profile.h"
#include "tarnex/services/window_order.h"
#endif

namespace tarnex {
namespace {

template <class F>
HRESULT Guard(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::system_error& e) {
    if (e.code() == std::errc::not_enough_memory) return E_OUTOFMEMORY;
    if (e.code() == std::errc::permission_denied) return E_ACCESSDENIED;
    return E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}

// Runs body, which yields the result text; stores it as a new BSTR.
template <class F>
HRESULT StringResult(BSTR* result, F&& body) noexcept {
  if (!result) return E_POINTER;
  *result = nullptr;
  return Guard([&]() -> HRESULT {
    BSTR b = comrt::BstrFromUtf16(body());
    if (!b) return E_OUTOFMEMORY;
    *result = b;
    return S_OK;
  });
}

template <class F>
HRESULT NumberResult(LONG* result, F&& body) noexcept {
  if (!result) return E_POINTER;
  *result = 0;
  return Guard([&]() -> HRESULT {
    *result = body();
    return S_OK;
  });
}

#ifdef TARNEX_HAVE_SERVICES
std::string U8(BSTR s) { return comrt::ToUtf8(s); }
#endif

}  // namespace

HRESULT CTarnex::QueryInterface(REFIID riid, void** ppv) {
  return QueryFor(riid, ppv, {IID_IUnknown, IID_IDispatch, IID__CTarnex});
}

HRESULT CTarnex::JoinPathFile2(BSTR strPath, BSTR strFile, BSTR* result) {
  return StringResult(result, [&] {
    return tarnex::JoinPathFile2(comrt::View(strPath), comrt::View(strFile));
  });
}

HRESULT CTarnex::RipPath(BSTR strFile, BSTR* result) {
  return StringResult(result, [&] { return tarnex::RipPath(comrt::View(strFile)); });
}

HRESULT CTarnex::RipFile(BSTR strFile, BSTR* result) {
  return StringResult(result, [&] { return tarnex::RipFile(comrt::View(strFile)); });
}

HRESULT CTarnex::RipExt(BSTR strFile, BSTR* result) {
  return StringResult(result, [&] { return tarnex::RipExt(comrt::View(strFile)); });
}

HRESULT CTarnex::SwitchExt(BSTR strFile, BSTR strExt1, BSTR strExt2, BSTR* result) {
  return StringResult(result, [&] {
    return tarnex::SwitchExt(comrt::View(strFile), comrt::View(strExt1), comrt::View(strExt2));
  });
}

#ifdef TARNEX_HAVE_SERVICES

HRESULT CTarnex::OpenHelp(BSTR strHelp) {
  return Guard([&] {
    OpenDocument(U8(strHelp));
    return S_OK;
  });
}

HRESULT CTarnex::OpenWeb(BSTR strWeb) {
  return Guard([&] {
    OpenDocument(U8(strWeb));
    return S_OK;
  });
}

HRESULT CTarnex::OpenWebNew(BSTR strWeb) {
  return Guard([&] {
    OpenBrowserNewWindow(U8(strWeb));
    return S_OK;
  });
}

HRESULT CTarnex::MakeDir2(BSTR strDir) {
  return Guard([&] {
    MakeDirLevels(U8(strDir));
    return S_OK;
  });
}

HRESULT CTarnex::SetTopWnd(LONG hWnd, VARIANT_BOOL topmost) {
  return Guard([&] {
    SetTopWindow(hWnd, topmost);
    return S_OK;
  });
}

HRESULT CTarnex::GetDir(LONG hWnd, BSTR* result) {
  return StringResult(result, [&] { return comrt::ToUtf16(ChooseFolder(hWnd)); });
}

HRESULT CTarnex::ShellExe(LONG hWnd, BSTR lpOperation, BSTR lpFile, BSTR lpParameters,
                          BSTR lpDirectory, LONG nShowCmd, LONG* result) {
  return NumberResult(result, [&] {
    return ShellExecuteUtf8(hWnd, U8(lpOperation), U8(lpFile), U8(lpParameters),
                            U8(lpDirectory), nShowCmd);
  });
}

HRESULT CTarnex::SaveValue(BSTR strSec, BSTR strKey, BSTR strValue, BSTR strFile,
                           LONG* result) {
  return NumberResult(result, [&] {
    return SaveProfileValue(U8(strSec), U8(strKey), U8(strValue), U8(strFile));
  });
}

HRESULT CTarnex::LoadValue(BSTR strSec, BSTR strKey, BSTR strValue, BSTR strFile,
                           BSTR* result) {
  return StringResult(result, [&] {
    return comrt::ToUtf16(LoadProfileValue(U8(strSec), U8(strKey), U8(strValue), U8(strFile)));
  });
}

#else  // built without the services: the operations that need them are absent

HRESULT CTarnex::OpenHelp(BSTR) { return E_NOTIMPL; }
HRESULT CTarnex::OpenWeb(BSTR) { return E_NOTIMPL; }
HRESULT CTarnex::OpenWebNew(BSTR) { return E_NOTIMPL; }
HRESULT CTarnex::MakeDir2(BSTR) { return E_NOTIMPL; }
HRESULT CTarnex::SetTopWnd(LONG, VARIANT_BOOL) { return E_NOTIMPL; }
HRESULT CTarnex::GetDir(LONG, BSTR* result) {
  if (result) *result = nullptr;
  return E_NOTIMPL;
}
HRESULT CTarnex::ShellExe(LONG, BSTR, BSTR, BSTR, BSTR, LONG, LONG* result) {
  if (result) *result = 0;
  return E_NOTIMPL;
}
HRESULT CTarnex::SaveValue(BSTR, BSTR, BSTR, BSTR, LONG* result) {
  if (result) *result = 0;
  return E_NOTIMPL;
}
HRESULT CTarnex::LoadValue(BSTR, BSTR, BSTR, BSTR, BSTR* result) {
  if (result) *result = nullptr;
  return E_NOTIMPL;
}

#endif

// ---------------------------------------------------------------------------

HRESULT CTarnexFactory::QueryInterface(REFIID riid, void** ppv) {
  return QueryFor(riid, ppv, {IID_IUnknown, IID_IClassFactory});
}

HRESULT CTarnexFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
  if (!ppvObject) return E_POINTER;
  *ppvObject = nullptr;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  auto* object = new (std::nothrow) CTarnex();
  if (!object) return E_OUTOFMEMORY;
  HRESULT hr = object->QueryInterface(riid, ppvObject);
  object->Release();  // the creation reference; the query holds its own on success
  return hr;
}

HRESULT CTarnexFactory::LockServer(BOOL fLock) {
  if (fLock) {
    ++ServerLocks();
  } else if (ServerLocks().fetch_sub(1) <= 0) {
    ++ServerLocks();  // more unlocks than locks: stay at zero
    return E_UNEXPECTED;
  }
  return S_OK;
}

}  // namespace tarnex

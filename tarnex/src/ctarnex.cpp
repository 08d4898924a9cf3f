// The operations of _CTarnex: BSTR in, the work, BSTR or number out. Nothing
// thrown inside leaves an operation; a throw becomes a failing HRESULT and the
// result then holds nothing (a null string, 0).
#include "ctarnex.h"

#include <comrt_boundary.h>
#include <comrt_text.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <utility>

#include "tarnex/services/desktop.h"
#include "tarnex/services/folders.h"
#include "tarnex/services/launch.h"
#include "tarnex/services/profile.h"
#include "tarnex/src/path_strings.h"

namespace tarnex {
namespace {

// A throw that is not about memory or permission is a plain failure here.
template <class F>
HRESULT Guard(F&& body) noexcept {
  return comrt::NoThrow(std::forward<F>(body), E_FAIL);
}

// Runs body, which yields nothing; S_OK when it does not throw.
template <class F>
HRESULT NoResult(F&& body) noexcept {
  return Guard([&] {
    body();
    return S_OK;
  });
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

std::string U8(BSTR s) { return comrt::ToUtf8(s); }

// Where there is no box to show, the line goes to the host's error stream.
void ReportError(const std::string& text, const char* box_name) {
  if (ShowErrorBox(text, box_name)) return;
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

}  // namespace

HRESULT CTarnex::QueryInterface(REFIID riid, void** ppv) {
  return QueryFor(riid, ppv, {IID_IUnknown, IID_IDispatch, IID__CTarnex});
}

HRESULT CTarnex::JoinPathFile2(BSTR strPath, BSTR strFile, BSTR* result) {
  return StringResult(
      result, [&] { return tarnex::JoinPathFile2(comrt::View(strPath), comrt::View(strFile)); });
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

HRESULT CTarnex::OpenHelp(BSTR strHelp) {
  return NoResult([&] { OpenDocument(U8(strHelp)); });
}

HRESULT CTarnex::OpenWeb(BSTR strWeb) {
  return NoResult([&] { OpenDocument(U8(strWeb)); });
}

HRESULT CTarnex::OpenWebNew(BSTR strWeb) {
  return NoResult([&] { OpenBrowserNewWindow(U8(strWeb)); });
}

HRESULT CTarnex::MakeDir2(BSTR strDir) {
  return NoResult([&] {
    // The file system and the box see the text up to its first NUL.
    const std::string dir(comrt::ascii::UpToNul(U8(strDir)));
    if (!MakeDirLevels(dir)) ReportError("Create directory error: " + dir, kMakeDirErrorBoxName);
  });
}

HRESULT CTarnex::SetTopWnd(LONG hWnd, VARIANT_BOOL topmost) {
  return NoResult([&] { SetTopWindow(hWnd, topmost); });
}

HRESULT CTarnex::GetDir(LONG hWnd, BSTR* result) {
  return StringResult(result, [&] { return comrt::ToUtf16(ChooseFolder(hWnd)); });
}

HRESULT CTarnex::ShellExe(LONG hWnd, BSTR lpOperation, BSTR lpFile, BSTR lpParameters,
                          BSTR lpDirectory, LONG nShowCmd, LONG* result) {
  return NumberResult(result, [&] {
    return ShellExecuteUtf8(hWnd, U8(lpOperation), U8(lpFile), U8(lpParameters), U8(lpDirectory),
                            nShowCmd);
  });
}

HRESULT CTarnex::SaveValue(BSTR strSec, BSTR strKey, BSTR strValue, BSTR strFile, LONG* result) {
  return NumberResult(
      result, [&] { return SaveProfileValue(U8(strSec), U8(strKey), U8(strValue), U8(strFile)); });
}

HRESULT CTarnex::LoadValue(BSTR strSec, BSTR strKey, BSTR strValue, BSTR strFile, BSTR* result) {
  return StringResult(result, [&] {
    return comrt::ToUtf16(LoadProfileValue(U8(strSec), U8(strKey), U8(strValue), U8(strFile)));
  });
}

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

std::atomic<long>& LiveObjects() {
  static std::atomic<long> count{0};
  return count;
}

std::atomic<long>& ServerLocks() {
  static std::atomic<long> count{0};
  return count;
}

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!(rclsid == CLSID_CTarnex)) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) CTarnexFactory();
  if (!factory) return E_OUTOFMEMORY;
  HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

HRESULT CanUnloadNow() noexcept {
  return LiveObjects() == 0 && ServerLocks() == 0 ? S_OK : S_FALSE;
}

}  // namespace tarnex

// The four exports of TARNEX.dll and what it writes into the registry: the
// type library through the platform (RegisterTypeLib also writes the
// interface's keys), the class and its programmatic name by hand.
#include <comrt.h>

#include <new>
#include <string>

#include "ctarnex.h"
#include "module_win.h"

namespace tarnex {
namespace {

constexpr const wchar_t* kProgId = L"TARNEX.CTarnex";
constexpr const wchar_t* kClassName = L"CTarnex";

std::wstring GuidText(REFGUID g) {
  wchar_t text[40] = {};
  StringFromGUID2(g, text, 40);
  return text;
}

std::wstring ClassKey() { return L"CLSID\\" + GuidText(CLSID_CTarnex); }

std::wstring VersionText() {
  // As the type library's own keys write it: hex digits.
  wchar_t text[16] = {};
  swprintf(text, 16, L"%x.%x", TARNEX_VERSION_MAJOR, TARNEX_VERSION_MINOR);
  return text;
}

// Sets value `name` ("" for the default) of key `path` under HKCR, making the key.
bool SetValue(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  const LONG status = RegSetValueExW(key, *name ? name : nullptr, 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(value.c_str()), bytes);
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool WriteClass(const std::wstring& file) {
  const std::wstring cls = ClassKey();
  return SetValue(cls, L"", kProgId) && SetValue(cls + L"\\InprocServer32", L"", file) &&
         SetValue(cls + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
         SetValue(cls + L"\\ProgID", L"", kProgId) &&
         SetValue(cls + L"\\VersionIndependentProgID", L"", kProgId) &&
         SetValue(cls + L"\\TypeLib", L"", GuidText(LIBID_TARNEX)) &&
         SetValue(cls + L"\\Version", L"", VersionText()) &&
         SetValue(cls + L"\\Programmable", L"", L"") && SetValue(kProgId, L"", kClassName) &&
         SetValue(std::wstring(kProgId) + L"\\CLSID", L"", GuidText(CLSID_CTarnex));
}

// The key, its values and its subkeys; a key that is not there counts as removed.
bool RemoveTree(const std::wstring& path) {
  const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace

std::wstring ServerFileWide() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ServerFileWide), &module)) {
    return {};
  }
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::string ServerFilePath() {
  const std::wstring file = ServerFileWide();
  return comrt::ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(file.data()), file.size()));
}

}  // namespace tarnex

// The platform's headers declare these four; nothing thrown may cross them.

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return tarnex::GetClassObject(rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow() { return tarnex::CanUnloadNow(); }

STDAPI DllRegisterServer() {
  try {
    const std::wstring file = tarnex::ServerFileWide();
    if (file.empty()) return SELFREG_E_CLASS;
    // Registering while loading writes the type library's and the interface's keys.
    ITypeLib* library = nullptr;
    if (FAILED(LoadTypeLibEx(file.c_str(), REGKIND_REGISTER, &library))) return SELFREG_E_TYPELIB;
    library->Release();
    return tarnex::WriteClass(file) ? S_OK : SELFREG_E_CLASS;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

STDAPI DllUnregisterServer() {
  try {
    // The class and its name go whatever the type library's keys say.
    const bool class_gone =
        tarnex::RemoveTree(tarnex::ClassKey()) && tarnex::RemoveTree(tarnex::kProgId);
    HRESULT typelib = S_OK;
    const std::wstring file = tarnex::ServerFileWide();
    ITypeLib* library = nullptr;
    if (!file.empty() && SUCCEEDED(LoadTypeLibEx(file.c_str(), REGKIND_NONE, &library))) {
      TLIBATTR* attr = nullptr;
      if (SUCCEEDED(library->GetLibAttr(&attr))) {
        typelib = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                                    attr->syskind);
        // Not registered is what unregistering wants.
        if (typelib == TYPE_E_REGISTRYACCESS) typelib = S_OK;
        library->ReleaseTLibAttr(attr);
      }
      library->Release();
    } else {
      typelib = SELFREG_E_TYPELIB;
    }
    if (FAILED(typelib)) return SELFREG_E_TYPELIB;
    return class_gone ? S_OK : SELFREG_E_CLASS;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

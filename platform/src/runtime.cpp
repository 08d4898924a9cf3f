// Apartments, class lookup in the registry, loading in-process servers.
#include <comrt.h>
#include <comrt_boundary.h>
#include <comrt_registry.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <string>

namespace {

thread_local int t_init_count = 0;
thread_local std::string t_last_error;

struct Server {
  LPFNGETCLASSOBJECT get_class_object = nullptr;
};

// Nothing this runtime loads is ever unloaded, servers or not (the window and
// regsvr load through CallServerExport, which keeps the same rule): a file
// that links large libraries (Qt) cannot be unloaded safely, and a reload
// would lose its state anyway.
std::mutex g_servers_mutex;
std::map<std::string, Server>& Servers() {
  static auto* servers = new std::map<std::string, Server>();
  return *servers;
}

HRESULT Fail(HRESULT hr, std::string why) {
  t_last_error = std::move(why);
  return hr;
}

// dlopen, with the loader's reason on failure.
void* Load(const std::string& path, std::string& why) {
  dlerror();
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* text = dlerror();
    why = text ? text : "unknown reason";
  }
  return handle;
}

HRESULT LoadServer(const std::string& path, const std::string& clsid_text, Server& out) {
  std::lock_guard lock(g_servers_mutex);
  auto it = Servers().find(path);
  if (it != Servers().end()) {
    out = it->second;
    return S_OK;
  }
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    return Fail(
        HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND),
        "the server file " + path + " registered for class " + clsid_text + " does not exist");
  }
  std::string why;
  void* handle = Load(path, why);
  if (!handle) {
    return Fail(HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT),
                "the server file " + path + " cannot be loaded: " + why);
  }
  Server s;
  s.get_class_object = reinterpret_cast<LPFNGETCLASSOBJECT>(::dlsym(handle, "DllGetClassObject"));
  if (!s.get_class_object) {
    return Fail(CO_E_ERRORINDLL,
                "the server file " + path + " has no DllGetClassObject entry point");
  }
  Servers().emplace(path, s);
  out = s;
  return S_OK;
}

// CoGetClassObject and CoCreateInstance, which catch what these throw; ppv
// is valid and null on entry.
HRESULT GetClassObject(REFCLSID rclsid, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
  t_last_error.clear();
  if (t_init_count == 0) {
    return Fail(CO_E_NOTINITIALIZED, "CoInitialize has not been called on this thread");
  }
  std::string clsid_text = comrt::GuidToString(rclsid);
  if (!(dwClsContext & CLSCTX_INPROC_SERVER)) {
    return Fail(REGDB_E_CLASSNOTREG, "only in-process servers are supported");
  }
  std::string path;
  try {
    comrt::Registry reg = comrt::ReadRegistry();
    auto value = reg.GetValue("CLSID\\" + clsid_text + "\\InprocServer32");
    if (!value || value->empty()) {
      return Fail(REGDB_E_CLASSNOTREG, "class " + clsid_text + " is not registered");
    }
    path = *value;
  } catch (const std::bad_alloc&) {
    return Fail(E_OUTOFMEMORY, "out of memory");
  } catch (const std::exception& e) {
    return Fail(REGDB_E_READREGDB, std::string("the registry cannot be read: ") + e.what());
  }
  Server server;
  HRESULT hr = LoadServer(path, clsid_text, server);
  if (FAILED(hr)) return hr;
  hr = server.get_class_object(rclsid, riid, ppv);
  if (FAILED(hr)) {
    *ppv = nullptr;
    return Fail(hr, "the server file " + path + " refused class " + clsid_text + ": " +
                        comrt::DescribeHResult(hr));
  }
  return hr;
}

HRESULT CreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                       LPVOID* ppv) {
  IClassFactory* factory = nullptr;
  HRESULT hr =
      GetClassObject(rclsid, dwClsContext, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  if (FAILED(hr)) {
    *ppv = nullptr;
    return Fail(hr, "creating an object of class " + comrt::GuidToString(rclsid) +
                        " failed: " + comrt::DescribeHResult(hr));
  }
  return hr;
}

}  // namespace

extern "C" {

HRESULT CoInitializeEx(LPVOID, DWORD) noexcept {
  // One apartment per thread; repeated calls count, as on Windows.
  return t_init_count++ == 0 ? S_OK : S_FALSE;
}

HRESULT CoInitialize(LPVOID pvReserved) noexcept {
  return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() noexcept {
  if (t_init_count > 0) --t_init_count;
}

void CoFreeUnusedLibraries() noexcept {
  // Servers are kept loaded for the life of the process (see g_servers_mutex).
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid,
                         LPVOID* ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  return comrt::NoThrow([&] { return GetClassObject(rclsid, dwClsContext, riid, ppv); });
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  return comrt::NoThrow([&] { return CreateInstance(rclsid, pUnkOuter, dwClsContext, riid, ppv); });
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) noexcept {
  if (!lpszProgID || !lpclsid) return E_INVALIDARG;
  *lpclsid = CLSID_NULL;
  try {
    std::string progid = comrt::ToUtf8(lpszProgID, std::u16string_view(lpszProgID).size());
    auto value = comrt::ReadRegistry().GetValue(progid + "\\CLSID");
    if (!value || !comrt::ParseGuid(comrt::ToUtf16(*value), *lpclsid)) return CO_E_CLASSSTRING;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception&) {
    return REGDB_E_READREGDB;
  }
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) noexcept {
  if (!pclsid) return E_INVALIDARG;
  if (!lpsz) {
    *pclsid = CLSID_NULL;
    return S_OK;
  }
  if (lpsz[0] == u'{') {
    if (comrt::ParseGuid(lpsz, *pclsid)) return S_OK;
    *pclsid = CLSID_NULL;
    return CO_E_CLASSSTRING;
  }
  return CLSIDFromProgID(lpsz, pclsid);
}

}  // extern "C"

namespace comrt {

std::string LastCreateError() { return t_last_error; }

ServerCall CallServerExport(const std::string& path, const char* entry) {
  ServerCall call;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    call.hr = HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    call.why = "the file does not exist";
    return call;
  }
  void* handle = Load(path, call.why);
  if (!handle) {
    call.hr = HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT);
    return call;
  }
  auto fn = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(::dlsym(handle, entry));
  if (!fn) {
    call.step = ServerStep::kFindEntry;
    call.hr = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    return call;
  }
  call.step = ServerStep::kCall;
  CoInitialize(nullptr);
  call.hr = fn();
  CoUninitialize();
  return call;
}

std::string DescribeHResult(HRESULT hr) {
  const char* text = nullptr;
  switch (hr) {
    case S_OK:
      text = "success";
      break;
    case S_FALSE:
      text = "success (false)";
      break;
    case E_NOTIMPL:
      text = "the operation is not implemented";
      break;
    case E_NOINTERFACE:
      text = "the object does not support the interface";
      break;
    case E_POINTER:
      text = "a required pointer is null";
      break;
    case E_ABORT:
      text = "the operation was aborted";
      break;
    case E_FAIL:
      text = "unspecified failure";
      break;
    case E_UNEXPECTED:
      text = "unexpected failure";
      break;
    case E_ACCESSDENIED:
      text = "access denied";
      break;
    case E_OUTOFMEMORY:
      text = "out of memory";
      break;
    case E_INVALIDARG:
      text = "an argument is invalid";
      break;
    case CLASS_E_NOAGGREGATION:
      text = "the class cannot be aggregated";
      break;
    case CLASS_E_CLASSNOTAVAILABLE:
      text = "the server does not offer the class";
      break;
    case REGDB_E_READREGDB:
      text = "the registry cannot be read";
      break;
    case REGDB_E_WRITEREGDB:
      text = "the registry cannot be written";
      break;
    case REGDB_E_CLASSNOTREG:
      text = "the class is not registered";
      break;
    case CO_E_NOTINITIALIZED:
      text = "CoInitialize has not been called";
      break;
    case CO_E_CLASSSTRING:
      text = "invalid class string";
      break;
    case CO_E_DLLNOTFOUND:
      text = "the server file was not found";
      break;
    case CO_E_ERRORINDLL:
      text = "the server file lacks a required entry point";
      break;
    case SELFREG_E_TYPELIB:
      text = "the type library could not be registered";
      break;
    case SELFREG_E_CLASS:
      text = "the class could not be registered";
      break;
    case DISP_E_MEMBERNOTFOUND:
      text = "member not found";
      break;
    case DISP_E_PARAMNOTFOUND:
      text = "parameter not found";
      break;
    case DISP_E_TYPEMISMATCH:
      text = "type mismatch";
      break;
    case DISP_E_UNKNOWNNAME:
      text = "unknown name";
      break;
    case DISP_E_NONAMEDARGS:
      text = "named arguments are not supported";
      break;
    case DISP_E_BADVARTYPE:
      text = "bad variant type";
      break;
    case DISP_E_EXCEPTION:
      text = "exception occurred";
      break;
    case DISP_E_OVERFLOW:
      text = "overflow";
      break;
    case DISP_E_BADPARAMCOUNT:
      text = "wrong number of arguments";
      break;
    case DISP_E_PARAMNOTOPTIONAL:
      text = "a required argument is missing";
      break;
    default:
      break;
  }
  if (!text) {
    if (hr == HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND))
      text = "the server file was not found";
    else if (hr == HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT))
      text = "the server file cannot be loaded";
    else if (hr == HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND))
      text = "an entry point is missing";
    else
      text = SUCCEEDED(hr) ? "success" : "failure";
  }
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  return std::string(text) + " (" + code + ")";
}

}  // namespace comrt

// The four exports of the server and what it writes into the registry.
#include <comrt_registry.h>
#include <dlfcn.h>

#include <filesystem>
#include <new>

#include "ctarnex.h"

#define TARNEX_EXPORT extern "C" __attribute__((visibility("default")))

namespace tarnex {
namespace {

constexpr const char* kProgId = "TARNEX.CTarnex";
constexpr const char* kClassName = "CTarnex";
constexpr const char* kInterfaceName = "_CTarnex";
constexpr const char* kLibraryName = "TARNEX";
// The type-library marshaller, for dual interfaces.
constexpr const char* kProxyStub = "{00020424-0000-0000-C000-000000000046}";

std::string LibVersion() {
  // Type library versions are written in hex.
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x.%x", TARNEX_VERSION_MAJOR, TARNEX_VERSION_MINOR);
  return buf;
}

std::string ClassKey() { return "CLSID\\" + comrt::GuidToString(CLSID_CTarnex); }
std::string TypeLibKey() { return "TypeLib\\" + comrt::GuidToString(LIBID_TARNEX); }
std::string InterfaceKey() { return "Interface\\" + comrt::GuidToString(IID__CTarnex); }

void WriteRegistration(comrt::Registry& reg, const std::string& file) {
  const std::string libid = comrt::GuidToString(LIBID_TARNEX);
  const std::string clsid = comrt::GuidToString(CLSID_CTarnex);
  const std::string version = LibVersion();
  std::string folder = std::filesystem::path(file).parent_path().string();

  // The type library: the library file carries the interface description.
  const std::string tlb = TypeLibKey() + "\\" + version;
  reg.SetValue(tlb, "", kLibraryName);
  reg.SetValue(tlb + "\\0\\win32", "", file);
  reg.SetValue(tlb + "\\FLAGS", "", "0");
  reg.SetValue(tlb + "\\HELPDIR", "", folder);

  // The interface, described by that type library.
  const std::string itf = InterfaceKey();
  reg.SetValue(itf, "", kInterfaceName);
  reg.SetValue(itf + "\\ProxyStubClsid", "", kProxyStub);
  reg.SetValue(itf + "\\ProxyStubClsid32", "", kProxyStub);
  reg.SetValue(itf + "\\TypeLib", "", libid);
  reg.SetValue(itf + "\\TypeLib", "Version", version);

  // The class.
  const std::string cls = ClassKey();
  reg.SetValue(cls, "", kProgId);
  reg.SetValue(cls + "\\InprocServer32", "", file);
  reg.SetValue(cls + "\\InprocServer32", "ThreadingModel", "Apartment");
  reg.SetValue(cls + "\\ProgID", "", kProgId);
  reg.SetValue(cls + "\\VersionIndependentProgID", "", kProgId);
  reg.SetValue(cls + "\\TypeLib", "", libid);
  reg.SetValue(cls + "\\Version", "", version);
  reg.CreateKey(cls + "\\Programmable");

  // The programmatic name.
  reg.SetValue(kProgId, "", kClassName);
  reg.SetValue(std::string(kProgId) + "\\CLSID", "", clsid);
}

void RemoveRegistration(comrt::Registry& reg) {
  reg.DeleteTree(ClassKey());
  reg.DeleteTree(kProgId);
  reg.DeleteTree(InterfaceKey());
  reg.DeleteTree(TypeLibKey() + "\\" + LibVersion());
}

}  // namespace

std::string ServerFilePath() {
  Dl_info info{};
  if (!::dladdr(reinterpret_cast<void*>(&ServerFilePath), &info) || !info.dli_fname ||
      !*info.dli_fname) {
    return {};
  }
  std::error_code ec;
  std::filesystem::path path = std::filesystem::absolute(info.dli_fname, ec);
  return ec ? std::string(info.dli_fname) : path.lexically_normal().string();
}

}  // namespace tarnex

// Nothing thrown may cross these. The first two cannot throw (the factory is
// made with nothrow new, the counts are atomics), and noexcept says so to the
// compiler and the analysers; the other two catch everything.

TARNEX_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) noexcept {
  return tarnex::GetClassObject(rclsid, riid, ppv);
}

TARNEX_EXPORT HRESULT DllCanUnloadNow() noexcept { return tarnex::CanUnloadNow(); }

TARNEX_EXPORT HRESULT DllRegisterServer() noexcept {
  try {
    std::string file = tarnex::ServerFilePath();
    if (file.empty()) return SELFREG_E_CLASS;
    comrt::UpdateRegistry([&](comrt::Registry& reg) { tarnex::WriteRegistration(reg, file); });
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

TARNEX_EXPORT HRESULT DllUnregisterServer() noexcept {
  try {
    comrt::UpdateRegistry([](comrt::Registry& reg) { tarnex::RemoveRegistration(reg); });
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

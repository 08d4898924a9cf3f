// IDispatch::Invoke of the real server with arbitrary argument arrays,
// counts, named arguments and flags: it answers with an HRESULT and never
// crashes, and it never frees or changes what the caller owns.
//
// Members that start programs, create folders or write files are left out:
// a fuzzer must not act on the machine it runs on.
#include <dlfcn.h>
#include <tarnex.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);

IDispatch* Server() {
  static IDispatch* dispatch = [] {
    void* module = dlopen(TARNEX_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      std::fprintf(stderr, "cannot load %s: %s\n", TARNEX_MODULE_PATH, dlerror());
      std::abort();
    }
    auto get = reinterpret_cast<GetClassObjectFn>(dlsym(module, "DllGetClassObject"));
    IClassFactory* factory = nullptr;
    IDispatch* object = nullptr;
    if (get == nullptr ||
        FAILED(get(CLSID_CTarnex, IID_IClassFactory, reinterpret_cast<void**>(&factory))) ||
        FAILED(
            factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)))) {
      std::fprintf(stderr, "cannot create the object\n");
      std::abort();
    }
    factory->Release();
    return object;
  }();
  return dispatch;
}

DISPID IdOf(const char16_t* name) {
  DISPID id = DISPID_UNKNOWN;
  auto* names = const_cast<LPOLESTR>(reinterpret_cast<const OLECHAR*>(name));
  Server()->GetIDsOfNames(IID_NULL, &names, 1, 0, &id);
  return id;
}

struct Reader {
  const std::uint8_t* data;
  std::size_t size;
  std::uint8_t byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  std::uint16_t word() { return static_cast<std::uint16_t>(byte() | (byte() << 8)); }
};

constexpr std::array<VARTYPE, 12> kTypes = {
    VT_EMPTY,   VT_NULL,          VT_I2, VT_I4, VT_R8, VT_BSTR, VT_BOOL, VT_ERROR, VT_DISPATCH,
    VT_UNKNOWN, VT_BYREF | VT_I4, 0x7F};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::vector<DISPID> unsafe = {IdOf(u"OpenHelp"),   IdOf(u"OpenWeb"),
                                             IdOf(u"OpenWebNew"), IdOf(u"MakeDir2"),
                                             IdOf(u"ShellExe"),   IdOf(u"SaveValue")};
  static const DISPID first = IdOf(u"JoinPathFile2");
  Reader in{data, size};

  // Mostly valid members, sometimes anything.
  const std::uint8_t pick = in.byte();
  DISPID member = pick < 224 ? first + pick % 16 : static_cast<DISPID>(in.word() << 16 | in.word());
  for (const DISPID bad : unsafe) {
    if (member == bad) member = first;
  }

  const WORD flags = in.byte() & 1 ? DISPATCH_METHOD : in.word();
  const UINT count = in.byte() % 9;
  std::vector<VARIANT> args(count);
  std::vector<LONG> byref(count);
  std::vector<BSTR> owned;
  for (UINT i = 0; i < count; ++i) {
    VariantInit(&args[i]);
    const VARTYPE vt = kTypes[in.byte() % kTypes.size()];
    args[i].vt = vt;
    switch (vt) {
      case VT_I2:
        args[i].iVal = static_cast<SHORT>(in.word());
        break;
      case VT_I4:
        args[i].lVal = static_cast<LONG>(in.word() << 16 | in.word());
        break;
      case VT_R8:
        args[i].dblVal = static_cast<double>(static_cast<std::int16_t>(in.word())) / 7;
        break;
      case VT_BOOL:
        args[i].boolVal = in.byte() & 1 ? VARIANT_TRUE : static_cast<VARIANT_BOOL>(in.byte());
        break;
      case VT_ERROR:
        args[i].scode = in.byte() & 1 ? DISP_E_PARAMNOTFOUND : static_cast<LONG>(in.word());
        break;
      case VT_BYREF | VT_I4:
        byref[i] = in.word();
        args[i].plVal = &byref[i];
        break;
      case VT_BSTR: {
        std::u16string text(in.byte() % 24, u' ');
        for (auto& c : text) c = static_cast<char16_t>(in.byte() & 1 ? in.word() : in.byte());
        args[i].bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                            static_cast<UINT>(text.size()));
        owned.push_back(args[i].bstrVal);
        break;
      }
      default:
        break;  // null interface pointers, empty, null, an unknown type
    }
  }

  const UINT named = count == 0 ? 0 : in.byte() % (count + 1);
  std::vector<DISPID> names(named);
  for (auto& n : names) n = in.byte() & 1 ? DISPID_PROPERTYPUT : static_cast<DISPID>(in.byte() % 6);
  DISPPARAMS params{count ? args.data() : nullptr, named ? names.data() : nullptr, count, named};

  VARIANT result;
  VariantInit(&result);
  EXCEPINFO info{};
  UINT arg_error = 0;
  const std::uint8_t outs = in.byte();
  Server()->Invoke(member, IID_NULL, 0, flags, &params, outs & 1 ? &result : nullptr,
                   outs & 2 ? &info : nullptr, outs & 4 ? &arg_error : nullptr);
  VariantClear(&result);
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);

  // The caller's strings must still be intact: the callee only borrowed them.
  for (BSTR s : owned) {
    (void)SysStringLen(s);
    SysFreeString(s);
  }
  return 0;
}

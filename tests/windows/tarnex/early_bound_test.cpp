// An early-bound client of TARNEX.dll: built against the header widl makes
// from the type library, it loads the server file, takes the class factory
// from its export and calls _CTarnex through the function table.
#include <windows.h>
// After <windows.h>: the identifiers are defined here, not only declared.
#include <gtest/gtest.h>
#include <initguid.h>
#include <tarnex_idl.h>

#include <string>
#include <vector>

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

// TARNEX.dll lies beside the test program.
HMODULE Server() {
  static HMODULE module = [] {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    path.resize(path.rfind(L'\\') + 1);
    return LoadLibraryW((path + L"TARNEX.dll").c_str());
  }();
  return module;
}

template <class Fn>
Fn Export(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(Server(), name)));
}

class EarlyBound : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    auto get_class_object = Export<GetClassObjectFn>("DllGetClassObject");
    ASSERT_NE(get_class_object, nullptr);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(
        get_class_object(CLSID_CTarnex, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
        S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID__CTarnex, reinterpret_cast<void**>(&t_)), S_OK);
    factory->Release();
  }
  void TearDown() override {
    if (t_) t_->Release();
    CoUninitialize();
  }

  _CTarnex* t_ = nullptr;
};

enum class Op { Join, RipPath, RipFile, RipExt, Switch };

struct PathCase {
  const char* name;
  Op op;
  std::vector<std::wstring> args;
  std::wstring expected;
};

class PathStrings : public EarlyBound, public ::testing::WithParamInterface<PathCase> {};

TEST_P(PathStrings, GiveTheDocumentedResult) {
  const PathCase& c = GetParam();
  std::vector<BSTR> a;
  for (const std::wstring& s : c.args) a.push_back(SysAllocStringLen(s.data(), s.size()));
  BSTR out = nullptr;
  HRESULT hr = E_FAIL;
  switch (c.op) {
    case Op::Join:
      hr = t_->JoinPathFile2(a[0], a[1], &out);
      break;
    case Op::RipPath:
      hr = t_->RipPath(a[0], &out);
      break;
    case Op::RipFile:
      hr = t_->RipFile(a[0], &out);
      break;
    case Op::RipExt:
      hr = t_->RipExt(a[0], &out);
      break;
    case Op::Switch:
      hr = t_->SwitchExt(a[0], a[1], a[2], &out);
      break;
  }
  EXPECT_EQ(hr, S_OK);
  ASSERT_NE(out, nullptr);  // a result string even when it is empty
  EXPECT_EQ(std::wstring(out, SysStringLen(out)), c.expected);
  SysFreeString(out);
  for (BSTR b : a) SysFreeString(b);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PathStrings,
    ::testing::Values(
        PathCase{"join", Op::Join, {L"C:\\out", L"a.htm"}, L"C:\\out\\a.htm"},
        PathCase{"join_trimmed_folder", Op::Join, {L"  C:\\out\\  ", L"a.htm"}, L"C:\\out\\a.htm"},
        PathCase{"join_blank_folder_keeps_file", Op::Join, {L"   ", L" a.htm"}, L" a.htm"},
        PathCase{"join_file_side_not_inspected",
                 Op::Join,
                 {L"C:\\out", L"\\a.htm"},
                 L"C:\\out\\\\a.htm"},
        PathCase{"join_slash_is_ordinary", Op::Join, {L"C:/out", L"a"}, L"C:/out\\a"},
        PathCase{"rippath", Op::RipPath, {L"C:\\web\\index.htm"}, L"C:\\web\\"},
        PathCase{"ripfile", Op::RipFile, {L"C:\\web\\index.htm"}, L"index.htm"},
        PathCase{"rippath_bare_name", Op::RipPath, {L"index.htm"}, L""},
        PathCase{"ripfile_folder", Op::RipFile, {L"C:\\web\\"}, L""},
        PathCase{"rippath_slash_is_ordinary", Op::RipPath, {L"C:/web/index.htm"}, L""},
        PathCase{
            "ripfile_slash_is_ordinary", Op::RipFile, {L"C:/web/index.htm"}, L"C:/web/index.htm"},
        PathCase{"ripext_last_dot", Op::RipExt, {L"C:\\web\\archive.tar.gz"}, L".gz"},
        PathCase{"ripext_dot_in_folder", Op::RipExt, {L"C:\\my.site\\index"}, L".site\\index"},
        PathCase{"ripext_none", Op::RipExt, {L"README"}, L""},
        PathCase{"switch_ignores_case", Op::Switch, {L"page.HTM", L".htm", L".bak"}, L"page.bak"},
        PathCase{"switch_appends_on_mismatch",
                 Op::Switch,
                 {L"page.txt", L".htm", L".bak"},
                 L"page.txt.bak"},
        PathCase{"switch_trims_all_three",
                 Op::Switch,
                 {L" page.htm ", L" .htm", L" .bak "},
                 L"page.bak"},
        PathCase{
            "switch_empty_ext_matches", Op::Switch, {L"page.htm", L"", L".bak"}, L"page.htm.bak"},
        PathCase{"switch_whole_name", Op::Switch, {L".htm", L".HTM", L".asp"}, L".asp"},
        PathCase{"switch_name_shorter", Op::Switch, {L"htm", L".htm", L".bak"}, L"htm.bak"},
        PathCase{
            "switch_locale_upper", Op::Switch, {L"x.\u00c4SP", L".\u00e4sp", L".php"}, L"x.php"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EarlyBound, OtherClassesAreRefusedAndTheServerUnloadsWhenIdle) {
  auto get_class_object = Export<GetClassObjectFn>("DllGetClassObject");
  auto can_unload = Export<CanUnloadNowFn>("DllCanUnloadNow");
  ASSERT_NE(can_unload, nullptr);
  void* factory = reinterpret_cast<void*>(1);
  EXPECT_EQ(get_class_object(IID__CTarnex, IID_IClassFactory, &factory), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(factory, nullptr);
  EXPECT_EQ(can_unload(), S_FALSE);  // t_ is alive
  t_->Release();
  t_ = nullptr;
  EXPECT_EQ(can_unload(), S_OK);
}

// What the type library in the file tells late-bound callers and tools.
TEST_F(EarlyBound, TypeLibraryDescribesTheDualInterface) {
  ITypeInfo* dispatch = nullptr;
  ASSERT_EQ(t_->GetTypeInfo(0, 0, &dispatch), S_OK);
  ITypeLib* library = nullptr;
  UINT index = 0;
  ASSERT_EQ(dispatch->GetContainingTypeLib(&library, &index), S_OK);
  TLIBATTR* lib = nullptr;
  ASSERT_EQ(library->GetLibAttr(&lib), S_OK);
  EXPECT_TRUE(IsEqualGUID(lib->guid, LIBID_TARNEX));
  EXPECT_EQ(lib->wMajorVerNum, 7);
  EXPECT_EQ(lib->wMinorVerNum, 0);
  EXPECT_EQ(lib->lcid, 0x409u);
  library->ReleaseTLibAttr(lib);
  BSTR name = nullptr;
  ASSERT_EQ(library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(std::wstring(name), L"TARNEX");
  SysFreeString(name);
  library->Release();

  // LoadValue: strFile optional with the empty default; the result is the return value.
  DISPID id = 0;
  LPOLESTR member = const_cast<LPOLESTR>(L"LoadValue");
  ASSERT_EQ(t_->GetIDsOfNames(IID_NULL, &member, 1, 0, &id), S_OK);
  HREFTYPE table = 0;
  ITypeInfo* functions = nullptr;
  ASSERT_EQ(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &table), S_OK);
  ASSERT_EQ(dispatch->GetRefTypeInfo(table, &functions), S_OK);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(functions->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  const WORD wanted = TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE |
                      TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
  EXPECT_EQ(attr->wTypeFlags & wanted, wanted);
  functions->ReleaseTypeAttr(attr);
  ITypeInfo2* info2 = nullptr;
  ASSERT_EQ(functions->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(&info2)), S_OK);
  UINT func = 0;
  ASSERT_EQ(info2->GetFuncIndexOfMemId(id, INVOKE_FUNC, &func), S_OK);
  FUNCDESC* desc = nullptr;
  ASSERT_EQ(functions->GetFuncDesc(func, &desc), S_OK);
  ASSERT_EQ(desc->cParams, 5);
  // The last of the fourteen, after the three functions of IUnknown and the four of IDispatch.
  EXPECT_EQ(desc->oVft, static_cast<SHORT>((7 + 13) * sizeof(void*)));
  const PARAMDESC& file = desc->lprgelemdescParam[3].paramdesc;
  EXPECT_EQ(file.wParamFlags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT),
            PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT);
  ASSERT_NE(file.pparamdescex, nullptr);
  EXPECT_EQ(V_VT(&file.pparamdescex->varDefaultValue), VT_BSTR);
  EXPECT_EQ(SysStringLen(V_BSTR(&file.pparamdescex->varDefaultValue)), 0u);
  EXPECT_EQ(desc->lprgelemdescParam[4].paramdesc.wParamFlags & PARAMFLAG_FRETVAL,
            PARAMFLAG_FRETVAL);
  functions->ReleaseFuncDesc(desc);
  info2->Release();
  functions->Release();
  dispatch->Release();
}

}  // namespace

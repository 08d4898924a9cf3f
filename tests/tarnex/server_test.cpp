// TARNEX.so as a component server: identity, factory, lifetime, registration,
// exports and regsvr.
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "tarnex_fixture.h"

namespace {

using brevio::testing::Regsvr;
using brevio::testing::RunProgram;
using brevio::testing::ScratchRegistry;
using brevio::testing::ServerEntry;
using brevio::testing::TarnexTest;

HRESULT CanUnloadNow() {
  auto fn = ServerEntry<LPFNCANUNLOADNOW>("DllCanUnloadNow");
  return fn ? fn() : E_FAIL;
}

TEST_F(TarnexTest, InterfacesShareOneIdentity) {
  struct Case {
    const IID* iid;
    HRESULT hr;
  };
  const Case cases[] = {{&IID_IUnknown, S_OK},
                        {&IID_IDispatch, S_OK},
                        {&IID__CTarnex, S_OK},
                        {&IID_IClassFactory, E_NOINTERFACE},
                        {&LIBID_TARNEX, E_NOINTERFACE}};
  for (const Case& c : cases) {
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(t_->QueryInterface(*c.iid, &p), c.hr) << comrt::GuidToString(*c.iid);
    if (c.hr == S_OK) {
      EXPECT_EQ(p, static_cast<void*>(t_.get()));
      static_cast<IUnknown*>(p)->Release();
    } else {
      EXPECT_EQ(p, nullptr);
    }
  }
  EXPECT_EQ(t_->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(TarnexTest, ReferenceCountsAndTheUnloadRule) {
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  EXPECT_EQ(t_->AddRef(), 2u);
  comrt::ComPtr<_CTarnex> second;
  ASSERT_EQ(CoCreateInstance(CLSID_CTarnex, nullptr, CLSCTX_INPROC_SERVER, IID__CTarnex,
                             reinterpret_cast<void**>(second.put())),
            S_OK);
  EXPECT_NE(second.get(), t_.get());
  EXPECT_EQ(t_->Release(), 1u);
  t_.reset();
  EXPECT_EQ(CanUnloadNow(), S_FALSE);  // the second object still lives
  second.reset();
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(TarnexTest, FactoryRulesAndLocks) {
  t_.reset();
  auto get = ServerEntry<LPFNGETCLASSOBJECT>("DllGetClassObject");
  ASSERT_NE(get, nullptr);

  void* p = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(get(IID__CTarnex, IID_IClassFactory, &p), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(get(CLSID_CTarnex, IID_IDispatch, &p), E_NOINTERFACE);
  EXPECT_EQ(get(CLSID_CTarnex, IID_IClassFactory, nullptr), E_POINTER);

  comrt::ComPtr<IClassFactory> factory;
  ASSERT_EQ(get(CLSID_CTarnex, IID_IClassFactory, factory.put_void()), S_OK);
  EXPECT_EQ(CanUnloadNow(), S_OK);  // holding the factory alone does not pin the server

  struct Case {
    const char* name;
    bool aggregate;
    const IID* iid;
    HRESULT hr;
  };
  const Case cases[] = {{"aggregation", true, &IID_IUnknown, CLASS_E_NOAGGREGATION},
                        {"unknown_interface", false, &IID_IClassFactory, E_NOINTERFACE},
                        {"dispatch", false, &IID_IDispatch, S_OK}};
  for (const Case& c : cases) {
    void* obj = reinterpret_cast<void*>(0x1);
    IUnknown* outer = c.aggregate ? static_cast<IUnknown*>(factory.get()) : nullptr;
    EXPECT_EQ(factory->CreateInstance(outer, *c.iid, &obj), c.hr) << c.name;
    if (SUCCEEDED(c.hr)) {
      EXPECT_EQ(CanUnloadNow(), S_FALSE);
      static_cast<IUnknown*>(obj)->Release();
    } else {
      EXPECT_EQ(obj, nullptr) << c.name;
    }
    EXPECT_EQ(CanUnloadNow(), S_OK) << c.name;  // failed creations leave nothing alive
  }

  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.reset();
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  comrt::ComPtr<IClassFactory> again;
  ASSERT_EQ(get(CLSID_CTarnex, IID_IUnknown, again.put_void()), S_OK);
  comrt::ComPtr<IClassFactory> f2;
  ASSERT_EQ(again.As(IID_IClassFactory, f2), S_OK);
  EXPECT_EQ(f2->LockServer(FALSE), S_OK);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  EXPECT_EQ(f2->LockServer(FALSE), S_OK);
  EXPECT_EQ(CanUnloadNow(), S_OK);
  EXPECT_EQ(f2->LockServer(FALSE), E_UNEXPECTED);  // never below zero
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(TarnexTest, NullResultPointerIsRefused) {
  EXPECT_EQ(t_->RipFile(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(t_->SaveValue(nullptr, nullptr, nullptr, nullptr, nullptr), E_POINTER);
}

// A client without a display (this test has no QApplication) gets the box's
// line on its error stream, with the folder up to its first NUL.
TEST_F(TarnexTest, MakeDirErrorWithoutDisplayGoesToStandardError) {
  brevio::testing::TempDir dir;
  dir.write("file", "x");
  const std::string target = (dir / "file" / "sub").string();
  const std::u16string arg = comrt::ToUtf16(target) + std::u16string(u"\0tail", 5);
  testing::internal::CaptureStderr();
  EXPECT_EQ(t_->MakeDir2(comrt::Bstr(std::u16string_view(arg)).get()), S_OK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Create directory error: " + target + "\n");
}

// What registration writes; "@" is a key's default value, FILE the server's path.
struct Entry {
  const char* key;
  const char* name;
  const char* value;
};
constexpr const char* kFile = "FILE";
constexpr const char* kFolder = "FOLDER";
const Entry kRegistration[] = {
    {"CLSID\\{6B052344-3CBC-46B7-B6E3-E378925A60C2}", "", "TARNEX.CTarnex"},
    {"CLSID\\{6B052344-3CBC-46B7-B6E3-E378925A60C2}\\InprocServer32", "", kFile},
    {"CLSID\\{6B052344-3CBC-46B7-B6E3-E378925A60C2}\\InprocServer32", "ThreadingModel",
     "Apartment"},
    {"CLSID\\{6B052344-3CBC-46B7-B6E3-E378925A60C2}\\ProgID", "", "TARNEX.CTarnex"},
    {"CLSID\\{6B052344-3CBC-46B7-B6E3-E378925A60C2}\\TypeLib", "",
     "{7BEC6F27-E895-4A64-8719-25427323E25A}"},
    {"CLSID\\{6B052344-3CBC-46B7-B6E3-E378925A60C2}\\Version", "", "7.0"},
    {"TARNEX.CTarnex", "", "CTarnex"},
    {"TARNEX.CTarnex\\CLSID", "", "{6B052344-3CBC-46B7-B6E3-E378925A60C2}"},
    {"TypeLib\\{7BEC6F27-E895-4A64-8719-25427323E25A}\\7.0", "", "TARNEX"},
    {"TypeLib\\{7BEC6F27-E895-4A64-8719-25427323E25A}\\7.0\\0\\win32", "", kFile},
    {"TypeLib\\{7BEC6F27-E895-4A64-8719-25427323E25A}\\7.0\\FLAGS", "", "0"},
    {"TypeLib\\{7BEC6F27-E895-4A64-8719-25427323E25A}\\7.0\\HELPDIR", "", kFolder},
    {"Interface\\{E053F8F2-1511-4E9A-B8E1-A04BA0328FEA}", "", "_CTarnex"},
    {"Interface\\{E053F8F2-1511-4E9A-B8E1-A04BA0328FEA}\\ProxyStubClsid32", "",
     "{00020424-0000-0000-C000-000000000046}"},
    {"Interface\\{E053F8F2-1511-4E9A-B8E1-A04BA0328FEA}\\TypeLib", "",
     "{7BEC6F27-E895-4A64-8719-25427323E25A}"},
    {"Interface\\{E053F8F2-1511-4E9A-B8E1-A04BA0328FEA}\\TypeLib", "Version", "7.0"},
};

std::string Expected(const char* value) {
  std::filesystem::path file = std::filesystem::absolute(TARNEX_FILE).lexically_normal();
  if (value == kFile) return file.string();
  if (value == kFolder) return file.parent_path().string();
  return value;
}

TEST(Registration, WritesTheLayoutAndRemovesExactlyIt) {
  ScratchRegistry scratch;
  // Neighbours that are not ours must survive unregistration.
  comrt::UpdateRegistry([](comrt::Registry& r) {
    r.SetValue("CLSID\\{00000000-0000-0000-0000-000000000001}\\InprocServer32", "", "/other.so");
    r.SetValue("TypeLib\\{7BEC6F27-E895-4A64-8719-25427323E25A}\\6.0", "", "TARNEX, older");
  });
  std::string before = brevio::testing::ReadFile(scratch.file());

  std::string out, err;
  ASSERT_EQ(Regsvr({TARNEX_FILE}, &out, &err), 0) << err;
  EXPECT_NE(out.find("DllRegisterServer"), std::string::npos);
  EXPECT_NE(out.find("succeeded"), std::string::npos);
  comrt::Registry reg = scratch.read();
  for (const Entry& e : kRegistration) {
    EXPECT_EQ(reg.GetValue(e.key, e.name), Expected(e.value)) << e.key << " " << e.name;
  }
  EXPECT_EQ(brevio::testing::Regsvr({"-s", TARNEX_FILE}), 0);  // again: nothing doubles
  EXPECT_EQ(scratch.read().Serialize(), reg.Serialize());

  ASSERT_EQ(Regsvr({"-u", TARNEX_FILE}, &out, &err), 0) << err;
  EXPECT_EQ(brevio::testing::ReadFile(scratch.file()), before);

  // Into an empty store and out again leaves it empty.
  comrt::UpdateRegistry([](comrt::Registry& r) {
    r.DeleteTree("CLSID");
    r.DeleteTree("TypeLib");
  });
  ASSERT_TRUE(scratch.read().empty());
  ASSERT_EQ(Regsvr({"-s", TARNEX_FILE}), 0);
  ASSERT_EQ(Regsvr({"-s", "-u", TARNEX_FILE}), 0);
  EXPECT_TRUE(scratch.read().empty()) << scratch.read().Serialize();
}

TEST(Registration, UnregisteredClassTellsTheClientSo) {
  ScratchRegistry scratch;
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  comrt::ComPtr<_CTarnex> t;
  EXPECT_EQ(CoCreateInstance(CLSID_CTarnex, nullptr, CLSCTX_INPROC_SERVER, IID__CTarnex,
                             reinterpret_cast<void**>(t.put())),
            REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(t);
  CLSID byname;
  EXPECT_EQ(CLSIDFromString(u"TARNEX.CTarnex", &byname), CO_E_CLASSSTRING);
  ASSERT_EQ(Regsvr({"-s", TARNEX_FILE}), 0);
  ASSERT_EQ(CLSIDFromString(u"TARNEX.CTarnex", &byname), S_OK);
  EXPECT_EQ(byname, CLSID_CTarnex);
  CoUninitialize();
}

TEST(Registration, StoreThatCannotBeWrittenFailsWithSelfRegCode) {
  ScratchRegistry scratch;
  // The configuration folder is a regular file: nothing can be created under it.
  std::filesystem::path blocker = scratch.dir().write("blocker", "x");
  ::setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);
  std::string err;
  EXPECT_EQ(Regsvr({TARNEX_FILE}, nullptr, &err), comrt::kRegsvrCallFailed);
  EXPECT_NE(err.find("the class could not be registered (0x80040201)"), std::string::npos) << err;
}

struct RegsvrCase {
  const char* name;
  std::vector<std::string> args;
  int code;
  const char* message;  // expected in the error stream
};

class RegsvrErrors : public ::testing::TestWithParam<RegsvrCase> {};

TEST_P(RegsvrErrors, ExplainInPlainWords) {
  ScratchRegistry scratch;
  const RegsvrCase& c = GetParam();
  std::vector<std::string> args = c.args;
  for (std::string& a : args) {
    if (a == "TEXTFILE") a = scratch.dir().write("fake.so", "not a library").string();
  }
  std::string out, err;
  EXPECT_EQ(Regsvr(args, &out, &err), c.code);
  EXPECT_NE(err.find(c.message), std::string::npos) << err;
  EXPECT_TRUE(scratch.read().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, RegsvrErrors,
    ::testing::Values(
        RegsvrCase{"no_file", {}, comrt::kRegsvrUsage, "no file given"},
        RegsvrCase{"unknown_option", {"-x", TARNEX_FILE}, comrt::kRegsvrUsage, "unknown option -x"},
        RegsvrCase{"two_files", {TARNEX_FILE, TARNEX_FILE}, comrt::kRegsvrUsage, "one file only"},
        RegsvrCase{"missing",
                   {"/nonexistent/TARNEX.so"},
                   comrt::kRegsvrLoadFailed,
                   "the file does not exist"},
        RegsvrCase{"not_a_library", {"TEXTFILE"}, comrt::kRegsvrLoadFailed, "cannot load"},
        RegsvrCase{"not_a_server",
                   {COMRT_LIBRARY_FILE},
                   comrt::kRegsvrNoEntryPoint,
                   "has no entry point DllRegisterServer"},
        RegsvrCase{"not_a_server_unregister",
                   {"-u", COMRT_LIBRARY_FILE},
                   comrt::kRegsvrNoEntryPoint,
                   "has no entry point DllUnregisterServer"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Exports, ExactlyTheFourEntryPoints) {
  brevio::testing::TempDir scratch;
  auto run = RunProgram({"nm", "-D", "--defined-only", TARNEX_FILE}, scratch, "nm");
  ASSERT_EQ(run.code, 0) << run.err;
  std::set<std::string> names;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    std::string name = line.substr(line.rfind(' ') + 1);
    names.insert(name);
  }
  EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject",
                                          "DllRegisterServer", "DllUnregisterServer"}));
}

TEST(Registration, ProcessesRegisteringAtOnceLoseNothing) {
  ScratchRegistry scratch;
  constexpr int kRounds = 4;
  // Separate regsvr processes register the server while forked writers add
  // keys of their own; every process's work must be in the final store.
  std::vector<pid_t> writers;
  for (int w = 0; w < 3; ++w) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      try {
        for (int i = 0; i < 20; ++i) {
          comrt::UpdateRegistry([&](comrt::Registry& r) {
            r.SetValue("Writer" + std::to_string(w), std::to_string(i), "x");
          });
        }
      } catch (...) {
        ::_exit(1);
      }
      ::_exit(0);
    }
    writers.push_back(pid);
  }
  for (int round = 0; round < kRounds; ++round) {
    auto run = RunProgram({REGSVR_FILE, TARNEX_FILE}, scratch.dir(), "regsvr");
    EXPECT_EQ(run.code, 0) << run.err;
  }
  for (pid_t pid : writers) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  comrt::Registry reg = scratch.read();
  for (int w = 0; w < 3; ++w) EXPECT_EQ(reg.ValueNames("Writer" + std::to_string(w)).size(), 20u);
  for (const Entry& e : kRegistration) {
    EXPECT_EQ(reg.GetValue(e.key, e.name), Expected(e.value)) << e.key;
  }
}

}  // namespace

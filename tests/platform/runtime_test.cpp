// Creating objects by class id: each way it can fail gives its own clear code.
#include <comrt.h>
#include <comrt_registry.h>
#include <gtest/gtest.h>

#include <thread>

#include "tests/platform/scratch_registry.h"

namespace {

using brevio::testing::ScratchRegistry;

constexpr CLSID kClass = {
    0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};

class Create : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
  void RegisterServerFile(const std::string& path) {
    comrt::UpdateRegistry([&](comrt::Registry& r) {
      r.SetValue("CLSID\\" + comrt::GuidToString(kClass) + "\\InprocServer32", "", path);
    });
  }
  HRESULT TryCreate() {
    void* p = reinterpret_cast<void*>(0x1);
    HRESULT hr = CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p);
    EXPECT_EQ(p, nullptr);
    return hr;
  }
  ScratchRegistry scratch_;
};

TEST_F(Create, UnregisteredClass) {
  EXPECT_EQ(TryCreate(), REGDB_E_CLASSNOTREG);
  EXPECT_NE(comrt::LastCreateError().find("is not registered"), std::string::npos);
}

TEST_F(Create, RegisteredFileMissing) {
  RegisterServerFile((scratch_.dir() / "gone.so").string());
  EXPECT_EQ(TryCreate(), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
  EXPECT_NE(comrt::LastCreateError().find("gone.so"), std::string::npos);
}

TEST_F(Create, RegisteredFileIsNotALibrary) {
  RegisterServerFile(scratch_.dir().write("broken.so", "this is text, not a library").string());
  EXPECT_EQ(TryCreate(), HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT));
  EXPECT_NE(comrt::LastCreateError().find("cannot be loaded"), std::string::npos);
}

TEST_F(Create, RegisteredLibraryIsNotAServer) {
  // The runtime itself is a real library without DllGetClassObject.
  RegisterServerFile(COMRT_LIBRARY_FILE);
  EXPECT_EQ(TryCreate(), CO_E_ERRORINDLL);
}

TEST_F(Create, OnlyInProcessServers) {
  void* p = nullptr;
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &p),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
            E_POINTER);
}

TEST(CoInitialize, CountsPerThread) {
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  std::thread other([] {
    void* p = nullptr;
    EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p),
              CO_E_NOTINITIALIZED);
  });
  other.join();
  CoUninitialize();
  CoUninitialize();
  void* p = nullptr;
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p),
            CO_E_NOTINITIALIZED);
}

TEST(DescribeHResult, NamesTheProblemAndTheCode) {
  EXPECT_EQ(comrt::DescribeHResult(REGDB_E_CLASSNOTREG),
            "the class is not registered (0x80040154)");
  EXPECT_EQ(comrt::DescribeHResult(static_cast<HRESULT>(0x8FFF0001)), "failure (0x8FFF0001)");
}

}  // namespace

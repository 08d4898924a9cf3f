// A scratch registry with TARNEX.so registered in it, as a client would find it.
#pragma once

#include <comrt.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <tarnex.h>

#include <sstream>
#include <string>
#include <vector>

#include "regsvr.h"
#include "tests/platform/scratch_registry.h"

extern char** environ;

namespace brevio::testing {

struct Exit {
  int code = -1;
  std::string out, err;
};

// Starts a program directly (no shell) and waits for it.
inline Exit RunProgram(const std::vector<std::string>& argv, const TempDir& scratch,
                       const std::string& tag) {
  std::filesystem::path out = scratch / (tag + ".out"), err = scratch / (tag + ".err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  Exit result;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadFile(out);
    result.err = ReadFile(err);
  }
  posix_spawn_file_actions_destroy(&actions);
  return result;
}

inline int Regsvr(const std::vector<std::string>& args, std::string* out = nullptr,
                  std::string* err = nullptr) {
  std::ostringstream o, e;
  int code = comrt::RunRegsvr(args, o, e);
  if (out) *out = o.str();
  if (err) *err = e.str();
  return code;
}

template <class Fn>
Fn ServerEntry(const char* name) {
  // The server is already loaded by the runtime; this only looks it up.
  void* handle = ::dlopen(TARNEX_FILE, RTLD_NOW | RTLD_NOLOAD);
  return handle ? reinterpret_cast<Fn>(::dlsym(handle, name)) : nullptr;
}

class TarnexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    std::string err;
    ASSERT_EQ(Regsvr({"-s", TARNEX_FILE}, nullptr, &err), 0) << err;
    HRESULT hr = CoCreateInstance(CLSID_CTarnex, nullptr, CLSCTX_INPROC_SERVER, IID__CTarnex,
                                  reinterpret_cast<void**>(t_.put()));
    ASSERT_EQ(hr, S_OK) << comrt::LastCreateError();
  }
  void TearDown() override {
    t_.reset();
    CoUninitialize();
  }

  ScratchRegistry scratch_;
  comrt::ComPtr<_CTarnex> t_;
};

}  // namespace brevio::testing

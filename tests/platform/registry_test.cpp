// The registry store: its text form, key trees, and atomic locked updates.
#include <comrt_registry.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "tests/platform/scratch_registry.h"

namespace {

using brevio::testing::ScratchRegistry;

TEST(Registry, TextRoundTripKeepsAwkwardCharacters) {
  comrt::Registry reg;
  reg.SetValue("CLSID\\{X}\\InprocServer32", "", "/odd \"dir\"\\with\nnewline/T.so");
  reg.SetValue("CLSID\\{X}\\InprocServer32", "ThreadingModel", "Apartment");
  reg.SetValue("Unicode", "n\xC3\xA4me", std::string("nul\0inside", 10));
  reg.CreateKey("CLSID\\{X}\\Programmable");
  comrt::Registry back = comrt::Registry::Parse(reg.Serialize());
  EXPECT_EQ(back.Serialize(), reg.Serialize());
  EXPECT_EQ(back.GetValue("CLSID\\{X}\\InprocServer32"), "/odd \"dir\"\\with\nnewline/T.so");
  EXPECT_EQ(back.GetValue("unicode", "N\xC3\xA4me"), std::string("nul\0inside", 10));
  EXPECT_TRUE(back.KeyExists("clsid\\{x}\\programmable"));
}

TEST(Registry, NamesIgnoreCaseAndStraySeparators) {
  comrt::Registry reg;
  reg.SetValue("CLSID\\{AB}", "Name", "1");
  EXPECT_EQ(reg.GetValue("clsid\\{ab}\\", "NAME"), "1");
  reg.SetValue("\\Clsid\\{aB}", "name", "2");
  EXPECT_EQ(reg.ValueNames("CLSID\\{AB}"), std::vector<std::string>{"Name"});
  EXPECT_EQ(reg.GetValue("CLSID\\{AB}", "Name"), "2");
  EXPECT_EQ(reg.GetValue("CLSID\\{AB}", "Other"), std::nullopt);
  EXPECT_EQ(reg.GetValue("CLSID\\{CD}"), std::nullopt);
}

TEST(Registry, ParseSkipsWhatItCannotRead) {
  comrt::Registry reg = comrt::Registry::Parse(
      "; comment\n"
      "\"orphan\"=\"before any key\"\n"
      "[A\\B]\r\n"
      "@=\"default\"\r\n"
      "garbage line\n"
      "\"unterminated=\"x\n"
      "\"ok\"=\"yes\"\n"
      "\"trailing\"=\"x\" junk\n"
      "[]\n"
      "\"after_empty_key\"=\"lost\"\n");
  EXPECT_EQ(reg.GetValue("A\\B"), "default");
  EXPECT_EQ(reg.GetValue("A\\B", "ok"), "yes");
  EXPECT_EQ(reg.ValueNames("A\\B").size(), 2u);
  EXPECT_EQ(reg.SubKeys(""), std::vector<std::string>{"A"});
}

TEST(Registry, DeleteTreeRemovesSubkeysAndEmptyParentsOnly) {
  comrt::Registry reg;
  reg.SetValue("TypeLib\\{L}\\7.0\\0\\win32", "", "/x.so");
  reg.SetValue("TypeLib\\{L}\\7.0\\FLAGS", "", "0");
  reg.SetValue("TypeLib\\{L}\\1.0", "", "older version, not ours");
  reg.SetValue("TypeLib\\{L}\\7.0x", "", "a sibling whose name starts alike");
  ASSERT_TRUE(reg.DeleteTree("typelib\\{l}\\7.0"));
  EXPECT_FALSE(reg.KeyExists("TypeLib\\{L}\\7.0\\0"));
  EXPECT_TRUE(reg.KeyExists("TypeLib\\{L}\\1.0"));
  EXPECT_TRUE(reg.KeyExists("TypeLib\\{L}\\7.0x"));
  EXPECT_FALSE(reg.DeleteTree("TypeLib\\{L}\\7.0"));

  ASSERT_TRUE(reg.DeleteTree("TypeLib\\{L}\\1.0"));
  ASSERT_TRUE(reg.DeleteTree("TypeLib\\{L}\\7.0x"));
  EXPECT_TRUE(reg.empty());  // parents left empty went with the last tree
}

TEST(Registry, SubKeysListsDirectChildren) {
  comrt::Registry reg;
  reg.SetValue("R\\a\\deep", "", "1");
  reg.CreateKey("R\\b");
  reg.CreateKey("Rx");
  EXPECT_EQ(reg.SubKeys("R"), (std::vector<std::string>{"a", "b"}));
}

TEST(RegistryStore, MissingFileIsEmptyAndUpdatesPersist) {
  ScratchRegistry scratch;
  EXPECT_EQ(comrt::RegistryPath(), scratch.file());
  EXPECT_TRUE(scratch.read().empty());
  comrt::UpdateRegistry([](comrt::Registry& r) { r.SetValue("K", "v", "1"); });
  comrt::UpdateRegistry([](comrt::Registry& r) { r.SetValue("K", "w", "2"); });
  comrt::Registry reg = scratch.read();
  EXPECT_EQ(reg.GetValue("K", "v"), "1");
  EXPECT_EQ(reg.GetValue("K", "w"), "2");
  // No temporary files are left beside the store.
  int entries = 0;
  for ([[maybe_unused]] const auto& e :
       std::filesystem::directory_iterator(scratch.file().parent_path()))
    ++entries;
  EXPECT_EQ(entries, 2);  // registry.reg and its lock file
}

TEST(RegistryStore, FailedChangeLeavesTheStoreAsItWas) {
  ScratchRegistry scratch;
  comrt::UpdateRegistry([](comrt::Registry& r) { r.SetValue("K", "", "kept"); });
  std::string before = brevio::testing::ReadFile(scratch.file());
  EXPECT_THROW(comrt::UpdateRegistry([](comrt::Registry& r) {
                 r.SetValue("K", "", "changed");
                 throw std::runtime_error("change gave up half-way");
               }),
               std::runtime_error);
  EXPECT_EQ(brevio::testing::ReadFile(scratch.file()), before);
}

TEST(RegistryStore, UnusableFolderThrowsWithThePath) {
  brevio::testing::TempDir dir;
  std::filesystem::path blocker = dir.write("file", "not a folder");
  try {
    comrt::UpdateRegistry([](comrt::Registry&) {}, blocker / "comrt" / "registry.reg");
    FAIL() << "expected a system_error";
  } catch (const std::system_error& e) {
    EXPECT_NE(std::string(e.what()).find(blocker.string()), std::string::npos) << e.what();
  }
}

TEST(RegistryStore, DefaultsToHomeConfigWhenXdgIsUnsetOrRelative) {
  ScratchRegistry scratch;  // restores the variable afterwards
  ::setenv("HOME", "/home/someone", 1);
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(comrt::RegistryPath(), "/home/someone/.config/comrt/registry.reg");
  ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);  // not absolute: ignored
  EXPECT_EQ(comrt::RegistryPath(), "/home/someone/.config/comrt/registry.reg");
}

TEST(RegistryStore, ConcurrentWritersLoseNothing) {
  ScratchRegistry scratch;
  constexpr int kProcesses = 6, kChanges = 25;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int status = 0;
      try {
        for (int i = 0; i < kChanges; ++i) {
          comrt::UpdateRegistry([&](comrt::Registry& r) {
            r.SetValue("P" + std::to_string(p), std::to_string(i), "x");
          });
        }
      } catch (...) {
        status = 1;
      }
      ::_exit(status);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  comrt::Registry reg = scratch.read();
  for (int p = 0; p < kProcesses; ++p) {
    EXPECT_EQ(reg.ValueNames("P" + std::to_string(p)).size(), std::size_t{kChanges}) << p;
  }
}

}  // namespace

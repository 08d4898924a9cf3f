// Names outside the code page through TARNEX.dll, under a display: the
// conversion to the code page, the folder chooser, MakeDir2 and its error
// box, SaveValue and LoadValue with Greek, fullwidth and emoji text. Each
// must name exactly what it was given, or refuse: never a look-alike (Ω as
// O, a fullwidth backslash as a folder separator). Also the platform's limit
// of 32,767 characters.
#include <windows.h>
// After <windows.h>: the identifiers are defined here, not only declared.
#include <commctrl.h>
#include <gtest/gtest.h>
#include <initguid.h>
#include <shlobj.h>
#include <tarnex_idl.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "ansi_win.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using brevio::testing::ReadFile;
using brevio::testing::TempDir;

class Bstr {
 public:
  explicit Bstr(std::wstring_view s)
      : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  operator BSTR() const { return b_; }

 private:
  BSTR b_;
};

// Takes a result string and frees it.
std::wstring Take(BSTR b) {
  std::wstring s(b ? b : L"", SysStringLen(b));
  SysFreeString(b);
  return s;
}

fs::path Here() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return fs::path(path).parent_path();
}

// A CTarnex from the server file loaded as `module`.
_CTarnex* Create(HMODULE module) {
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto get = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  IClassFactory* factory = nullptr;
  if (!get || FAILED(get(CLSID_CTarnex, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    return nullptr;
  }
  _CTarnex* t = nullptr;
  factory->CreateInstance(nullptr, IID__CTarnex, reinterpret_cast<void**>(&t));
  factory->Release();
  return t;
}

bool IsFolder(const fs::path& p) {
  const DWORD a = GetFileAttributesW(p.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Exists(const fs::path& p) { return GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES; }

BOOL CALLBACK FindOwnDialog(HWND window, LPARAM found) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (owner != GetCurrentProcessId() || !IsWindowVisible(window) || lstrcmpW(name, L"#32770")) {
    return TRUE;
  }
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// Makes `call` while another thread waits for a modal dialog it shows on
// this thread and hands the dialog to `answer`, which ends it. Whether a
// dialog came.
bool AnswerDialog(const std::function<void()>& call, const std::function<void(HWND)>& answer) {
  std::atomic<bool> done{false}, seen{false};
  std::thread helper([&] {
    HWND dialog = nullptr;
    for (int i = 0; i < 200 && dialog == nullptr && !done; ++i) {
      Sleep(50);
      EnumWindows(FindOwnDialog, reinterpret_cast<LPARAM>(&dialog));
    }
    if (dialog == nullptr) return;
    seen = true;
    answer(dialog);
  });
  call();
  done = true;
  helper.join();
  return seen;
}

// The text of the chooser's selected folder.
std::wstring Selected(HWND tree) {
  wchar_t text[MAX_PATH] = {};
  TVITEMW item{};
  item.mask = TVIF_TEXT;
  item.hItem = TreeView_GetSelection(tree);
  item.pszText = text;
  item.cchTextMax = MAX_PATH;
  if (item.hItem == nullptr ||
      !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) {
    return {};
  }
  return text;
}

// Selects `folder` in the folder chooser and presses OK. The chooser fills
// its tree after it shows: asked again until the selection is the folder.
void Choose(HWND chooser, const fs::path& folder) {
  HWND tree = FindWindowExW(chooser, nullptr, WC_TREEVIEWW, nullptr);
  for (int i = 0; i < 100 && Selected(tree) != folder.filename().wstring(); ++i) {
    SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
    Sleep(50);
  }
  SendMessageW(chooser, WM_COMMAND, IDOK, 0);
}

void Touch(const fs::path& file, std::string_view bytes) {
  std::ofstream(file, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class Names : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    server_ = LoadLibraryW((Here() / L"TARNEX.dll").c_str());
    ASSERT_NE(server_, nullptr);
  }
  static void TearDownTestSuite() { CoUninitialize(); }

  void SetUp() override {
    t_ = Create(server_);
    ASSERT_NE(t_, nullptr);
  }
  void TearDown() override {
    if (t_) t_->Release();
  }

  LONG Save(std::wstring_view sec, std::wstring_view key, std::wstring_view value,
            const fs::path& file) {
    LONG result = -1;
    EXPECT_EQ(t_->SaveValue(Bstr(sec), Bstr(key), Bstr(value), Bstr(file.wstring()), &result),
              S_OK);
    return result;
  }
  std::wstring Load(std::wstring_view sec, std::wstring_view key, std::wstring_view fallback,
                    const fs::path& file) {
    BSTR out = nullptr;
    EXPECT_EQ(t_->LoadValue(Bstr(sec), Bstr(key), Bstr(fallback), Bstr(file.wstring()), &out),
              S_OK);
    return Take(out);
  }

  static HMODULE server_;
  _CTarnex* t_ = nullptr;
  TempDir dir_;
};

HMODULE Names::server_ = nullptr;

// Explicit code pages, so the rows hold whatever the system's is.
TEST(CodePage, TakesOnlyWhatHasAFormOfItsOwn) {
  struct Row {
    const wchar_t* text;
    UINT code_page;
    std::optional<std::string> expected;
  };
  const Row rows[] = {
      {L"\u03A9ut", 1252, std::nullopt},  // not "Out"
      {L"\u03A9ut", 1253, "\xD9ut"},
      {L"x\uFF3C\uFF0E\uFF0E\uFF3Cy", 1252, std::nullopt},  // not "x\..\y"
      {L"x\uFF3Cy", 932, "x\x81\x5Fy"},
      {L"\U0001F600", 1252, std::nullopt},
      {L"\U0001F600", CP_UTF8, "\xF0\x9F\x98\x80"},
      {L"a\xD800z", CP_UTF8, std::nullopt},  // a lone surrogate
      {L"caf\u00E9", 1252, "caf\xE9"},
      {L"a?b", 1252, "a?b"},  // the default character itself
  };
  for (const Row& r : rows) {
    EXPECT_EQ(tarnex::win::ToCodePage(r.text, r.code_page), r.expected)
        << "code page " << r.code_page << ", text of " << wcslen(r.text) << " units";
  }
}

TEST_F(Names, ChooserGivesTheFolderChosen) {
  const fs::path parent = dir_.path() / L"chooser";
  fs::create_directories(parent / L"Out");
  for (const wchar_t* name : {L"\u03A9ut", L"x\uFF3Cy", L"\U0001F4C1"}) {
    const fs::path chosen = parent / name;
    fs::create_directory(chosen);
    const std::wstring target = chosen.wstring();
    BSTR out = nullptr;
    const bool shown = AnswerDialog([&] { EXPECT_EQ(t_->GetDir(0, &out), S_OK); },
                                    [&](HWND chooser) { Choose(chooser, chosen); });
    ASSERT_TRUE(shown) << "no folder chooser";
    EXPECT_EQ(Take(out), target);
  }
}

TEST_F(Names, MakeDir2MakesTheFolderNamed) {
  const fs::path inner = dir_.path() / L"inner";
  struct Row {
    const wchar_t* given;  // below inner
    const wchar_t* made;
    const wchar_t* look_alike;  // what a conversion to the code page would make
  };
  const Row rows[] = {
      {L"d\u03B1ta", L"d\u03B1ta", L"data"},
      {L"x\uFF3C\uFF0E\uFF0E\uFF3Cescaped", L"x\uFF3C\uFF0E\uFF0E\uFF3Cescaped", L"escaped"},
      {L"\U0001F4C1\\sub", L"\U0001F4C1\\sub", nullptr},
  };
  for (const Row& r : rows) {
    const fs::path given = inner / r.given;
    const bool boxed = AnswerDialog([&] { EXPECT_EQ(t_->MakeDir2(Bstr(given.wstring())), S_OK); },
                                    [](HWND box) { PostMessageW(box, WM_COMMAND, IDOK, 0); });
    EXPECT_FALSE(boxed) << given;
    EXPECT_TRUE(IsFolder(inner / r.made)) << given;
    if (r.look_alike) {
      EXPECT_FALSE(Exists(inner / r.look_alike)) << given;
    }
  }
}

TEST_F(Names, MakeDir2ErrorBoxNamesThePathAsGiven) {
  const fs::path file = dir_.path() / L"\u03A9mega.txt";
  Touch(file, "");
  struct Row {
    std::wstring given;
    std::wstring shown;  // the box's text
  };
  // A path over the platform's limit: refused, so no level of it is made,
  // and shown cut to what the box holds.
  const std::wstring deep =
      (dir_.path() / L"a").wstring() + L"\\" + std::wstring(tarnex::win::kMaxText, L'b');
  std::wstring cut = L"Create directory error: " + deep;
  cut.resize(tarnex::win::kMaxText - 1);
  const Row rows[] = {
      {(file / L"sub").wstring(), L"Create directory error: " + (file / L"sub").wstring()},
      {deep, cut + L"\u2026"},
  };
  for (const Row& r : rows) {
    std::wstring shown;
    const bool boxed = AnswerDialog(
        [&] { EXPECT_EQ(t_->MakeDir2(Bstr(r.given)), S_OK); },
        [&](HWND box) {
          HWND text = GetDlgItem(box, 0xFFFF);
          shown.resize(GetWindowTextLengthW(text) + 1);
          shown.resize(GetWindowTextW(text, shown.data(), static_cast<int>(shown.size())));
          PostMessageW(box, WM_COMMAND, IDOK, 0);
        });
    ASSERT_TRUE(boxed) << "no error box";
    EXPECT_EQ(shown, r.shown);
  }
  EXPECT_FALSE(Exists(dir_.path() / L"a"));
}

TEST_F(Names, ProfilesKeepNamesAndValuesOrRefuse) {
  ASSERT_EQ(GetACP(), 1252u) << "the rows are for the Western code page";
  const fs::path eight_bit = dir_.write("eight.ini", "[S]\r\nA=1\r\n");
  const fs::path unicode = dir_.write("unicode.ini", "\xFF\xFE");
  const fs::path inner = dir_.path() / L"inner";
  const fs::path greek = dir_.path() / L"\u0395\u03BB\u03BB\u03AC\u03B4\u03B1";
  fs::create_directories(inner);
  fs::create_directories(greek);
  struct Row {
    const char* what;
    fs::path file;
    const wchar_t* key;
    const wchar_t* value;
    bool saved;
  };
  const Row rows[] = {
      {"Greek value, new file", dir_.path() / L"new.ini", L"K", L"\u03A9\u03BC\u03AD\u03B3\u03B1",
       true},
      {"emoji key, new file", dir_.path() / L"emoji.ini", L"\U0001F600", L"v", true},
      {"Greek value, 8-bit file", eight_bit, L"K", L"\u03A9", false},
      {"fullwidth key, 8-bit file", eight_bit, L"\uFF3C", L"v", false},
      {"Latin value, 8-bit file", eight_bit, L"L", L"caf\u00E9", true},
      {"emoji value, UTF-16 file", unicode, L"K", L"\U0001F600", true},
      {"file in a Greek folder", greek / L"p.ini", L"K", L"v", true},
      {"fullwidth separators", inner / L"x\uFF3C\uFF0E\uFF0E\uFF3Cescaped.ini", L"K", L"v", true},
      {"value over the limit", dir_.path() / L"long.ini", L"K", nullptr, false},
  };
  const std::wstring too_long(tarnex::win::kMaxText + 1, L'x');
  for (const Row& r : rows) {
    const std::wstring value = r.value ? r.value : too_long;
    const std::string before = Exists(r.file) ? ReadFile(r.file) : "(none)";
    EXPECT_EQ(Save(L"S", r.key, value, r.file) != 0, r.saved) << r.what;
    if (r.saved) {
      EXPECT_EQ(Load(L"S", r.key, L"none", r.file), value) << r.what;
    } else {
      EXPECT_EQ(Exists(r.file) ? ReadFile(r.file) : "(none)", before) << r.what;
    }
  }
  // A file made for text the code page lacks is UTF-16; one for text it has
  // is 8-bit, as the platform makes it.
  EXPECT_EQ(ReadFile(dir_.path() / L"new.ini").substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(ReadFile(greek / L"p.ini"), "[S]\r\nK=v\r\n");
  EXPECT_FALSE(Exists(inner / L"escaped.ini"));
  EXPECT_FALSE(Exists(dir_.path() / L"escaped.ini"));
  // Names and defaults over the limit.
  EXPECT_EQ(Save(L"S", too_long, L"v", eight_bit), 0);
  EXPECT_EQ(Load(L"S", L"K", too_long, eight_bit), L"");
}

// A program named in Greek is the one started, not a look-alike; parameters
// over the limit are refused.
TEST_F(Names, ShellExeStartsTheProgramNamed) {
  const fs::path program = dir_.path() / L"rec-\u03A9.exe";
  fs::copy_file(Here() / L"tarnex_record_args.exe", program);
  struct Row {
    const char* what;
    std::wstring parameters;
    bool started;
  };
  const Row rows[] = {
      {"named in Greek", L"", true},
      {"parameters over the limit", std::wstring(tarnex::win::kMaxText + 1, L'x'), false},
  };
  for (const Row& r : rows) {
    LONG answer = -1;
    EXPECT_EQ(t_->ShellExe(0, Bstr(L"open"), Bstr(program.wstring()), Bstr(r.parameters), Bstr(L""),
                           SW_HIDE, &answer),
              S_OK);
    if (r.started) {
      EXPECT_GT(answer, 32) << r.what;
    } else {
      EXPECT_EQ(answer, 0) << r.what;
    }
  }
}

// TARNEX.dll in a folder named in Greek keeps its default profile beside it.
TEST_F(Names, DefaultProfileBesideALibraryInAGreekFolder) {
  const fs::path folder = dir_.path() / L"inst-\u03A9\u03BC\u03AD\u03B3\u03B1";
  fs::create_directory(folder);
  fs::copy_file(Here() / L"TARNEX.dll", folder / L"TARNEX.dll");
  HMODULE copy = LoadLibraryW((folder / L"TARNEX.dll").c_str());
  ASSERT_NE(copy, nullptr);
  _CTarnex* t = Create(copy);
  ASSERT_NE(t, nullptr);
  LONG saved = 0;
  EXPECT_EQ(t->SaveValue(Bstr(L"S"), Bstr(L"K"), Bstr(L"v"), Bstr(L""), &saved), S_OK);
  EXPECT_NE(saved, 0);
  t->Release();
  FreeLibrary(copy);
  EXPECT_EQ(ReadFile(folder / L"TARNEX.ini"), "[S]\r\nK=v\r\n");
}

}  // namespace

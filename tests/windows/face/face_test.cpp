// Brevio.exe driven from outside, the way a user drives it: the program
// runs as its own process, its window is found by class, its controls by
// id, and the real Open dialog and message boxes are filled in and pressed.
#include <windows.h>
// After <windows.h>.
#include <commctrl.h>
#include <gtest/gtest.h>
#include <oleacc.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "brevio/forms/layout.h"
#include "brevio/version.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using brevio::testing::TempDir;

std::wstring Wide(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

fs::path Here() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return fs::path(path).parent_path();
}

const brevio::forms::ControlPlace* Place(std::string_view name) {
  for (const brevio::forms::ControlPlace& place : brevio::forms::kMainControls) {
    if (name == place.name) return &place;
  }
  for (const brevio::forms::ControlPlace& place : brevio::forms::kAboutControls) {
    if (name == place.name) return &place;
  }
  return nullptr;
}

int Id(std::string_view name) {
  const brevio::forms::ControlPlace* place = Place(name);
  return place != nullptr ? place->id : -1;
}

int Px(int twips, int dpi) { return MulDiv(twips, dpi, 1440); }

struct Font {
  const wchar_t* face;
  int points;  // hundredths of a point
  bool bold, underline;
};

// A text's extent on one line in `font` at `dpi`; `format` adds DrawText's
// flags (DT_NOPREFIX: "&" is a character, not the access-key marker).
SIZE TextExtent(const std::wstring& text, const Font& font, int dpi, UINT format = 0) {
  LOGFONTW face{};
  face.lfHeight = -MulDiv(font.points, dpi, 7200);
  face.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  face.lfUnderline = font.underline ? TRUE : FALSE;
  face.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(face.lfFaceName, font.face, LF_FACESIZE);
  HFONT handle = CreateFontIndirectW(&face);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, handle);
  RECT extent{};
  DrawTextW(dc, text.c_str(), -1, &extent, DT_CALCRECT | DT_SINGLELINE | format);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(handle);
  return {extent.right - extent.left, extent.bottom - extent.top};
}

// A caption's extent in the window's font (8.25 pt MS Shell Dlg 2) at `dpi`,
// the "&" taken as the access-key marker.
SIZE CaptionExtent(const std::wstring& caption, int dpi) {
  return TextExtent(caption, {L"MS Shell Dlg 2", 825, false, false}, dpi);
}

// The resolution programs started from now on take, as the display settings
// set it; the earlier setting comes back when this goes.
class SystemDpi {
 public:
  explicit SystemDpi(DWORD dpi) {
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                    KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr);
    DWORD size = sizeof old_;
    had_ = RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_),
                            &size) == ERROR_SUCCESS;
    RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                   sizeof dpi);
  }
  ~SystemDpi() {
    if (had_) {
      RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_),
                     sizeof old_);
    } else {
      RegDeleteValueW(key_, L"LogPixels");
    }
    RegCloseKey(key_);
  }
  SystemDpi(const SystemDpi&) = delete;
  SystemDpi& operator=(const SystemDpi&) = delete;

 private:
  HKEY key_ = nullptr;
  DWORD old_ = 0;
  bool had_ = false;
};

// What a screen reader is told of a control (child 0) or of one of its
// items (1 for the first), asked as a screen reader asks: through the
// object the control's window gives out. The interface's id is taken from
// its declaration: the import library's IID_IAccessible links to an import
// stub rather than to the GUID.
class Accessible {
 public:
  explicit Accessible(HWND control) {
    if (FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT),
                                          __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&object_)))) {
      object_ = nullptr;
    }
  }
  ~Accessible() {
    if (object_ != nullptr) object_->Release();
  }
  Accessible(const Accessible&) = delete;
  Accessible& operator=(const Accessible&) = delete;

  std::wstring Name(LONG child = CHILDID_SELF) const {
    return Ask(&IAccessible::get_accName, child);
  }
  std::wstring Value(LONG child = CHILDID_SELF) const {
    return Ask(&IAccessible::get_accValue, child);
  }
  std::wstring Description(LONG child = CHILDID_SELF) const {
    return Ask(&IAccessible::get_accDescription, child);
  }
  LONG Role() const {
    VARIANT role{};
    if (object_ == nullptr || FAILED(object_->get_accRole(Self(), &role)) || role.vt != VT_I4) {
      return -1;
    }
    return role.lVal;
  }

 private:
  static VARIANT Self(LONG child = CHILDID_SELF) {
    VARIANT id{};
    id.vt = VT_I4;
    id.lVal = child;
    return id;
  }
  std::wstring Ask(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*),
                   LONG child) const {
    if (object_ == nullptr) return L"(no accessible object)";
    BSTR text = nullptr;
    if (FAILED((object_->*get)(Self(child), &text)) || text == nullptr) return L"(none)";
    std::wstring said(text, SysStringLen(text));
    SysFreeString(text);
    return said;
  }

  IAccessible* object_ = nullptr;
};

std::wstring AccessibleName(HWND control) { return Accessible(control).Name(); }

// Asks `probe` until it gives something or five seconds have passed.
template <class Probe>
auto WaitFor(Probe probe) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  auto value = probe();
  while (!value && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    value = probe();
  }
  return value;
}

struct WindowSearch {
  DWORD process;
  const wchar_t* window_class;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (owner != search.process || !IsWindowVisible(window) ||
      lstrcmpW(name, search.window_class) != 0) {
    return TRUE;
  }
  search.found = window;
  return FALSE;
}

// A visible top-level window of the process with this class.
HWND TopWindow(DWORD process, const wchar_t* window_class) {
  WindowSearch search{process, window_class, nullptr};
  EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000,
                      &length);
  return {text, length};
}

void SetTextOf(HWND window, const std::wstring& text) {
  SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_BLOCK,
                      5000, nullptr);
}

// Presses a button the way a click does; posted, since what it opens is modal.
void Press(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

// Sends a list message whose item (and text buffer) must lie in the list's
// own process: both are placed in that process's memory. `text` receives
// what the list wrote into the buffer.
LRESULT SendItem(HANDLE process, HWND list, UINT message, WPARAM row, LVITEMW item,
                 std::wstring* text = nullptr) {
  constexpr int kChars = 512;
  const SIZE_T bytes = sizeof(LVITEMW) + kChars * sizeof(wchar_t);
  auto* remote = static_cast<char*>(
      VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (remote == nullptr) return -1;
  item.cchTextMax = kChars;
  item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
  WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
  const LRESULT result = SendMessageW(list, message, row, reinterpret_cast<LPARAM>(remote));
  if (text != nullptr) {
    text->assign(kChars, L'\0');
    ReadProcessMemory(process, item.pszText, text->data(), kChars * sizeof(wchar_t), nullptr);
    text->resize(std::min<std::size_t>(static_cast<std::size_t>(result), kChars));
  }
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  return result;
}

std::wstring RemoteCell(HANDLE process, HWND list, int row, int column) {
  LVITEMW item{};
  item.iSubItem = column;
  std::wstring text;
  SendItem(process, list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), item, &text);
  return text;
}

// A cell's rectangle on the screen, asked of the list in its own process.
RECT CellOnScreen(HANDLE process, HWND list, int row, int column) {
  RECT cell{LVIR_LABEL, column, 0, 0};
  auto* remote = static_cast<RECT*>(
      VirtualAllocEx(process, nullptr, sizeof cell, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (remote == nullptr) return {};
  WriteProcessMemory(process, remote, &cell, sizeof cell, nullptr);
  SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row),
               reinterpret_cast<LPARAM>(remote));
  ReadProcessMemory(process, remote, &cell, sizeof cell, nullptr);
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&cell), 2);
  return cell;
}

// The file name box of the Open dialog: an edit inside the name combo box,
// or a plain edit in older templates.
HWND NameBox(HWND dialog) {
  if (HWND combo = GetDlgItem(dialog, 0x47C)) {
    if (HWND edit = FindWindowExW(combo, nullptr, L"Edit", nullptr)) return edit;
    return combo;
  }
  return GetDlgItem(dialog, 0x480);
}

class BrevioExe : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    // The program creates Tarnex by its class: the library must be registered.
    tarnex_ = LoadLibraryW((Here() / L"TARNEX.dll").c_str());
    ASSERT_NE(tarnex_, nullptr);
    ASSERT_EQ(Export("DllRegisterServer")(), S_OK);

    work_ = std::make_unique<TempDir>();
    Start();
  }

  static void TearDownTestSuite() {
    Stop();
    work_.reset();
    if (tarnex_ != nullptr) Export("DllUnregisterServer")();
    CoUninitialize();
  }

  static HRESULT(STDAPICALLTYPE* Export(const char* name))() {
    return reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(tarnex_, name)));
  }

  // Starts Brevio.exe in the work folder and waits for its window.
  static void Start() {
    Stop();
    std::wstring command = L"\"" + (Here() / L"Brevio.exe").wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               work_->path().c_str(), &startup, &process_))
        << GetLastError();
    WaitForInputIdle(process_.hProcess, 10000);
    main_ = WaitFor([] { return TopWindow(process_.dwProcessId, L"BrevioMain"); });
    ASSERT_NE(main_, nullptr) << "Brevio.exe shows no window";
  }

  static void Stop() {
    if (process_.hProcess == nullptr) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.hProcess, 99);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
    process_ = {};
  }

  static HWND Control(std::string_view name) { return GetDlgItem(main_, Id(name)); }
  static HWND Box() { return TopWindow(process_.dwProcessId, L"#32770"); }

  static HMODULE tarnex_;
  static PROCESS_INFORMATION process_;
  static HWND main_;
  static std::unique_ptr<TempDir> work_;
};

HMODULE BrevioExe::tarnex_ = nullptr;
PROCESS_INFORMATION BrevioExe::process_{};
HWND BrevioExe::main_ = nullptr;
std::unique_ptr<TempDir> BrevioExe::work_;

TEST_F(BrevioExe, FrameAndBackgroundAreAsDesigned) {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  ASSERT_EQ(dpi, 96) << "the sizes below are for 96 dots per inch";

  EXPECT_EQ(TextOf(main_), Wide(brevio::kProductTitle));
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(main_, GWL_STYLE));
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), DWORD{WS_MINIMIZEBOX});
  RECT client{};
  GetClientRect(main_, &client);
  EXPECT_EQ(client.right, 593);
  EXPECT_EQ(client.bottom, 449);

  // Read from the window as shown: the gradient's two ends and the two
  // separator lines left of the controls.
  struct Pixel {
    const char* what;
    int x, y;
    COLORREF colour;
  };
  const Pixel pixels[] = {
      {"gradient start, top left", 0, 0, RGB(235, 246, 255)},
      {"gradient end, bottom right", 592, 448, RGB(153, 211, 254)},
      {"Line1", 8, 384, RGB(128, 128, 128)},
      {"Line2", 8, 385, RGB(255, 255, 255)},
  };
  HDC dc = GetDC(main_);
  for (const Pixel& p : pixels) {
    COLORREF seen = CLR_INVALID;
    WaitFor([&] {
      seen = GetPixel(dc, p.x, p.y);
      return seen == p.colour;
    });
    EXPECT_EQ(seen, p.colour) << p.what << " at " << p.x << "," << p.y;
  }
  ReleaseDC(main_, dc);
}

TEST_F(BrevioExe, TabVisitsTheControlsInDesignOrder) {
  // Round the window once from txtOpen, which lies below the visible edge.
  const std::vector<std::string> expected = {"txtOpen",  "cmdOpen",   "txtSave",   "cmdSave",
                                             "cmdTrim",  "ListView1", "txtOutput", "cmdOutput",
                                             "chkKeep",  "cmdAdd",    "cmdRemove", "cmdHelp",
                                             "cmdAbout", "cmdTrim2",  "cmdExit",   "txtOpen"};
  std::vector<std::string> seen = {expected.front()};
  HWND at = Control(expected.front());
  ASSERT_NE(at, nullptr);
  while (seen.size() < expected.size()) {
    at = GetNextDlgTabItem(main_, at, FALSE);
    const int id = GetDlgCtrlID(at);
    std::string name = "id " + std::to_string(id);
    for (const brevio::forms::ControlPlace& place : brevio::forms::kMainControls) {
      if (place.id == id) name = place.name;
    }
    seen.push_back(name);
  }
  EXPECT_EQ(seen, expected);
}

// chkKeep is a real check box in the dialog font, named as it reads, and it
// fits the band between the output row and the separator at 96, 120 and
// 144 dots per inch.
TEST_F(BrevioExe, KeepBoxIsACheckBoxThatFitsItsBand) {
  using brevio::forms::kMainLines;
  const brevio::forms::ControlPlace& keep = *Place("chkKeep");
  const brevio::forms::TwipsRect output = Place("txtOutput")->twips;
  HWND box = Control("chkKeep");
  ASSERT_NE(box, nullptr);
  wchar_t window_class[16] = {};
  GetClassNameW(box, window_class, 16);
  EXPECT_EQ(lstrcmpiW(window_class, L"Button"), 0) << window_class;
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(box, GWL_STYLE));
  EXPECT_EQ(style & BS_TYPEMASK, DWORD{BS_AUTOCHECKBOX});
  EXPECT_EQ(SendMessageW(box, WM_GETFONT, 0, 0),
            SendMessageW(Control("cmdOutput"), WM_GETFONT, 0, 0));
  const std::wstring caption = L"Keep &preformatted text, scripts and attribute values";
  EXPECT_EQ(TextOf(box), caption);
  std::wstring said = caption;
  said.erase(said.find(L'&'), 1);
  EXPECT_EQ(AccessibleName(box), said);
  // Where the design puts it at 96 dpi.
  RECT placed{};
  GetWindowRect(box, &placed);
  MapWindowPoints(nullptr, main_, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(placed.left, 16);
  EXPECT_EQ(placed.top, 364);
  EXPECT_EQ(placed.bottom - placed.top, 18);

  // The box and the gap before the caption take 18 pixels at 96 dpi under
  // Wine; 20 are allowed.
  for (const int dpi : {96, 120, 144}) {
    const SIZE text = CaptionExtent(caption, dpi);
    const int top = Px(keep.twips.top, dpi), height = Px(keep.twips.height, dpi);
    EXPECT_LE(MulDiv(20, dpi, 96) + text.cx, Px(keep.twips.width, dpi)) << dpi;
    EXPECT_LE(text.cy, height) << dpi;
    EXPECT_LE(Px(output.top, dpi) + Px(output.height, dpi), top) << dpi;
    EXPECT_LE(top + height, Px(kMainLines[0].y1, dpi)) << dpi;
  }
}

// Every control tells a screen reader what it is for: the boxes their
// purpose rather than whatever label comes before them, the two Trim
// buttons apart, the length labels their figure as value, and the about
// box's address is a link.
TEST_F(BrevioExe, ScreenReadersHearWhatEachControlIsFor) {
  struct Said {
    const char* control;
    std::wstring name;
  };
  const Said main_window[] = {
      {"txtOpen", L"Source file"},
      {"cmdOpen", L"Open..."},
      {"txtSave", L"Target file"},
      {"cmdSave", L"Save..."},
      {"lblLenOpen", L"Source file length"},
      {"lblLenSave", L"Target file length"},
      {"cmdTrim", L"Trim single file"},
      {"ListView1", L"Files to trim"},
      {"txtOutput", L"Output folder"},
      {"cmdOutput", L"Set Output Folder..."},
      {"chkKeep", L"Keep preformatted text, scripts and attribute values"},
      {"cmdAdd", L"Add..."},
      {"cmdRemove", L"Remove"},
      {"cmdHelp", L"Help"},
      {"cmdAbout", L"About..."},
      {"cmdTrim2", L"Trim"},
      {"cmdExit", L"Exit"},
  };
  for (const Said& s : main_window) {
    EXPECT_EQ(Accessible(Control(s.control)).Name(), s.name) << s.control;
  }
  EXPECT_EQ(Accessible(Control("lblLenOpen")).Value(), TextOf(Control("lblLenOpen")));

  PostMessageW(main_, WM_SYSCHAR, L'b', LPARAM{1} << 29);
  HWND about = WaitFor([] { return TopWindow(process_.dwProcessId, L"BrevioAbout"); });
  ASSERT_NE(about, nullptr) << "no about box";
  const Said about_box[] = {
      {"OKButton", L"OK"},
      {"Image1", L"Brevio icon"},
      {"Label3", L"Website:"},
      {"Label4", L"Support:"},
      {"Label5", TextOf(GetDlgItem(about, Id("Label5")))},
  };
  for (const Said& s : about_box) {
    EXPECT_EQ(Accessible(GetDlgItem(about, Id(s.control))).Name(), s.name) << s.control;
  }
  EXPECT_NE(TextOf(GetDlgItem(about, Id("Label5"))), L"");
  EXPECT_EQ(Accessible(GetDlgItem(about, Id("Label5"))).Role(), ROLE_SYSTEM_LINK);
  PostMessageW(GetDlgItem(about, Id("OKButton")), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(about); }));
}

TEST_F(BrevioExe, BatchTrimsTheFilesAddedThroughTheOpenDialog) {
  work_->write("a.htm", "  a  b  \r\n\r\n");
  work_->write("b.html", "\tx\r\n");
  const fs::path out = work_->path() / "out";
  fs::create_directory(out);

  Press(Control("cmdAdd"));
  HWND dialog = WaitFor(Box);
  ASSERT_NE(dialog, nullptr) << "no Open dialog";
  // Into the folder first, then both names at once. Open is pressed and
  // waited for, so the folder is shown before the names go in.
  for (const std::wstring& name :
       {work_->path().wstring(), std::wstring(L"\"a.htm\" \"b.html\"")}) {
    SetTextOf(NameBox(dialog), name);
    SendMessageTimeoutW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0, SMTO_NORMAL, 5000, nullptr);
  }
  HWND list = Control("ListView1");
  ASSERT_TRUE(WaitFor([&] {
    return Box() == nullptr && SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 2;
  })) << "rows: "
      << SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);

  SetTextOf(Control("txtOutput"), out.wstring());
  Press(Control("cmdTrim2"));
  HWND box = WaitFor(Box);
  ASSERT_NE(box, nullptr) << "no message box after the run";
  EXPECT_EQ(TextOf(box), L"Brevio");
  EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)), L"Trim Finished.");
  Press(GetDlgItem(box, IDOK));
  EXPECT_TRUE(WaitFor([] { return Box() == nullptr; }));

  wchar_t point[8] = {};
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, point, 8);
  struct Row {
    const wchar_t* cells[5];
    const char* file;
    const char* trimmed;
  };
  const Row rows[] = {
      {{L"1", L"a.htm", L"12", L"5", L"41.67%"}, "a.htm", "a b\r\n"},
      {{L"2", L"b.html", L"4", L"3", L"75.00%"}, "b.html", "x\r\n"},
  };
  for (int r = 0; r < static_cast<int>(std::size(rows)); ++r) {
    for (int c = 0; c < 5; ++c) {
      std::wstring expected = rows[r].cells[c];
      if (const auto dot = expected.find(L'.'); c == 4 && dot != std::wstring::npos) {
        expected.replace(dot, 1, point);
      }
      EXPECT_EQ(RemoteCell(process_.hProcess, list, r, c), expected)
          << "row " << r << " column " << c;
    }
    EXPECT_EQ(brevio::testing::ReadFile(out / rows[r].file), rows[r].trimmed) << rows[r].file;
  }
}

// The same two rows trimmed into a folder that is not there: both fail, and
// the pointer resting on a cell brings up that cell's tip.
TEST_F(BrevioExe, PointerOnACellShowsItsTip) {
  HWND list = Control("ListView1");
  ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
  const std::wstring missing = (work_->path() / "missing").wstring();
  SetTextOf(Control("txtOutput"), missing);
  Press(Control("cmdTrim2"));
  HWND box = WaitFor(Box);
  ASSERT_NE(box, nullptr) << "no message box after the run";
  EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)),
            L"2 of 2 files could not be trimmed. Select a row marked failed to see why.");
  Press(GetDlgItem(box, IDOK));
  ASSERT_TRUE(WaitFor([] { return Box() == nullptr; }));
  ASSERT_EQ(RemoteCell(process_.hProcess, list, 0, 3), L"failed");

  struct Cell {
    const char* what;
    int column;
    std::wstring tip;
  };
  const Cell cells[] = {
      {"a failed size: the reason", 3, L"The folder " + missing + L" does not exist."},
      {"a source: the full path", 1, (work_->path() / "a.htm").wstring()},
  };
  for (const Cell& c : cells) {
    const RECT cell = CellOnScreen(process_.hProcess, list, 0, c.column);
    SetCursorPos((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
    std::wstring seen;
    WaitFor([&] {
      HWND tip = TopWindow(process_.dwProcessId, L"tooltips_class32");
      seen = tip != nullptr ? TextOf(tip) : L"(no tip)";
      return seen == c.tip;
    });
    EXPECT_EQ(seen, c.tip) << c.what;
  }
  SetCursorPos(0, 0);
}

// Runs the test program's messages for `ms` milliseconds: the system
// hands out-of-context event hooks their events through them.
void PumpFor(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// The events a screen reader is sent about the list's rows.
std::vector<std::pair<DWORD, LONG>> list_events;  // event, child
HWND watched_list = nullptr;

void CALLBACK RecordListEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child,
                              DWORD, DWORD) {
  if (window == watched_list && object == OBJID_CLIENT) list_events.emplace_back(event, child);
}

// The same two failed rows reached without a pointer: each row's reason is
// its accessible description, the row the keyboard comes to shows it as a
// tip, and a run tells a screen reader about the rows it writes.
TEST_F(BrevioExe, FailedRowsGiveTheirReasonWithoutAPointer) {
  HWND list = Control("ListView1");
  ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
  ASSERT_EQ(RemoteCell(process_.hProcess, list, 1, 3), L"failed");
  const std::wstring missing = TextOf(Control("txtOutput"));
  const std::wstring reason = L"The folder " + missing + L" does not exist.";
  for (const LONG row : {1, 2}) {
    EXPECT_EQ(Accessible(list).Description(row), reason) << "row " << row;
  }

  // The keyboard's focus in the list, on the second row.
  const DWORD brevio_thread = GetWindowThreadProcessId(main_, nullptr);
  ASSERT_TRUE(AttachThreadInput(GetCurrentThreadId(), brevio_thread, TRUE));
  SetFocus(list);
  AttachThreadInput(GetCurrentThreadId(), brevio_thread, FALSE);
  LVITEMW item{};
  item.stateMask = LVIS_FOCUSED;
  item.state = LVIS_FOCUSED;
  SendItem(process_.hProcess, list, LVM_SETITEMSTATE, 1, item);
  std::wstring seen;
  WaitFor([&] {
    HWND tip = TopWindow(process_.dwProcessId, L"tooltips_class32");
    seen = tip != nullptr ? TextOf(tip) : L"(no tip)";
    return seen == reason;
  });
  EXPECT_EQ(seen, reason) << "the focused row's tip";

  watched_list = list;
  list_events.clear();
  HWINEVENTHOOK hook =
      SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_DESCRIPTIONCHANGE, nullptr,
                      &RecordListEvent, process_.dwProcessId, 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  Press(Control("cmdTrim2"));
  HWND box = nullptr;
  for (int i = 0; i < 100 && box == nullptr; ++i) {
    PumpFor(50);
    box = Box();
  }
  ASSERT_NE(box, nullptr) << "no message box after the run";
  PumpFor(200);
  UnhookWinEvent(hook);
  Press(GetDlgItem(box, IDOK));
  ASSERT_TRUE(WaitFor([] { return Box() == nullptr; }));
  for (const DWORD event :
       {DWORD{EVENT_OBJECT_NAMECHANGE}, DWORD{EVENT_OBJECT_DESCRIPTIONCHANGE}}) {
    for (const LONG row : {1, 2}) {
      EXPECT_EQ(std::count(list_events.begin(), list_events.end(), std::make_pair(event, row)) > 0,
                true)
          << "event " << std::hex << event << " for row " << std::dec << row;
    }
  }
}

// The output folder is the sources' own: the run asks first, No is the
// default, and No writes nothing.
TEST_F(BrevioExe, TrimmingListedFilesInPlaceIsAskedFirst) {
  const std::string a_before = brevio::testing::ReadFile(work_->path() / "a.htm");
  SetTextOf(Control("txtOutput"), work_->path().wstring());
  Press(Control("cmdTrim2"));
  HWND box = WaitFor(Box);
  ASSERT_NE(box, nullptr) << "no question";
  EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)),
            L"2 of the listed files are in the output folder and will be replaced by their "
            L"trimmed text. Trim them in place?");
  // The default push button is No; Yes is not.
  EXPECT_EQ(GetWindowLongW(GetDlgItem(box, IDNO), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(GetWindowLongW(GetDlgItem(box, IDYES), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
  Press(GetDlgItem(box, IDNO));
  ASSERT_TRUE(WaitFor([] { return Box() == nullptr; }));
  EXPECT_EQ(brevio::testing::ReadFile(work_->path() / "a.htm"), a_before);
}

// After the batches: their two rows are there.
TEST_F(BrevioExe, SpaceAndDeleteOnTheListGoToTheForm) {
  HWND list = Control("ListView1");
  ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
  // Both rows selected, the first one current.
  for (int row = 0; row < 2; ++row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = row == 0 ? LVIS_SELECTED | LVIS_FOCUSED : LVIS_SELECTED;
    SendItem(process_.hProcess, list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), item);
  }
  const auto ticks = [list] {
    std::string marks;
    const auto rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
      const auto state =
          SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK);
      marks += (state >> 12) == 2 ? 'x' : '.';
    }
    return marks;
  };
  // The list alone would tick the current row only, and Delete nothing.
  struct Key {
    const char* what;
    WPARAM key;
    std::string ticks_after;  // one mark per row left
  };
  const Key keys[] = {
      {"Space ticks every selected row", VK_SPACE, "xx"},
      {"Space again unticks them", VK_SPACE, ".."},
      {"Delete with none ticked removes the selected rows", VK_DELETE, ""},
  };
  for (const Key& k : keys) {
    PostMessageW(list, WM_KEYDOWN, k.key, 0);
    std::string seen;
    WaitFor([&] {
      seen = ticks();
      return seen == k.ticks_after;
    });
    EXPECT_EQ(seen, k.ticks_after) << k.what;
  }
}

TEST_F(BrevioExe, AboutBoxShowsTheVersionAndHoldsTheMainWindow) {
  // Alt+B, the access key of "A&bout...".
  PostMessageW(main_, WM_SYSCHAR, L'b', LPARAM{1} << 29);
  HWND about = WaitFor([] { return TopWindow(process_.dwProcessId, L"BrevioAbout"); });
  ASSERT_NE(about, nullptr) << "no about box";
  EXPECT_FALSE(IsWindowEnabled(main_));
  EXPECT_EQ(GetWindow(about, GW_OWNER), main_);
  struct Text {
    const char* name;
    std::string expected;
  };
  const Text texts[] = {
      {"frmAbout", "About Brevio"},
      {"Label1", std::string("Brevio ") + brevio::kVersion},
      {"Label2",
       "This free software may trim your web pages like HTML, ASP, PHP, etc. Remove unwanted "
       "characters from your web pages, make your web page files clean and save bandwidth."},
      {"Label3", "Website:"},
      {"Label4", "Support:"},
  };
  for (const Text& t : texts) {
    HWND window = t.name == std::string_view("frmAbout") ? about : GetDlgItem(about, Id(t.name));
    EXPECT_EQ(TextOf(window), Wide(t.expected)) << t.name;
  }
  // Enter presses OK, the default button, which has the focus.
  PostMessageW(GetDlgItem(about, Id("OKButton")), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(about); }));
  EXPECT_TRUE(WaitFor([] { return IsWindowEnabled(main_) != FALSE; }));
}

// The about box's one-line labels show the whole of their text in the box's
// fonts (Verdana, or the face the system puts in its place) at 96, 120 and
// 144 dpi, the values clear of their captions and of the box's edge: a
// program of its own for each resolution.
TEST_F(BrevioExe, AboutLabelsHoldTheirTextAtEveryResolution) {
  constexpr Font kText{L"Verdana", 825, false, false};
  const struct {
    const char* name;
    Font font;
  } labels[] = {
      {"Label1", {L"Verdana", 975, true, false}}, {"Label3", kText}, {"Label4", kText},
      {"Label5", {L"Verdana", 825, false, true}}, {"Label6", kText},
  };
  for (const DWORD dpi : {96, 120, 144}) {
    PROCESS_INFORMATION program{};
    {
      SystemDpi system(dpi);
      std::wstring command = L"\"" + (Here() / L"Brevio.exe").wstring() + L"\"";
      STARTUPINFOW startup{};
      startup.cb = sizeof startup;
      ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 work_->path().c_str(), &startup, &program));
      WaitForInputIdle(program.hProcess, 10000);
    }
    const std::unique_ptr<void, void (*)(void*)> ender(program.hProcess, [](void* process) {
      TerminateProcess(process, 0);
      CloseHandle(process);
    });
    CloseHandle(program.hThread);
    HWND window = WaitFor([&] { return TopWindow(program.dwProcessId, L"BrevioMain"); });
    ASSERT_NE(window, nullptr) << dpi;
    PostMessageW(window, WM_SYSCHAR, L'b', LPARAM{1} << 29);
    HWND about = WaitFor([&] { return TopWindow(program.dwProcessId, L"BrevioAbout"); });
    ASSERT_NE(about, nullptr) << dpi;
    RECT box{};
    GetClientRect(about, &box);
    const auto placed = [about](const char* name) {
      RECT r{};
      HWND label = GetDlgItem(about, Id(name));
      GetWindowRect(label, &r);
      MapWindowPoints(nullptr, about, reinterpret_cast<POINT*>(&r), 2);
      return r;
    };
    for (const auto& label : labels) {
      const std::wstring text = TextOf(GetDlgItem(about, Id(label.name)));
      const SIZE needs = TextExtent(text, label.font, static_cast<int>(dpi), DT_NOPREFIX);
      const RECT r = placed(label.name);
      EXPECT_GE(r.right - r.left, needs.cx) << label.name << " at " << dpi << " dpi";
      EXPECT_GE(r.bottom - r.top, needs.cy) << label.name << " at " << dpi << " dpi";
      EXPECT_LE(r.right, box.right) << label.name << " at " << dpi << " dpi";
    }
    EXPECT_LT(placed("Label3").right, placed("Label5").left) << dpi << " dpi";
    EXPECT_LT(placed("Label4").right, placed("Label6").left) << dpi << " dpi";
  }
}

// Enter acts as in a dialog: it presses the focused push button, and with
// the focus on the check box there is no default button to press and the
// box stays as it is (Space ticks it).
TEST_F(BrevioExe, EnterPressesOnlyPushButtons) {
  const DWORD brevio_thread = GetWindowThreadProcessId(main_, nullptr);
  HWND keep = Control("chkKeep");
  const struct {
    const char* focus;
    LRESULT default_button;  // what the window answers DM_GETDEFID with
  } cases[] = {
      {"cmdAbout", MAKELRESULT(Id("cmdAbout"), DC_HASDEFID)},
      {"chkKeep", 0},
      {"txtOutput", 0},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(AttachThreadInput(GetCurrentThreadId(), brevio_thread, TRUE));
    SetFocus(Control(c.focus));
    AttachThreadInput(GetCurrentThreadId(), brevio_thread, FALSE);
    EXPECT_EQ(SendMessageW(main_, DM_GETDEFID, 0, 0), c.default_button) << c.focus;
  }
  // Enter on the check box, through the window's own key handling.
  const LRESULT ticked = SendMessageW(keep, BM_GETCHECK, 0, 0);
  ASSERT_TRUE(AttachThreadInput(GetCurrentThreadId(), brevio_thread, TRUE));
  SetFocus(keep);
  AttachThreadInput(GetCurrentThreadId(), brevio_thread, FALSE);
  PostMessageW(keep, WM_KEYDOWN, VK_RETURN, 0);
  PostMessageW(keep, WM_KEYUP, VK_RETURN, LPARAM{1} << 31 | LPARAM{1} << 30);
  // Nothing is to change, so there is nothing to wait for: give the window
  // time to take the keys.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_BLOCK, 5000, nullptr);
  EXPECT_EQ(SendMessageW(keep, BM_GETCHECK, 0, 0), ticked);
  EXPECT_EQ(Box(), nullptr);
  // The focus back where the window starts it.
  ASSERT_TRUE(AttachThreadInput(GetCurrentThreadId(), brevio_thread, TRUE));
  SetFocus(Control("txtOpen"));
  AttachThreadInput(GetCurrentThreadId(), brevio_thread, FALSE);
}

// The single-file trim follows chkKeep, ticked and unticked with its access
// key: unticked, the rule alone; ticked, the pre block stays as it is.
TEST_F(BrevioExe, TheKeepBoxDecidesWhatATrimKeeps) {
  work_->write("pre.htm", "<pre>\r\n  x   y\r\n</pre>\r\n  <b>  z  </b>\r\n");
  const fs::path target = work_->path() / "pre-out.htm";
  SetTextOf(Control("txtOpen"), (work_->path() / "pre.htm").wstring());
  SetTextOf(Control("txtSave"), target.wstring());
  const struct {
    bool ticked;
    const char* want;
  } cases[] = {
      {false, "<pre>\r\nx y\r\n</pre>\r\n<b> z </b>\r\n"},
      {true, "<pre>\r\n  x   y\r\n</pre>\r\n<b> z </b>\r\n"},
      {false, "<pre>\r\nx y\r\n</pre>\r\n<b> z </b>\r\n"},
  };
  HWND keep = Control("chkKeep");
  const auto ticked = [keep] { return SendMessageW(keep, BM_GETCHECK, 0, 0) == BST_CHECKED; };
  EXPECT_FALSE(ticked()) << "unticked at start";
  for (const auto& c : cases) {
    if (ticked() != c.ticked) PostMessageW(main_, WM_SYSCHAR, L'p', LPARAM{1} << 29);
    ASSERT_TRUE(WaitFor([&] { return ticked() == c.ticked; })) << "Alt+P";
    // Read only once the trim has put the target there: a reader holding the
    // old one open would make its replacement fail.
    fs::remove(target);
    Press(Control("cmdTrim"));
    std::string seen = "(not there)";
    if (WaitFor([&] { return fs::exists(target); })) seen = brevio::testing::ReadFile(target);
    EXPECT_EQ(seen, c.want) << "ticked " << c.ticked;
  }
}

// Help whose browser cannot be started says so, and where the page is.
// Wine's stand-in for the browser the shell starts is switched off for
// the while, as on a system without one.
TEST_F(BrevioExe, HelpWithoutABrowserSaysWhereThePageIs) {
  HKEY overrides = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &overrides, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(overrides, L"iexplore.exe", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""),
                 sizeof(wchar_t));
  Press(Control("cmdHelp"));
  HWND box = WaitFor(Box);
  RegDeleteValueW(overrides, L"iexplore.exe");
  RegCloseKey(overrides);
  ASSERT_NE(box, nullptr) << "no message box";
  EXPECT_EQ(TextOf(GetDlgItem(box, 0xFFFF)),
            L"The help page could not be opened: no web browser could be started for it.\n\n"
            L"It is here:\n" +
                (Here() / L"tools" / L"brevio_help.htm").wstring());
  Press(GetDlgItem(box, IDOK));
  EXPECT_TRUE(WaitFor([] { return Box() == nullptr; }));
}

// The close box asks the form, which lets an idle window go.
TEST_F(BrevioExe, ClosesWhenAsked) {
  PostMessageW(main_, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(process_.hProcess, 10000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(process_.hProcess, &code);
  EXPECT_EQ(code, 0U);
}

// A fresh start without the library registered: the first use of it says
// how to register it.
TEST_F(BrevioExe, MissingTarnexNamesTheRegistrationCommand) {
  ASSERT_EQ(Export("DllUnregisterServer")(), S_OK);
  Start();
  Press(Control("cmdOutput"));
  HWND box = WaitFor(Box);
  ASSERT_NE(box, nullptr) << "no message box";
  const std::wstring text = TextOf(GetDlgItem(box, 0xFFFF));
  const std::wstring command = L"regsvr32 \"" + (Here() / L"TARNEX.dll").wstring() + L"\"";
  EXPECT_NE(text.find(command), std::wstring::npos) << "no " << command << " in " << text;
  EXPECT_NE(text.find(L"0x80040154"), std::wstring::npos) << "no error code in " << text;
  Press(GetDlgItem(box, IDOK));
  EXPECT_TRUE(WaitFor([] { return Box() == nullptr; }));
  PostMessageW(main_, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process_.hProcess, 10000), WAIT_OBJECT_0);
}

}  // namespace

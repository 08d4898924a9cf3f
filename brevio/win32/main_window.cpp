#include "main_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <utility>

#include "about_box.h"
#include "accessible.h"
#include "brevio/forms/gradient.h"
#include "brevio/forms/layout.h"
#include "brevio/forms/paths.h"
#include "brevio/forms/texts.h"
#include "brevio/version.h"
#include "common_dialog.h"
#include "dpi.h"
#include "wide.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace brevio::win32 {
namespace {

using forms::MainForm;

constexpr wchar_t kClassName[] = L"BrevioMain";
constexpr UINT kRunTask = WM_APP + 1;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr int kFontPoints = 825;  // hundredths of a point

constexpr int MainId(std::string_view name) {
  for (const forms::ControlPlace& place : forms::kMainControls) {
    if (name == place.name) return place.id;
  }
  return -1;
}

constexpr int kListId = MainId("ListView1");
constexpr int kOutputId = MainId("txtOutput");
constexpr int kKeepId = MainId("chkKeep");

constexpr std::pair<int, void (MainForm::*)()> kClicks[] = {
    {MainId("cmdOpen"), &MainForm::cmdOpen_Click},
    {MainId("cmdSave"), &MainForm::cmdSave_Click},
    {MainId("cmdTrim"), &MainForm::cmdTrim_Click},
    {MainId("cmdAdd"), &MainForm::cmdAdd_Click},
    {MainId("cmdRemove"), &MainForm::cmdRemove_Click},
    {MainId("cmdOutput"), &MainForm::cmdOutput_Click},
    {MainId("cmdTrim2"), &MainForm::cmdTrim2_Click},
    {MainId("cmdHelp"), &MainForm::cmdHelp_Click},
    {MainId("cmdAbout"), &MainForm::cmdAbout_Click},
    {MainId("cmdExit"), &MainForm::cmdExit_Click},
};

// Hands the painter's twips on to a 15-twips-per-pixel surface, scaled so
// that a pixel is 1440 / dpi twips.
class DpiSurface : public forms::DrawingSurface {
 public:
  DpiSurface(forms::DrawingSurface& pixels, UINT dpi)
      : pixels_(pixels), scale_(static_cast<float>(dpi) / 96.0F) {}
  void Clear() override { pixels_.Clear(); }
  void Line(float x1, float y1, float x2, float y2, std::uint32_t colour) override {
    pixels_.Line(x1 * scale_, y1 * scale_, x2 * scale_, y2 * scale_, colour);
  }

 private:
  forms::DrawingSurface& pixels_;
  float scale_;
};

std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of(L'\\'));
}

// C:\Program Files\Brevio as file:///C:/Program%20Files/Brevio.
std::string FileAddress(const std::wstring& folder) {
  std::string address = "file:///";
  for (const char c : Utf8(folder)) {
    if (c == '\\') {
      address += '/';
    } else if (c == ' ' || c == '%' || c == '#') {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
      address += escaped;
    } else {
      address += c;
    }
  }
  return address;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance) : instance_(instance) {}

MainWindow::~MainWindow() {
  // The form first: it stops and joins its worker, whose posts are dropped.
  form_.reset();
  if (hwnd_ != nullptr && IsWindow(hwnd_)) DestroyWindow(hwnd_);
  ReleaseBackground();
  if (output_brush_ != nullptr) DeleteObject(output_brush_);
  if (font_ != nullptr) DeleteObject(font_);
}

bool MainWindow::Create(int show) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &MainWindow::WindowProc;
  wc.hInstance = instance_;
  wc.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(1));
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);

  hwnd_ =
      CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, Wide(kProductTitle).c_str(), kStyle,
                      CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance_, this);
  if (hwnd_ == nullptr) return false;
  dpi_ = WindowDpi(hwnd_);
  output_brush_ = CreateSolidBrush(forms::kOutputBoxColour);
  CreateControls();
  Layout();
  Centre(hwnd_, nullptr);
  library_ = std::make_unique<forms::TarnexLibrary>(Library());
  forms::FormSettings settings;
  // The ZIP and the installer put the help page in tools\ beside the program.
  settings.help_site = FileAddress(ProgramFolder());
  form_ = std::make_unique<MainForm>(*this, *library_, std::move(settings));
  ShowWindow(hwnd_, show);
  UpdateWindow(hwnd_);
  // As on every form, the first control in tab order starts with the focus.
  SetFocus(GetNextDlgTabItem(hwnd_, nullptr, FALSE));
  return true;
}

forms::TarnexLibrary MainWindow::Library() const {
  const std::wstring folder = ProgramFolder();
  return forms::TarnexLibrary(
      [](comrt::ComPtr<_CTarnex>& out) {
        return CoCreateInstance(CLSID_CTarnex, nullptr, CLSCTX_INPROC_SERVER, IID__CTarnex,
                                out.put_void());
      },
      [library = Utf8(folder) + "\\TARNEX.dll"](HRESULT hr) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
        return "The Tarnex library is missing or not registered, so Brevio cannot do this (error " +
               std::string(code) + ").\n\nRegister it with:\nregsvr32 \"" + library + "\"";
      });
}

// ------------------------------------------------------------------ building

void MainWindow::CreateControls() {
  // Created in tab order: the focus follows the order the children were made.
  for (const forms::ControlPlace& place : forms::kMainControls) {
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD ex_style = 0;
    const wchar_t* window_class = L"STATIC";
    switch (place.kind) {
      case forms::ControlKind::kEdit:
        window_class = L"EDIT";
        style |= WS_TABSTOP | ES_AUTOHSCROLL;
        ex_style = WS_EX_CLIENTEDGE;
        break;
      case forms::ControlKind::kButton:
        window_class = L"BUTTON";
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
      case forms::ControlKind::kLabel:
        style |= SS_LEFT;
        break;
      case forms::ControlKind::kList:
        window_class = WC_LISTVIEWW;
        style |= WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS;
        ex_style = WS_EX_CLIENTEDGE;
        break;
      case forms::ControlKind::kCheck:
        // The button ticks itself, so screen readers and Space know it as one.
        window_class = L"BUTTON";
        style |= WS_TABSTOP | BS_AUTOCHECKBOX;
        break;
    }
    HWND control = CreateWindowExW(
        ex_style, window_class, Wide(place.caption).c_str(), style, 0, 0, 0, 0, hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(place.id)), instance_, nullptr);
    // The platform names an edit after the label before it and a button
    // after its caption: the table's name says what each is for.
    if (place.accessible != nullptr) {
      GiveAccessibleAnswers(control, place.accessible, 0, place.kind == forms::ControlKind::kLabel);
    }
  }
  list_ = GetDlgItem(hwnd_, kListId);
  const DWORD list_style = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
  SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, list_style, list_style);
  int column = 0;
  for (const forms::ColumnPlace& place : forms::kListColumns) {
    std::wstring caption = Wide(place.caption);
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
    c.fmt = place.right_aligned ? LVCFMT_RIGHT : LVCFMT_LEFT;
    c.cx = place.width;
    c.pszText = caption.data();
    c.iSubItem = column;
    SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column++),
                 reinterpret_cast<LPARAM>(&c));
  }
  SetWindowSubclass(list_, &MainWindow::ListProc, 1, reinterpret_cast<DWORD_PTR>(this));
  DragAcceptFiles(list_, TRUE);
  CreateCellTips();
}

// The cells' tips come from a tooltip of our own rather than the list's info
// tips, which not every implementation of the list shows. One tool covers the
// whole list and asks for its text each time it shows; owned by the window,
// it stays above it and is destroyed with it.
void MainWindow::CreateCellTips() {
  cell_tips_ =
      CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                      WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance_, nullptr);
  if (cell_tips_ == nullptr) return;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(list_);
  tool.lpszText = LPSTR_TEXTCALLBACKW;
  SendMessageW(cell_tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));

  // The keyboard's counterpart: the focused row's reason, placed at the row
  // by the window rather than by the pointer.
  focus_tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                               nullptr, instance_, nullptr);
  if (focus_tip_ == nullptr) return;
  tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
  tool.lpszText = focus_tip_text_.data();
  SendMessageW(focus_tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// Shows the focused row's reason below the row while the list has the
// keyboard's focus; takes it down otherwise.
void MainWindow::ShowFocusTip() {
  if (focus_tip_ == nullptr) return;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(list_);
  const int row = CurrentRow();
  const std::string reason = GetFocus() == list_ ? Tip(row, forms::kColTargetSize) : std::string();
  if (reason.empty()) {
    SendMessageW(focus_tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
    return;
  }
  RECT bounds{};
  bounds.left = LVIR_BOUNDS;
  SendMessageW(list_, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&bounds));
  POINT at{bounds.left, bounds.bottom};
  ClientToScreen(list_, &at);
  focus_tip_text_ = BreakLongRuns(focus_tip_, Wide(reason));
  tool.lpszText = focus_tip_text_.data();
  SendMessageW(focus_tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageW(focus_tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(at.x, at.y));
  SendMessageW(focus_tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

// Size, controls, columns and fonts for the window's current resolution.
void MainWindow::Layout() {
  const SIZE outer =
      OuterSize(Px(forms::kClientWidthTwips, dpi_), Px(forms::kClientHeightTwips, dpi_), kStyle,
                WS_EX_CONTROLPARENT, dpi_);
  SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx, outer.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  HFONT old_font =
      std::exchange(font_, MakeFont(L"MS Shell Dlg 2", kFontPoints, false, false, dpi_));
  for (const forms::ControlPlace& place : forms::kMainControls) {
    HWND control = GetDlgItem(hwnd_, place.id);
    MoveWindow(control, Px(place.twips.left, dpi_), Px(place.twips.top, dpi_),
               Px(place.twips.width, dpi_), Px(place.twips.height, dpi_), FALSE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  }
  // A long path wraps within the list's width instead of running off the screen.
  RECT list_box{};
  GetWindowRect(list_, &list_box);
  SendMessageW(cell_tips_, TTM_SETMAXTIPWIDTH, 0, list_box.right - list_box.left);
  SendMessageW(focus_tip_, TTM_SETMAXTIPWIDTH, 0, list_box.right - list_box.left);
  int column = 0;
  for (const forms::ColumnPlace& place : forms::kListColumns) {
    SendMessageW(list_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column++),
                 MulDiv(place.width, static_cast<int>(dpi_), 96));
  }
  if (old_font != nullptr) DeleteObject(old_font);
  PaintBackground();
  InvalidateRect(hwnd_, nullptr, TRUE);
}

// The gradient and the two separator lines, painted once into a top-down
// 32-bit image; WM_PAINT and the controls only copy from it.
void MainWindow::PaintBackground() {
  ReleaseBackground();
  RECT client{};
  GetClientRect(hwnd_, &client);
  const int width = std::max<int>(client.right, 1), height = std::max<int>(client.bottom, 1);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  background_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (background_ == nullptr) return;
  background_size_ = {width, height};

  forms::TwipsPixelSurface pixels(static_cast<std::uint32_t*>(bits), width, height, width,
                                  forms::kFormBackground);
  DpiSurface surface(pixels, dpi_);
  // The client size in twips, rounded as the drawing surface hands it over.
  const double twips_per_pixel = 1440.0 / static_cast<double>(dpi_);
  forms::ClearAndPaintGradient(surface, 0, 0, forms::RoundHalfEven(width * twips_per_pixel),
                               forms::RoundHalfEven(height * twips_per_pixel),
                               forms::kGradientStart, forms::kGradientEnd, true);
  for (const forms::LinePlace& line : forms::kMainLines) {
    surface.Line(static_cast<float>(line.x1), static_cast<float>(line.y1),
                 static_cast<float>(line.x2), static_cast<float>(line.y2), line.colour);
  }
  GdiFlush();
  background_dc_ = CreateCompatibleDC(nullptr);
  background_old_ = SelectObject(background_dc_, background_);
  background_brush_ = CreatePatternBrush(background_);
}

void MainWindow::ReleaseBackground() {
  if (background_dc_ != nullptr) {
    SelectObject(background_dc_, background_old_);
    DeleteDC(background_dc_);
    background_dc_ = nullptr;
  }
  if (background_brush_ != nullptr) DeleteObject(std::exchange(background_brush_, nullptr));
  if (background_ != nullptr) DeleteObject(std::exchange(background_, nullptr));
}

// ------------------------------------------------------------------ messages

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* self = static_cast<MainWindow*>(create->lpCreateParams);
    self->hwnd_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT MainWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED && lparam != 0) Click(LOWORD(wparam));
      return 0;
    case DM_GETDEFID: {
      // Enter presses the push button that has the focus. A check box is a
      // button too, but as in any dialog only Space ticks it: with the focus
      // there, the window has no default button and Enter does nothing.
      HWND focus = GetFocus();
      wchar_t window_class[16] = {};
      if (focus != nullptr && GetParent(focus) == hwnd_ &&
          GetClassNameW(focus, window_class, 16) > 0 && lstrcmpiW(window_class, L"Button") == 0) {
        const auto type = static_cast<DWORD>(GetWindowLongPtrW(focus, GWL_STYLE)) & BS_TYPEMASK;
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) {
          return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
        }
      }
      return 0;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->hwndFrom == cell_tips_ && header->code == TTN_GETDISPINFOW) {
        FillCellTip(*reinterpret_cast<NMTTDISPINFOW*>(lparam));
      }
      if (header->hwndFrom == list_ && header->code == LVN_ITEMCHANGED) {
        ListItemChanged(*reinterpret_cast<const NMLISTVIEW*>(lparam));
      }
      return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
      return ControlColour(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_PRINTCLIENT:
      // Themed buttons draw their surroundings from here.
      BitBlt(reinterpret_cast<HDC>(wparam), 0, 0, background_size_.cx, background_size_.cy,
             background_dc_, 0, 0, SRCCOPY);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd_, &paint);
      const RECT& r = paint.rcPaint;
      BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, background_dc_, r.left, r.top,
             SRCCOPY);
      EndPaint(hwnd_, &paint);
      return 0;
    }
    case WM_SETCURSOR:
      if (busy_) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      // A plain window forgets its focused control when left: keep it.
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd_, focus)) focus_ = focus;
        return 0;
      }
      if (focus_ != nullptr && IsWindow(focus_)) {
        SetFocus(focus_);
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wparam);
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      return 0;
    }
    case WM_MOVE:
      ShowFocusTip();
      break;
    case kRunTask:
      RunOneTask();
      return 0;
    case WM_CLOSE:
      // Close box, Alt+F4: the form decides; a running batch closes the
      // window itself after its current file.
      if (form_ == nullptr || form_->Form_QueryUnload()) DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY: {
      std::deque<std::function<void()>> dropped;
      {
        std::lock_guard<std::mutex> lock(tasks_mutex_);
        gone_ = true;
        dropped.swap(tasks_);
      }
      PostQuitMessage(0);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

void MainWindow::Click(int id) {
  if (form_ == nullptr) return;
  for (const auto& [button, handler] : kClicks) {
    if (button == id) {
      (form_.get()->*handler)();
      return;
    }
  }
}

LRESULT MainWindow::ControlColour(HDC dc, HWND control) {
  if (GetDlgCtrlID(control) == kOutputId) {
    // Read-only while a batch runs, when it asks as a static would.
    SetBkColor(dc, forms::kOutputBoxColour);
    return reinterpret_cast<LRESULT>(output_brush_);
  }
  wchar_t window_class[16] = {};
  GetClassNameW(control, window_class, 16);
  if (lstrcmpiW(window_class, L"Edit") == 0) {
    return DefWindowProcW(hwnd_, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                          reinterpret_cast<LPARAM>(control));
  }
  // Labels and buttons show the gradient behind them.
  POINT origin{0, 0};
  MapWindowPoints(control, hwnd_, &origin, 1);
  SetBkMode(dc, TRANSPARENT);
  SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
  return reinterpret_cast<LRESULT>(background_brush_);
}

// ------------------------------------------------------------------ ListView1

LRESULT CALLBACK MainWindow::ListProc(HWND list, UINT message, WPARAM wparam, LPARAM lparam,
                                      UINT_PTR, DWORD_PTR self) {
  (void)list;
  return reinterpret_cast<MainWindow*>(self)->HandleList(message, wparam, lparam);
}

LRESULT MainWindow::HandleList(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_KEYDOWN:
      // The form decides what Space ticks, and whether anything is ticked or
      // removed while a run lasts; the list's own toggle never runs.
      if (wparam == VK_SPACE) {
        if (form_ != nullptr) form_->ListView1_Space();
        return 0;
      }
      if (wparam == VK_DELETE) {
        if (form_ != nullptr) form_->ListView1_Delete();
        return 0;
      }
      break;
    case WM_CHAR:
      if (wparam == L' ') return 0;
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_VSCROLL:
    case WM_MOUSEWHEEL: {
      // The tip follows the focus and its row.
      const LRESULT result = DefSubclassProc(list_, message, wparam, lparam);
      ShowFocusTip();
      return result;
    }
    case kDescribeChild: {
      // A failed or skipped row's reason, for a screen reader.
      const std::string reason = Tip(static_cast<int>(wparam) - 1, forms::kColTargetSize);
      if (reason.empty()) break;
      *reinterpret_cast<std::wstring*>(lparam) = Wide(reason);
      return TRUE;
    }
    case WM_DROPFILES: {
      auto* drop = reinterpret_cast<HDROP>(wparam);
      std::vector<std::string> paths, refused;
      const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        // A name UTF-8 cannot hold exactly is refused, never passed on as a look-alike.
        if (std::optional<std::string> exact = forms::ExactUtf8Path(path)) {
          paths.push_back(std::move(*exact));
        } else {
          refused.push_back(forms::ShownPath(path));
        }
      }
      DragFinish(drop);
      if (form_ != nullptr && form_->AcceptsDrops()) form_->ListView1_Drop(paths, refused);
      return 0;
    }
    case WM_MOUSEMOVE: {
      // The tool is the whole list, the tips are per cell: moving to another
      // cell takes the old tip down, and the move relayed after it starts the
      // wait for the next one, which is asked for afresh.
      const POINT at{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
      const auto [row, column] = CellAt(at);
      if (row != tip_row_ || column != tip_column_) {
        tip_row_ = row;
        tip_column_ = column;
        SendMessageW(cell_tips_, TTM_POP, 0, 0);
      }
      RelayToTips(message, wparam, lparam);
      break;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
      RelayToTips(message, wparam, lparam);
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(list_, &MainWindow::ListProc, 1);
      break;
    default:
      break;
  }
  return DefSubclassProc(list_, message, wparam, lparam);
}

// Row and column under a point of the list's client area; -1 off the rows.
std::pair<int, int> MainWindow::CellAt(POINT at) const {
  LVHITTESTINFO hit{};
  hit.pt = at;
  if (SendMessageW(list_, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) < 0) {
    return {-1, -1};
  }
  return {hit.iItem, hit.iSubItem};
}

void MainWindow::RelayToTips(UINT message, WPARAM wparam, LPARAM lparam) const {
  MSG relayed{};
  relayed.hwnd = list_;
  relayed.message = message;
  relayed.wParam = wparam;
  relayed.lParam = lparam;
  relayed.time = static_cast<DWORD>(GetMessageTime());
  GetCursorPos(&relayed.pt);
  SendMessageW(cell_tips_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

// The tip wraps its lines at spaces only: a run without one that is wider than
// the tip, as a path often is, would be cut off. Such a run is broken after
// the last backslash that still fits.
std::wstring MainWindow::BreakLongRuns(HWND tips, const std::wstring& text) const {
  const auto limit = static_cast<int>(SendMessageW(tips, TTM_GETMAXTIPWIDTH, 0, 0));
  if (limit <= 0) return text;
  HDC dc = GetDC(tips);
  if (dc == nullptr) return text;
  HGDIOBJ old_font =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(tips, WM_GETFONT, 0, 0)));
  const auto width = [dc](const std::wstring& part) {
    SIZE size{};
    GetTextExtentPoint32W(dc, part.c_str(), static_cast<int>(part.size()), &size);
    return size.cx;
  };
  std::wstring broken, line;  // `line`: the run so far since its last break
  for (const wchar_t c : text) {
    if (c == L' ' || c == L'\n') {
      broken += line;
      broken += c;
      line.clear();
      continue;
    }
    line += c;
    if (width(line) <= limit) continue;
    // Not after the character just added: that would leave the line too wide.
    const std::size_t cut =
        line.size() < 2 ? std::wstring::npos : line.find_last_of(L'\\', line.size() - 2);
    if (cut == std::wstring::npos) continue;
    broken += line.substr(0, cut + 1);
    broken += L'\n';
    line.erase(0, cut + 1);
  }
  SelectObject(dc, old_font);
  ReleaseDC(tips, dc);
  return broken + line;
}

// The tip of the cell under the pointer; an empty text shows none.
void MainWindow::FillCellTip(NMTTDISPINFOW& info) {
  POINT at{};
  GetCursorPos(&at);
  ScreenToClient(list_, &at);
  const auto [row, column] = CellAt(at);
  // Kept in the window: a path may be longer than the notification's own buffer.
  tip_text_ = BreakLongRuns(cell_tips_, Wide(Tip(row, column)));
  info.hinst = nullptr;
  info.szText[0] = L'\0';
  info.lpszText = tip_text_.data();
}

std::string MainWindow::Tip(int row, int column) const {
  if (form_ == nullptr || row < 0 || row >= static_cast<int>(form_->rows().size())) return {};
  return forms::CellTip(form_->rows()[static_cast<std::size_t>(row)], column);
}

void MainWindow::DrawRow(int row, bool announce) {
  const forms::ListRow& data = form_->rows().at(static_cast<std::size_t>(row));
  bool changed = false;
  for (int c = 0; c < forms::kColumnCount; ++c) {
    std::wstring text = Wide(forms::CellText(data, c));
    wchar_t shown[64] = {};
    LVITEMW get{};
    get.iSubItem = c;
    get.pszText = shown;
    get.cchTextMax = 64;
    const auto n = static_cast<std::size_t>(SendMessageW(
        list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&get)));
    if (text.size() < 63 && n == text.size() && text == shown) continue;
    LVITEMW item{};
    item.iSubItem = c;
    item.pszText = text.data();
    SendMessageW(list_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
    changed = true;
  }
  const auto state = static_cast<UINT>(
      SendMessageW(list_, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
  if (((state >> 12) == 2) != data.ticked) {
    LVITEMW item{};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(data.ticked ? 2 : 1);
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
  }
  // What a screen reader has as the row's description.
  std::string described = forms::CellTip(data, forms::kColTargetSize);
  std::string& reason = reasons_.at(static_cast<std::size_t>(row));
  const bool new_reason = reason != described;
  reason = std::move(described);
  // Rows written during a run are announced, so that a screen reader can follow.
  if (announce && changed) NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, list_, OBJID_CLIENT, row + 1);
  if (announce && new_reason) {
    NotifyWinEvent(EVENT_OBJECT_DESCRIPTIONCHANGE, list_, OBJID_CLIENT, row + 1);
  }
}

void MainWindow::RowsAdded(int first, int count) {
  drawing_ = true;
  SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
  for (int row = first; row < first + count; ++row) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    wchar_t empty[] = L"";
    item.pszText = empty;
    SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    reasons_.insert(reasons_.begin() + row, std::string());
    DrawRow(row, false);
  }
  SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
  drawing_ = false;
}

void MainWindow::RowsRemoved(const std::vector<int>& rows) {
  drawing_ = true;
  // From the last, so the positions still to go stay valid.
  for (std::size_t i = rows.size(); i-- > 0;) {
    SendMessageW(list_, LVM_DELETEITEM, static_cast<WPARAM>(rows[i]), 0);
    reasons_.erase(reasons_.begin() + rows[i]);
  }
  drawing_ = false;
  ShowFocusTip();
}

void MainWindow::RowsChanged(int first, int count) {
  drawing_ = true;
  for (int row = first; row < first + count; ++row) DrawRow(row, form_->running());
  drawing_ = false;
  // The reason of the focused row, when it just came.
  const int current = CurrentRow();
  if (current >= first && current < first + count) ShowFocusTip();
}

void MainWindow::ListItemChanged(const NMLISTVIEW& change) {
  if (form_ == nullptr || change.iItem < 0 || (change.uChanged & LVIF_STATE) == 0) return;
  // The keyboard came to another row: its reason, if any, shows at it.
  if ((change.uNewState & ~change.uOldState & LVIS_FOCUSED) != 0) ShowFocusTip();
  if (drawing_) return;
  const UINT old_image = (change.uOldState & LVIS_STATEIMAGEMASK) >> 12;
  const UINT new_image = (change.uNewState & LVIS_STATEIMAGEMASK) >> 12;
  // A box ticked with the pointer; 0 is an item still being set up.
  if (old_image != 0 && new_image != 0 && old_image != new_image) {
    form_->ListView1_Tick(change.iItem, new_image == 2);
  }
}

std::vector<int> MainWindow::SelectedRows() const {
  std::vector<int> rows;
  int row = -1;
  while ((row = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(row),
                                              LVNI_SELECTED))) != -1) {
    rows.push_back(row);
  }
  return rows;
}

int MainWindow::CurrentRow() const {
  return static_cast<int>(
      SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

void MainWindow::ScrollToRow(int row) {
  SendMessageW(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

// ------------------------------------------------------------------ the rest of the view

HWND MainWindow::Item(forms::Control control) const {
  constexpr std::pair<forms::Control, int> kIds[] = {
      {forms::Control::txtOpen, MainId("txtOpen")},
      {forms::Control::txtSave, MainId("txtSave")},
      {forms::Control::lblLenOpen, MainId("lblLenOpen")},
      {forms::Control::lblLenSave, MainId("lblLenSave")},
      {forms::Control::txtOutput, kOutputId},
      {forms::Control::chkKeep, kKeepId},
  };
  for (const auto& [which, id] : kIds) {
    if (which == control) return GetDlgItem(hwnd_, id);
  }
  return nullptr;
}

std::string MainWindow::Text(forms::Control control) const {
  return Utf8(WindowText(Item(control)));
}

void MainWindow::SetText(forms::Control control, const std::string& text) {
  SetWindowTextW(Item(control), Wide(text).c_str());
}

void MainWindow::SetReadOnly(forms::Control control, bool read_only) {
  HWND item = Item(control);
  if (GetDlgCtrlID(item) == kKeepId) {
    EnableWindow(item, read_only ? FALSE : TRUE);  // a check box has no read-only state
    return;
  }
  SendMessageW(item, EM_SETREADONLY, read_only ? TRUE : FALSE, 0);
}

bool MainWindow::Checked(forms::Control control) const {
  return SendMessageW(Item(control), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::optional<std::vector<std::string>> MainWindow::RunFileDialog(
    const forms::FileDialogRequest& request) {
  return ShowFileDialog(hwnd_, request);
}

void MainWindow::ShowMessage(forms::MessageIcon icon, const std::string& text) {
  const UINT type = icon == forms::MessageIcon::kWarning ? MB_ICONWARNING : MB_ICONINFORMATION;
  MessageBoxW(hwnd_, Wide(text).c_str(), Wide(forms::kProgramTitle).c_str(), MB_OK | type);
}

bool MainWindow::AskYesNo(const std::string& text) {
  // No is the default button: Enter alone never replaces files.
  return MessageBoxW(hwnd_, Wide(text).c_str(), Wide(forms::kProgramTitle).c_str(),
                     MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void MainWindow::ShowAbout() {
  AboutBox box(instance_, hwnd_, [this]() -> _CTarnex* {
    std::string why;
    if (library_->Ready(why)) return library_->object();
    ShowMessage(forms::MessageIcon::kWarning, why);
    return nullptr;
  });
  box.RunModal();
}

std::int32_t MainWindow::WindowHandle() const {
  // Window handles carry 32 significant bits on 64-bit Windows too.
  return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(hwnd_));
}

std::string MainWindow::DecimalPoint() const {
  wchar_t point[8] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, point, 8) <= 1) return ".";
  return Utf8(point);
}

void MainWindow::SetBusy(bool busy) {
  busy_ = busy;
  // Show the change now, not at the next mouse move.
  POINT at{};
  GetCursorPos(&at);
  HWND under = WindowFromPoint(at);
  if (under == hwnd_ || IsChild(hwnd_, under)) {
    SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  }
}

void MainWindow::CloseWindow() {
  if (hwnd_ != nullptr && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

void MainWindow::PostToWindow(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(tasks_mutex_);
  if (gone_) return;
  tasks_.push_back(std::move(task));
  PostMessageW(hwnd_, kRunTask, 0, 0);
}

void MainWindow::RunOneTask() {
  std::function<void()> task;
  {
    std::lock_guard<std::mutex> lock(tasks_mutex_);
    if (tasks_.empty()) return;
    task = std::move(tasks_.front());
    tasks_.pop_front();
  }
  task();
}

}  // namespace brevio::win32

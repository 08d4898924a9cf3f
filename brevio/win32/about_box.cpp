#include "about_box.h"

#include <oleacc.h>

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "accessible.h"
#include "brevio/forms/layout.h"
#include "dpi.h"
#include "wide.h"

namespace brevio::win32 {
namespace {

constexpr wchar_t kClassName[] = L"BrevioAbout";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
constexpr wchar_t kFace[] = L"Verdana";

constexpr const forms::ControlPlace& AboutPlace(std::string_view name) {
  for (const forms::ControlPlace& place : forms::kAboutControls) {
    if (name == place.name) return place;
  }
  // Evaluated at compile time: a name missing from the table stops the build.
  throw std::invalid_argument("no such control in the about box");
}

constexpr int AboutId(std::string_view name) { return AboutPlace(name).id; }

constexpr int kOkId = AboutId("OKButton");
constexpr int kTitleId = AboutId("Label1");
constexpr int kLinkId = AboutId("Label5");
constexpr int kImageId = AboutId("Image1");

// The captions of the two lines and the values after them.
constexpr std::pair<const char*, const char*> kLines[] = {{"Label3", "Label5"},
                                                          {"Label4", "Label6"}};
// The design's room between a caption and its value.
constexpr int kValueGapTwips =
    AboutPlace("Label5").twips.left -
    std::max(AboutPlace("Label3").twips.left + AboutPlace("Label3").twips.width,
             AboutPlace("Label4").twips.left + AboutPlace("Label4").twips.width);

// The extent of a control's text on one line in its own font.
SIZE TextSize(HWND control) {
  HDC dc = GetDC(control);
  HGDIOBJ old =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  const std::wstring text = WindowText(control);
  RECT extent{};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &extent,
            DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return {extent.right - extent.left, extent.bottom - extent.top};
}

}  // namespace

AboutBox::AboutBox(HINSTANCE instance, HWND owner, std::function<_CTarnex*()> tarnex)
    : instance_(instance), owner_(owner), form_(*this, std::move(tarnex)) {}

AboutBox::~AboutBox() {
  if (hwnd_ != nullptr && IsWindow(hwnd_)) DestroyWindow(hwnd_);
  for (HFONT font : {font_, title_font_, link_font_}) {
    if (font != nullptr) DeleteObject(font);
  }
  if (icon_ != nullptr) DestroyIcon(icon_);
}

bool AboutBox::Create() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &AboutBox::WindowProc;
  wc.hInstance = instance_;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);  // fails harmlessly from the second showing on

  hwnd_ = CreateWindowExW(kExStyle, kClassName, Wide(forms::kAboutTitle).c_str(), kStyle,
                          CW_USEDEFAULT, CW_USEDEFAULT, 100, 100, owner_, nullptr, instance_, this);
  if (hwnd_ == nullptr) return false;
  const UINT dpi = WindowDpi(hwnd_);
  const SIZE outer = OuterSize(Px(forms::kAboutWidthTwips, dpi), Px(forms::kAboutHeightTwips, dpi),
                               kStyle, kExStyle, dpi);
  SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER);
  Centre(hwnd_, owner_);

  font_ = MakeFont(kFace, 825, false, false, dpi);
  title_font_ = MakeFont(kFace, 975, true, false, dpi);
  link_font_ = MakeFont(kFace, 825, false, true, dpi);
  const int icon_size = MulDiv(32, static_cast<int>(dpi), 96);
  icon_ = static_cast<HICON>(
      LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON, icon_size, icon_size, 0));

  for (const forms::ControlPlace& place : forms::kAboutControls) {
    DWORD style = WS_CHILD | WS_VISIBLE;
    const wchar_t* window_class = L"STATIC";
    HFONT font = font_;
    if (place.kind == forms::ControlKind::kButton) {
      window_class = L"BUTTON";
      style |= WS_TABSTOP | BS_DEFPUSHBUTTON;
    } else if (place.id == kImageId) {
      style |= SS_ICON;
    } else if (place.id == kLinkId) {
      style |= SS_NOTIFY | SS_NOPREFIX;
      font = link_font_;
    } else {
      style |= SS_NOPREFIX;
      if (place.id == kTitleId) font = title_font_;
    }
    HWND control = CreateWindowExW(
        0, window_class, Wide(place.caption).c_str(), style, Px(place.twips.left, dpi),
        Px(place.twips.top, dpi), Px(place.twips.width, dpi), Px(place.twips.height, dpi), hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(place.id)), instance_, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    // The address is a link to follow, not just text; the icon has no text.
    const LONG role = place.id == kLinkId ? ROLE_SYSTEM_LINK : 0;
    if (place.accessible != nullptr || role != 0) {
      GiveAccessibleAnswers(control, place.accessible, role);
    }
    if (place.id == kImageId)
      SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(icon_), 0);
  }
  FitLabels();
  return true;
}

// The design's sizes suit its own font. Another face standing in for it
// (Tahoma where Verdana is missing) or another resolution draws wider or
// taller text, which a static control cuts off: each one-line label is
// given at least the size of its text, the values start clear of the wider
// caption, and nothing runs past the box's right edge.
void AboutBox::FitLabels() {
  const UINT dpi = WindowDpi(hwnd_);
  RECT box{};
  GetClientRect(hwnd_, &box);
  const auto fit = [this, dpi](const char* name, int left, int right_limit) {
    const forms::TwipsRect& design = AboutPlace(name).twips;
    HWND label = GetDlgItem(hwnd_, AboutId(name));
    const SIZE text = TextSize(label);
    const int width =
        std::min<int>(std::max<int>(Px(design.width, dpi), text.cx), right_limit - left);
    const int height = std::max<int>(Px(design.height, dpi), text.cy);
    MoveWindow(label, left, Px(design.top, dpi), width, height, TRUE);
    return left + width;
  };
  // The title ends before the OK button.
  fit("Label1", Px(AboutPlace("Label1").twips.left, dpi),
      Px(AboutPlace("OKButton").twips.left, dpi));
  int values = Px(AboutPlace("Label5").twips.left, dpi);
  for (const auto& [caption, value] : kLines) {
    const int right = fit(caption, Px(AboutPlace(caption).twips.left, dpi), box.right);
    values = std::max(values, right + Px(kValueGapTwips, dpi));
  }
  for (const auto& [caption, value] : kLines) fit(value, values, box.right);
}

void AboutBox::RunModal() {
  if (!Create()) return;
  form_.Form_Load();
  EnableWindow(owner_, FALSE);
  ShowWindow(hwnd_, SW_SHOW);
  SetFocus(GetDlgItem(hwnd_, kOkId));
  MSG msg;
  bool quit = false;
  while (!closed_ && IsWindow(hwnd_)) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      quit = got == 0;
      break;
    }
    if (!IsDialogMessageW(hwnd_, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  // The owner comes back before the box goes, so it gets the activation.
  EnableWindow(owner_, TRUE);
  if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
  hwnd_ = nullptr;
  if (quit) PostQuitMessage(static_cast<int>(msg.wParam));
}

void AboutBox::CloseBox() {
  closed_ = true;
  // Wakes the box's message loop, which may have nothing else to wait for.
  if (hwnd_ != nullptr) PostMessageW(hwnd_, WM_NULL, 0, 0);
}

LRESULT CALLBACK AboutBox::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<AboutBox*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->hwnd_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<AboutBox*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT AboutBox::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (id == kLinkId) {
        if (HIWORD(wparam) == STN_CLICKED) form_.Label5_Click();
      } else if (id == kOkId || id == IDCANCEL) {
        form_.OKButton_Click();  // Esc closes as OK does
      }
      return 0;
    }
    case DM_GETDEFID:
      return MAKELRESULT(kOkId, DC_HASDEFID);
    case WM_CTLCOLORSTATIC:
      if (GetDlgCtrlID(reinterpret_cast<HWND>(lparam)) == kLinkId) {
        SetTextColor(reinterpret_cast<HDC>(wparam), RGB(0, 0, 255));
        SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_SETCURSOR:
      if (GetDlgCtrlID(reinterpret_cast<HWND>(wparam)) == kLinkId) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      form_.OKButton_Click();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

HWND AboutBox::Item(forms::AboutControl control) const {
  constexpr std::pair<forms::AboutControl, int> kIds[] = {
      {forms::AboutControl::Label1, AboutId("Label1")},
      {forms::AboutControl::Label2, AboutId("Label2")},
      {forms::AboutControl::Label5, AboutId("Label5")},
      {forms::AboutControl::Label6, AboutId("Label6")},
  };
  for (const auto& [which, id] : kIds) {
    if (which == control) return GetDlgItem(hwnd_, id);
  }
  return nullptr;
}

void AboutBox::SetText(forms::AboutControl control, const std::string& text) {
  SetWindowTextW(Item(control), Wide(text).c_str());
  FitLabels();
}

std::string AboutBox::Text(forms::AboutControl control) const {
  return Utf8(WindowText(Item(control)));
}

}  // namespace brevio::win32

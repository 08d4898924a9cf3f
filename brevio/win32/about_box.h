// frmAbout on the platform's own controls: a modal box owned by the main
// window, its texts set by AboutForm.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "brevio/forms/about_form.h"
#include "brevio/forms/form_view.h"

namespace brevio::win32 {

class AboutBox final : public forms::AboutView {
 public:
  AboutBox(HINSTANCE instance, HWND owner, std::function<_CTarnex*()> tarnex);
  ~AboutBox() override;
  AboutBox(const AboutBox&) = delete;
  AboutBox& operator=(const AboutBox&) = delete;

  // Shows the box with its owner disabled; returns once it is closed.
  void RunModal();

  void SetText(forms::AboutControl control, const std::string& text) override;
  std::string Text(forms::AboutControl control) const override;
  void CloseBox() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  bool Create();
  void FitLabels();
  HWND Item(forms::AboutControl control) const;

  HINSTANCE instance_;
  HWND owner_;
  HWND hwnd_ = nullptr;
  forms::AboutForm form_;
  bool closed_ = false;
  HFONT font_ = nullptr, title_font_ = nullptr, link_font_ = nullptr;
  HICON icon_ = nullptr;
};

}  // namespace brevio::win32

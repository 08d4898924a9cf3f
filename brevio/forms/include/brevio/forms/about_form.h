// frmAbout's behaviour: the texts it shows and what its web address and OK
// button do.
#pragma once

#include <tarnex.h>

#include <functional>

#include "brevio/forms/form_view.h"

namespace brevio::forms {

class AboutForm {
 public:
  // `tarnex` is the main window's read access of m_cTarnex (null when the
  // library cannot be had; it has said why).
  AboutForm(AboutView& view, std::function<_CTarnex*()> tarnex)
      : m_view(view), m_tarnex(std::move(tarnex)) {}

  // Puts back the design-time texts: Label1 program and version, Label2 what
  // it does, Label5 the web site, Label6 the support address. Called before
  // each showing.
  void Form_Load();
  // Opens the web site in a new browser window.
  void Label5_Click();
  void OKButton_Click();

 private:
  AboutView& m_view;
  std::function<_CTarnex*()> m_tarnex;
};

}  // namespace brevio::forms

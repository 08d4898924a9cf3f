#include "brevio/forms/about_form.h"

#include <comrt.h>

#include "brevio/forms/layout.h"
#include "brevio/forms/site.h"
#include "brevio/version.h"

namespace brevio::forms {

void AboutForm::Form_Load() {
  m_view.SetText(AboutControl::Label1, kProductTitle);
  m_view.SetText(AboutControl::Label2, kAboutText);
  m_view.SetText(AboutControl::Label5, kWebSite);
  m_view.SetText(AboutControl::Label6, kSupportAddress);
}

void AboutForm::Label5_Click() {
  _CTarnex* t = m_tarnex ? m_tarnex() : nullptr;
  if (t == nullptr) return;
  t->OpenWebNew(comrt::Bstr::FromUtf8(m_view.Text(AboutControl::Label5)).get());
}

void AboutForm::OKButton_Click() { m_view.CloseBox(); }

}  // namespace brevio::forms

#include "brevio/forms/tarnex_library.h"

#include "brevio/forms/texts.h"

namespace brevio::forms {

bool TarnexLibrary::Ready(std::string& why) {
  if (object_) return true;
  comrt::ComPtr<_CTarnex> created;
  const HRESULT hr = create_ ? create_(created) : E_FAIL;
  if (SUCCEEDED(hr) && created) {
    object_ = std::move(created);
    return true;
  }
  const HRESULT shown = FAILED(hr) ? hr : E_FAIL;
  why = missing_text_ ? missing_text_(shown) : TarnexMissingText(shown, "regsvr", "TARNEX");
  return false;
}

std::string TarnexLibrary::GetDir(std::int32_t window) {
  comrt::Bstr out;
  object_->GetDir(static_cast<LONG>(window), out.out());
  return out.utf8();
}

bool TarnexLibrary::OpenWebNew(const std::string& address) {
  // CTarnex.OpenWebNew's own start, through the pass-through that gives the
  // platform's answer (above 32: started), which OpenWebNew keeps to itself.
  const auto text = [](const std::string& utf8) { return comrt::Bstr::FromUtf8(utf8); };
  LONG answer = 0;
  const HRESULT hr = object_->ShellExe(0, text("open").get(), text("IExplore.exe").get(),
                                       text(address).get(), text("").get(), 1, &answer);
  return SUCCEEDED(hr) && answer > 32;
}

}  // namespace brevio::forms

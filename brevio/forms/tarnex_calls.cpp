#include "brevio/forms/tarnex_calls.h"

namespace brevio::forms {
namespace {

comrt::Bstr In(const std::string& text) { return comrt::Bstr::FromUtf8(text); }

}  // namespace

std::string RipFile(_CTarnex* t, const std::string& path) {
  comrt::Bstr out;
  t->RipFile(In(path).get(), out.out());
  return out.utf8();
}

std::string JoinPathFile2(_CTarnex* t, const std::string& folder, const std::string& file) {
  comrt::Bstr out;
  t->JoinPathFile2(In(folder).get(), In(file).get(), out.out());
  return out.utf8();
}

std::string GetDir(_CTarnex* t, std::int32_t window) {
  comrt::Bstr out;
  t->GetDir(static_cast<LONG>(window), out.out());
  return out.utf8();
}

void OpenWebNew(_CTarnex* t, const std::string& address) { t->OpenWebNew(In(address).get()); }

}  // namespace brevio::forms

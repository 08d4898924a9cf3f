#include "tarnex_client.h"

namespace brevio::app {
namespace {

// Our strings as the library's and back; comrt::Bstr owns each BSTR.
comrt::Bstr In(const QString& text) {
  return comrt::Bstr(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                         static_cast<std::size_t>(text.size())));
}

QString Text(const comrt::Bstr& b) {
  if (b.get() == nullptr) return {};
  const std::u16string_view v = b.view();
  return QString::fromUtf16(v.data(), static_cast<qsizetype>(v.size()));
}

}  // namespace

QString RipFile(_CTarnex* t, const QString& path) {
  comrt::Bstr out;
  t->RipFile(In(path).get(), out.out());
  return Text(out);
}

QString JoinPathFile2(_CTarnex* t, const QString& folder, const QString& file) {
  comrt::Bstr out;
  t->JoinPathFile2(In(folder).get(), In(file).get(), out.out());
  return Text(out);
}

QString GetDir(_CTarnex* t, LONG window) {
  comrt::Bstr out;
  t->GetDir(window, out.out());
  return Text(out);
}

void OpenWebNew(_CTarnex* t, const QString& address) { t->OpenWebNew(In(address).get()); }

}  // namespace brevio::app

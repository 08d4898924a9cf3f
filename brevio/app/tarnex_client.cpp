#include "brevio/app/tarnex_client.h"

namespace brevio::app {
namespace {

// One BSTR, freed when it goes: arguments we pass and results the library hands over.
class OwnedBstr {
 public:
  OwnedBstr() = default;
  explicit OwnedBstr(const QString& text)
      : bstr_(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.utf16()),
                                static_cast<UINT>(text.size()))) {}
  ~OwnedBstr() { SysFreeString(bstr_); }
  OwnedBstr(const OwnedBstr&) = delete;
  OwnedBstr& operator=(const OwnedBstr&) = delete;

  BSTR get() const { return bstr_; }
  BSTR* out() {
    SysFreeString(bstr_);
    bstr_ = nullptr;
    return &bstr_;
  }
  QString text() const {
    if (bstr_ == nullptr) return {};
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(bstr_),
                              static_cast<qsizetype>(SysStringLen(bstr_)));
  }

 private:
  BSTR bstr_ = nullptr;
};

}  // namespace

QString RipFile(_CTarnex* t, const QString& path) {
  OwnedBstr in(path), out;
  t->RipFile(in.get(), out.out());
  return out.text();
}

QString JoinPathFile2(_CTarnex* t, const QString& folder, const QString& file) {
  OwnedBstr a(folder), b(file), out;
  t->JoinPathFile2(a.get(), b.get(), out.out());
  return out.text();
}

QString GetDir(_CTarnex* t, LONG window) {
  OwnedBstr out;
  t->GetDir(window, out.out());
  return out.text();
}

void OpenWebNew(_CTarnex* t, const QString& address) {
  OwnedBstr in(address);
  t->OpenWebNew(in.get());
}

}  // namespace brevio::app

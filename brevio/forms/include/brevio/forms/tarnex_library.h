// The Tarnex library behind forms::Library: one CTarnex object, created on
// first use, with UTF-8 on our side and BSTRs on the library's. Faces build
// it; the about boxes take its object as it is.
#pragma once

#include <comrt.h>
#include <tarnex.h>

#include <functional>
#include <string>

#include "brevio/forms/library.h"

namespace brevio::forms {

class TarnexLibrary final : public Library {
 public:
  // create: makes the CTarnex object (by class id; an installed copy may
  // register its library first). missing_text: the box shown when that fails.
  TarnexLibrary(std::function<HRESULT(comrt::ComPtr<_CTarnex>&)> create,
                std::function<std::string(HRESULT)> missing_text)
      : create_(std::move(create)), missing_text_(std::move(missing_text)) {}

  bool Ready(std::string& why) override;
  std::string GetDir(std::int32_t window) override;
  bool OpenWebNew(const std::string& address) override;

  // The object itself, null until Ready has succeeded.
  _CTarnex* object() const { return object_.get(); }

 private:
  std::function<HRESULT(comrt::ComPtr<_CTarnex>&)> create_;
  std::function<std::string(HRESULT)> missing_text_;
  comrt::ComPtr<_CTarnex> object_;
};

}  // namespace brevio::forms

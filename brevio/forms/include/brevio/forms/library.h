// The Tarnex calls the main window makes, in UTF-8 and without the component
// runtime: the form talks to this, the faces hand it the real library
// (tarnex_library.h) and tests a stand-in.
#pragma once

#include <cstdint>
#include <string>

namespace brevio::forms {

class Library {
 public:
  virtual ~Library() = default;
  // Makes the library ready on first use and after each failure; false with
  // the box text that says why (which library, how to register it).
  virtual bool Ready(std::string& why) = 0;
  // The folder chooser owned by `window`; empty after Cancel.
  virtual std::string GetDir(std::int32_t window) = 0;
  // Opens an address in a new browser window; false when no browser could
  // be started for it.
  virtual bool OpenWebNew(const std::string& address) = 0;
};

}  // namespace brevio::forms

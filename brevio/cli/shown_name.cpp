#include "brevio/cli/shown_name.h"

#include "brevio/engine/quote.h"

namespace brevio::cli {

std::string CmdQuoted(std::string_view name, bool always) {
  if (HasEscapes(name)) return brevio::QuoteName(name, always);
  if (!always && !name.empty() &&
      name.find_first_of(" &()[]{}^=;!'+,`~<>|\"") == std::string_view::npos) {
    return std::string(name);
  }
  // A quote inside is doubled, which both ways of splitting a command line
  // read as one (no Windows name holds one; an option's value may).
  std::string quoted = "\"";
  for (const char c : name) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  quoted += '"';
  return quoted;
}

std::string QuoteName(std::string_view name, bool always) {
#if defined(_WIN32)
  return CmdQuoted(name, always);
#else
  return brevio::QuoteName(name, always);
#endif
}

}  // namespace brevio::cli

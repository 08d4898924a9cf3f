#include "regsvr.h"

#include <comrt.h>

#include <filesystem>
#include <system_error>

namespace comrt {
namespace {

constexpr const char* kUsage =
    "usage: regsvr [-u] [-s] FILE\n"
    "  Registers the in-process component server FILE for this user\n"
    "  (calls its DllRegisterServer).\n"
    "  -u  unregister it instead (calls DllUnregisterServer)\n"
    "  -s  print nothing on success\n";

}  // namespace

int RunRegsvr(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool unregister = false, silent = false;
  std::string file;
  for (const std::string& a : args) {
    if (a == "-u" || a == "--unregister") {
      unregister = true;
    } else if (a == "-s" || a == "--silent") {
      silent = true;
    } else if (a == "-h" || a == "--help") {
      out << kUsage;
      return kRegsvrOk;
    } else if (a.size() > 1 && a[0] == '-') {
      err << "regsvr: unknown option " << a << "\n" << kUsage;
      return kRegsvrUsage;
    } else if (file.empty()) {
      file = a;
    } else {
      err << "regsvr: give one file only (got " << file << " and " << a << ")\n" << kUsage;
      return kRegsvrUsage;
    }
  }
  if (file.empty()) {
    err << "regsvr: no file given\n" << kUsage;
    return kRegsvrUsage;
  }

  // An absolute path, so dlopen never searches the library path for a bare name
  // and the server records where it really lies.
  std::error_code ec;
  std::filesystem::path path = std::filesystem::absolute(file, ec);
  if (ec) path = file;
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  const ServerCall call = CallServerExport(path.string(), entry);
  switch (call.step) {
    case ServerStep::kLoad:
      err << "regsvr: cannot load " << path.string() << ": " << call.why << "\n";
      return kRegsvrLoadFailed;
    case ServerStep::kFindEntry:
      err << "regsvr: " << path.string() << " has no entry point " << entry
          << "; it is not a self-registering component server\n";
      return kRegsvrNoEntryPoint;
    case ServerStep::kCall:
      break;
  }
  if (FAILED(call.hr)) {
    err << "regsvr: " << entry << " in " << path.string() << " failed: " << DescribeHResult(call.hr)
        << "\n";
    return kRegsvrCallFailed;
  }
  if (!silent) out << "regsvr: " << entry << " in " << path.string() << " succeeded.\n";
  return kRegsvrOk;
}

}  // namespace comrt

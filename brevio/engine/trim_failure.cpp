#include "brevio/engine/trim_failure.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "fileio/path.h"

namespace brevio {

TrimFailure FailureOf(const std::exception& error, const std::string& source) {
  TrimFailure failure;
  failure.path = source;
  failure.message = error.what();
  if (const auto* file = dynamic_cast<const fileio::FileError*>(&error)) {
    failure.step = file->step();
    failure.path = file->path();
    failure.error = file->code().value();
  } else if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
    failure.error = system->code().value();
    failure.message = system->code().message();
  }
  return failure;
}

TrimFailure FailureOf(const std::exception_ptr& error, const std::string& source) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return FailureOf(e, source);
  } catch (...) {
    return {kTrimDone, std::nullopt, source, 0, "unknown error"};
  }
}

std::optional<TrimFailure> FailureOf(const TrimReport& report, const std::string& source,
                                     const std::string& target) {
  switch (report.result) {
    case kTrimDone:
    case kTrimNotText:
      return std::nullopt;
    case kTrimSourceBlank:
      return TrimFailure{report.result, std::nullopt, source, 0, "source path is blank"};
    case kTrimTargetBlank:
      return TrimFailure{report.result, std::nullopt, target, 0, "target path is blank"};
    default:
      break;
  }
  // No regular file: say what is there instead, if anything.
  TrimFailure failure{report.result, std::nullopt, source, 0, "not a regular file"};
  std::error_code ec;
  const auto status = std::filesystem::status(fileio::PathOf(source), ec);
  if (ec) {
    failure.error = ec.default_error_condition().value();
  } else if (std::filesystem::is_directory(status)) {
    failure.error = EISDIR;
  }
  if (failure.error != 0) failure.message = std::generic_category().message(failure.error);
  return failure;
}

}  // namespace brevio

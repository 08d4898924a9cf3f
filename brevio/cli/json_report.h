#pragma once
// --json: the batch's table as one JSON document on standard output, a row
// written as each outcome arrives:
//
//   {"files":[
//   {"source":"a.htm","target":"out/a.htm","status":"trimmed","source_bytes":30,"target_bytes":22},
//   ...
//   ],"total":{"files":1,"source_bytes":30,"target_bytes":22,"failed":0,"skipped":0},"errors":[]}
//
// The document is ASCII: other characters are \u escapes. A name that is
// not UTF-8 shows each byte that starts no character as U+FFFD, and comes
// whole, as bytes, in "source_hex" or "target_hex" beside it.

#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace brevio::cli {

enum class RowStatus {
  kTrimmed,      // written (or, with -n, would be)
  kUnchanged,    // held its trimmed bytes already
  kWouldChange,  // --check: differs from its trim
  kSameFile,     // a repeat of an earlier row's file
  kSkipped,      // not text
  kFailed,
};

std::string_view StatusName(RowStatus status);

struct ReportRow {
  std::string_view source;
  std::string_view target;
  RowStatus status = RowStatus::kTrimmed;
  std::optional<std::uint64_t> source_bytes;  // null in the document when unknown
  std::optional<std::uint64_t> target_bytes;
  std::string_view reason;  // failed and skipped rows: the message, without the program's name
};

struct ReportTotal {
  std::uint64_t files = 0;  // those with sizes, as the table's total counts them
  std::uint64_t source_bytes = 0;
  std::uint64_t target_bytes = 0;
  std::uint64_t failed = 0;
  std::uint64_t skipped = 0;
};

class JsonReport {
 public:
  explicit JsonReport(std::ostream& out);

  void Row(const ReportRow& row);
  // errors: what went wrong outside any file (a folder that could not be
  // read), as told on standard error without the program's name.
  void Finish(const ReportTotal& total, std::span<const std::string> errors);

 private:
  std::ostream& out_;
  bool any_row_ = false;
};

}  // namespace brevio::cli

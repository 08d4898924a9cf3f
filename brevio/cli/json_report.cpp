#include "json_report.h"

#include <nlohmann/json.hpp>

#include "brevio/engine/utf8.h"

namespace brevio::cli {

namespace {

using Json = nlohmann::ordered_json;

bool IsUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const Utf8Char c = DecodeUtf8(text, at);
    if (!c.valid) return false;
    at += c.length;
  }
  return true;
}

std::string Hex(std::string_view bytes) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

// ASCII only, and a byte that is no UTF-8 becomes U+FFFD instead of an
// exception: the names beside it in hex keep what it was.
std::string Dump(const Json& json) {
  return json.dump(-1, ' ', true, Json::error_handler_t::replace);
}

void PutName(Json& row, const char* key, const char* hex_key, std::string_view name) {
  row[key] = std::string(name);
  if (!IsUtf8(name)) row[hex_key] = Hex(name);
}

Json Size(std::optional<std::uint64_t> size) { return size ? Json(*size) : Json(nullptr); }

}  // namespace

std::string_view StatusName(RowStatus status) {
  switch (status) {
    case RowStatus::kTrimmed:
      return "trimmed";
    case RowStatus::kUnchanged:
      return "unchanged";
    case RowStatus::kWouldChange:
      return "would change";
    case RowStatus::kSameFile:
      return "same file";
    case RowStatus::kSkipped:
      return "skipped";
    case RowStatus::kFailed:
      break;
  }
  return "failed";
}

JsonReport::JsonReport(std::ostream& out) : out_(out) { out_ << "{\"files\":["; }

void JsonReport::Row(const ReportRow& row) {
  Json json = Json::object();
  PutName(json, "source", "source_hex", row.source);
  PutName(json, "target", "target_hex", row.target);
  json["status"] = StatusName(row.status);
  json["source_bytes"] = Size(row.source_bytes);
  json["target_bytes"] = Size(row.target_bytes);
  if (row.status == RowStatus::kFailed || row.status == RowStatus::kSkipped) {
    json["reason"] = std::string(row.reason);
  }
  out_ << (any_row_ ? ",\n" : "\n") << Dump(json);
  any_row_ = true;
}

void JsonReport::Finish(const ReportTotal& total, std::span<const std::string> errors) {
  Json json = Json::object();
  json["files"] = total.files;
  json["source_bytes"] = total.source_bytes;
  json["target_bytes"] = total.target_bytes;
  json["failed"] = total.failed;
  json["skipped"] = total.skipped;
  Json messages = Json::array();
  for (const std::string& error : errors) messages.push_back(error);
  out_ << (any_row_ ? "\n" : "") << "],\"total\":" << Dump(json) << ",\"errors\":" << Dump(messages)
       << "}\n";
}

}  // namespace brevio::cli

#include "table.h"

#include <algorithm>
#include <iomanip>

#include "brevio/engine/ratio_format.h"
#include "display_width.h"

namespace brevio::cli {

namespace {

constexpr std::size_t kSizeWidth = 12;   // "Source Sizes"; sizes up to 999 GB fit
constexpr std::size_t kRatioWidth = 11;  // "Compression"

std::string SizeText(std::optional<std::uint64_t> size) {
  return size ? std::to_string(*size) : std::string("-");
}

std::string RatioText(std::optional<std::uint64_t> source, std::optional<std::uint64_t> target) {
  if (!source || !target) return "-";
  return CompressionText(*target, *source).value_or("-");
}

std::string TotalLabel(std::size_t trimmed, std::size_t failed, std::size_t skipped) {
  std::string label = "Total: " + std::to_string(trimmed) + (trimmed == 1 ? " file" : " files");
  if (failed > 0) label += ", " + std::to_string(failed) + " failed";
  if (skipped > 0) label += ", " + std::to_string(skipped) + " skipped";
  return label;
}

// The longest total that `rows` rows can end with; one row names one count.
std::size_t LongestTotal(std::size_t rows) {
  if (rows > 1) return TotalLabel(rows, rows, rows).size();
  return std::max(TotalLabel(0, rows, 0).size(), TotalLabel(0, 0, rows).size());
}

}  // namespace

TrimTable::TrimTable(std::ostream& out, std::size_t row_count, std::size_t longest_name)
    : out_(out),
      number_width_(std::max<std::size_t>(1, std::to_string(row_count).size())),
      // Wide enough for the longest name and for the longest total label.
      name_width_(std::max({longest_name, std::size_t{12}, LongestTotal(row_count)})) {}

void TrimTable::PrintLine(const std::string& number, const std::string& name,
                          const std::string& source, const std::string& target,
                          const std::string& ratio) {
  // The name is padded by hand: setw counts bytes, not columns.
  const std::size_t name_columns = std::min(DisplayWidth(name), name_width_);
  out_ << std::right << std::setw(static_cast<int>(number_width_)) << number << "  " << name
       << std::string(name_width_ - name_columns, ' ') << "  "
       << std::setw(static_cast<int>(kSizeWidth)) << source << "  "
       << std::setw(static_cast<int>(kSizeWidth)) << target << "  "
       << std::setw(static_cast<int>(kRatioWidth)) << ratio << '\n';
}

void TrimTable::PrintHeader() {
  PrintLine("#", "Source Files", "Source Sizes", "Target Sizes", "Compression");
}

void TrimTable::PrintRow(std::size_t number, const std::string& name,
                         std::optional<std::uint64_t> source_size,
                         std::optional<std::uint64_t> target_size, std::string_view note) {
  PrintLine(std::to_string(number), name, SizeText(source_size), SizeText(target_size),
            note.empty() ? RatioText(source_size, target_size) : std::string(note));
}

void TrimTable::PrintTotal(std::size_t trimmed, std::size_t failed, std::size_t skipped,
                           std::uint64_t source_total, std::uint64_t target_total) {
  PrintLine("", TotalLabel(trimmed, failed, skipped), std::to_string(source_total),
            std::to_string(target_total), RatioText(source_total, target_total));
}

}  // namespace brevio::cli

#pragma once
// The batch list's table as text: "#", "Source Files", "Source Sizes",
// "Target Sizes", "Compression", numbers right-aligned, then a total line.
// Rows are printed as they come, so the widths are fixed up front.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace brevio::cli {

class TrimTable {
 public:
  // longest_name: the widest name in terminal columns (DisplayWidth).
  TrimTable(std::ostream& out, std::size_t row_count, std::size_t longest_name);

  void PrintHeader();
  // A size that is not known (a failed or skipped file) prints as "-". A
  // note ("same file", "skipped"), when given, stands in the compression
  // column.
  void PrintRow(std::size_t number, const std::string& name,
                std::optional<std::uint64_t> source_size, std::optional<std::uint64_t> target_size,
                std::string_view note = {});
  // "Total: 3 files, 1 failed, 1 skipped": counts that are 0 are left out,
  // but for the trimmed files.
  void PrintTotal(std::size_t trimmed, std::size_t failed, std::size_t skipped,
                  std::uint64_t source_total, std::uint64_t target_total);

 private:
  void PrintLine(const std::string& number, const std::string& name, const std::string& source,
                 const std::string& target, const std::string& ratio);

  std::ostream& out_;
  std::size_t number_width_;
  std::size_t name_width_;
};

}  // namespace brevio::cli

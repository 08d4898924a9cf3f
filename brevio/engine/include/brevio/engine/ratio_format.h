#pragma once
// The ratio cell of a batch row: target size as a percentage of the source
// size, two decimals, no leading zero ("64.00%", ".50%").

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brevio {

// value with exactly two decimals after decimal_point, then "%". The value
// is first written with 15 significant digits and that decimal text is
// rounded, halves away from zero (0.125 gives ".13%"). Integer digits are
// all shown without grouping; a value below 1 has none ("0.5" gives ".50%").
// A value that is not finite gives the empty string.
std::string FormatPercent(double value, std::string_view decimal_point = ".");

// target_len / source_len * 100 as FormatPercent writes it; nothing when
// source_len is 0 (there is no ratio for an empty source).
std::optional<std::string> CompressionText(std::uint64_t target_len, std::uint64_t source_len,
                                           std::string_view decimal_point = ".");

}  // namespace brevio

#include "brevio/engine/ratio_format.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace brevio {

namespace {
constexpr int kSignificant = 15;
constexpr int kDecimals = 2;
}  // namespace

std::string FormatPercent(double value, std::string_view decimal_point) {
  if (!std::isfinite(value)) return {};
  // to_chars, unlike printf, ignores the C locale that a window program sets.
  char text[64];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, std::fabs(value),
                                       std::chars_format::scientific, kSignificant - 1);
  if (ec != std::errc()) return {};
  // "d.dddddddddddddde+XX": fifteen digits and the power of ten of the first.
  std::string digits;
  const char* p = text;
  for (; p < end && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') digits.push_back(*p);
  }
  int exponent = 0;
  if (p < end) {
    const char* e = p + 1;
    if (e < end && *e == '+') ++e;  // from_chars takes a minus sign only
    std::from_chars(e, end, exponent);
  }

  // Keep the digits down to the second decimal, rounding on the next one.
  const int integer_digits = exponent + 1;
  const int keep = integer_digits + kDecimals;
  std::string kept;
  if (keep >= static_cast<int>(digits.size())) {
    kept = digits + std::string(static_cast<std::size_t>(keep) - digits.size(), '0');
  } else if (keep >= 0) {
    kept = digits.substr(0, static_cast<std::size_t>(keep));
    if (digits[static_cast<std::size_t>(keep)] >= '5') {
      int i = keep - 1;
      for (; i >= 0 && kept[static_cast<std::size_t>(i)] == '9'; --i) {
        kept[static_cast<std::size_t>(i)] = '0';
      }
      if (i >= 0) {
        ++kept[static_cast<std::size_t>(i)];
      } else {
        kept.insert(kept.begin(), '1');
      }
    }
  }
  // kept now holds the value in hundredths; pad so both decimals exist.
  if (kept.size() < kDecimals) kept.insert(0, kDecimals - kept.size(), '0');
  std::string integer_part = kept.substr(0, kept.size() - kDecimals);
  const std::size_t first_nonzero = integer_part.find_first_not_of('0');
  integer_part.erase(0, first_nonzero == std::string::npos ? integer_part.size() : first_nonzero);

  const bool is_zero = kept.find_first_not_of('0') == std::string::npos;
  std::string result;
  if (std::signbit(value) && !is_zero) result.push_back('-');
  result += integer_part;
  result += decimal_point;
  result += kept.substr(kept.size() - kDecimals);
  result.push_back('%');
  return result;
}

std::optional<std::string> CompressionText(std::uint64_t target_len, std::uint64_t source_len,
                                           std::string_view decimal_point) {
  if (source_len == 0) return std::nullopt;
  const double ratio = static_cast<double>(target_len) / static_cast<double>(source_len) * 100.0;
  return FormatPercent(ratio, decimal_point);
}

}  // namespace brevio

#include "base/DecimalNumber.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <system_error>

namespace orvek {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

template <typename T>
std::errc ParseDecimalAs(const char* first, const char* last, T& value) {
  const char* digits = first;
  if (digits != last && (*digits == '+' || *digits == '-')) ++digits;
  // from_chars would also take "inf", "nan" and "infinity", which are not decimal numbers.
  if (digits == last || !(IsDigit(*digits) || *digits == '.')) return std::errc::invalid_argument;
  if (*first == '+') first = digits;  // from_chars takes a minus sign only
  const auto [end, error] = std::from_chars(first, last, value);
  return end == last ? error : std::errc::invalid_argument;
}

}  // namespace

bool ParseDecimal(const char* first, const char* last, double& value) {
  return ParseDecimalAs(first, last, value) == std::errc();
}

bool ParseDecimal(const char* first, const char* last, float& value) {
  const std::errc error = ParseDecimalAs(first, last, value);
  if (error != std::errc::result_out_of_range) return error == std::errc();
  // Below the single-precision range the value reads as 0 (or a denormal); beyond it, not at all.
  double wide = 0.0;
  if (ParseDecimalAs(first, last, wide) != std::errc() || std::fabs(wide) > FLT_MAX) return false;
  value = static_cast<float>(wide);
  return true;
}

}  // namespace orvek

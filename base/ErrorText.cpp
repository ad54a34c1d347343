#include "base/ErrorText.h"

#include <cstdio>
#include <system_error>

namespace orvek {

std::string Quoted(const std::filesystem::path& file) { return "\"" + file.string() + "\""; }

std::string ErrnoReason(int error) {
  return std::error_code(error, std::generic_category()).message();
}

std::string ShortNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace orvek

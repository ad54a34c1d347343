#include "base/ErrorText.h"

#include <system_error>

namespace orvek {

std::string Quoted(const std::filesystem::path& file) { return "\"" + file.string() + "\""; }

std::string ErrnoReason(int error) {
  return std::error_code(error, std::generic_category()).message();
}

}  // namespace orvek

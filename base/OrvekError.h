#pragma once
#include <stdexcept>
#include <string>

namespace orvek {

// Every failure the core reports: the message names the file (and line or sample) and says what
// is wrong, so a front end can show it as it stands.
class OrvekError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace orvek

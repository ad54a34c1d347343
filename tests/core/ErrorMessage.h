#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "base/OrvekError.h"

namespace orvek {

// The message of the OrvekError that `action` throws; a test failure when it throws none.
inline std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const OrvekError& e) {
    return e.what();
  }
  ADD_FAILURE() << "no OrvekError thrown";
  return {};
}

}  // namespace orvek

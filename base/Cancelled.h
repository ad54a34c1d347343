#pragma once
#include "base/OrvekError.h"

namespace orvek {

// A long run stopped because its user asked: thrown by a progress callback, it unwinds the run
// before anything is written, and a front end treats it as no failure at all.
class Cancelled : public OrvekError {
 public:
  using OrvekError::OrvekError;
};

}  // namespace orvek

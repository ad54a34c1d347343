#include "base/Lcg32.h"

#include <cmath>

namespace orvek {

double Lcg32::Uniform() {
  state_ = state_ * 134775813u + 1u;  // unsigned arithmetic wraps mod 2^32
  return static_cast<double>(state_) * 0x1p-32;
}

double Lcg32::Gaussian(double mean, double sd) {
  // Polar method. s = 0 cannot occur: it needs two successive states equal to 2^31, and 2^31 is
  // not a fixed point of the recurrence.
  double u1 = 0.0;
  double s = 0.0;
  do {
    u1 = 2.0 * Uniform() - 1.0;
    const double u2 = 2.0 * Uniform() - 1.0;
    s = u1 * u1 + u2 * u2;
  } while (s >= 1.0);
  return u1 * std::sqrt(-2.0 * std::log(s) / s) * sd + mean;
}

}  // namespace orvek

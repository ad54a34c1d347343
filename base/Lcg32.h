#pragma once
#include <cstdint>

namespace orvek {

// Dither generator: the 32-bit linear congruential generator x := 134775813 x + 1 (mod 2^32) with
// uniforms x / 2^32 and Gaussian deviates by the polar method, so that repeated reads of a file
// are bit-identical.
class Lcg32 {
 public:
  explicit Lcg32(std::uint32_t seed = 1) : state_(seed) {}
  void Seed(std::uint32_t seed) { state_ = seed; }
  std::uint32_t State() const { return state_; }

  double Uniform();  // in [0, 1)
  // u1 * sqrt(-2 ln s / s) * sd + mean; u2 only decides acceptance.
  double Gaussian(double mean, double sd);

 private:
  std::uint32_t state_;
};

}  // namespace orvek

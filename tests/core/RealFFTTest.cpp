#include "model/RealFFT.h"

#include <gtest/gtest.h>

#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "base/OrvekError.h"

namespace orvek {
namespace {

std::vector<float> RandomRecord(int length, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  std::vector<float> x(length);
  for (float& v : x) v = value(generator);
  return x;
}

// dt * sum_j x_j exp(-2 pi i j k / L), summed directly: this checks the dt scaling too.
std::complex<double> DirectBin(const std::vector<float>& x, int k, float dt) {
  std::complex<double> sum;
  const auto length = static_cast<double>(x.size());
  for (std::size_t j = 0; j < x.size(); ++j)
    sum += double{dt} * x[j] * std::polar(1.0, -2.0 * std::numbers::pi * j * k / length);
  return sum;
}

// Random records and a unit sample at an odd position; even samples travel in the real array,
// odd ones in the imaginary one, and the inverse restores the record. The real spectrum takes any
// count, odd included, and replaces stale contents.
TEST(RealFFTTest, MatchesDirectTransformAndInverts) {
  std::vector<std::vector<float>> records = {RandomRecord(2, 6), RandomRecord(6, 7),
                                             RandomRecord(64, 8), RandomRecord(4096, 9),
                                             std::vector<float>(8, 0.0f)};
  records.back()[5] = 1.0f;
  const float dt = 1.0f / 48000.0f;
  const auto expectDirect = [&](const std::vector<float>& x, auto re, auto im, double tolerance) {
    const int length = static_cast<int>(x.size());
    for (int k = 0; k <= length / 2; k += 1 + length / 128)
      EXPECT_LT(std::abs(std::complex<double>(re[k], im[k]) - DirectBin(x, k, dt)),
                tolerance * dt * length)
          << "L " << length << " bin " << k;
    EXPECT_EQ(im[0], 0.0f);
  };
  for (const std::vector<float>& x : records) {
    const int length = static_cast<int>(x.size());
    std::vector<float> re(length / 2 + 1, 0.0f), im(length / 2 + 1, 0.0f);
    for (int k = 0; k < length / 2; ++k) re[k] = x[2 * k], im[k] = x[2 * k + 1];
    RealFFTForward(re.data(), im.data(), length, dt);
    expectDirect(x, re, im, 1e-6);
    EXPECT_EQ(im[length / 2], 0.0f);
    RealFFTInverse(re.data(), im.data(), length, dt);
    for (int k = 0; k < length / 2; ++k) {
      ASSERT_NEAR(re[k], x[2 * k], 2e-6) << "L " << length << " sample " << 2 * k;
      ASSERT_NEAR(im[k], x[2 * k + 1], 2e-6) << "L " << length << " sample " << 2 * k + 1;
    }
  }
  std::vector<double> re = {7.0}, im;
  for (const int count : {1, 7, 25, 1000}) {
    const std::vector<float> x = RandomRecord(count, 21u + count);
    RealSpectrum(x.data(), count, dt, re, im);
    ASSERT_EQ(re.size(), static_cast<std::size_t>(count / 2 + 1));
    ASSERT_EQ(im.size(), re.size());
    expectDirect(x, re, im, 1e-12);
  }
  std::vector<float> a(4), b(4);
  for (const int length : {0, 1, 7})
    EXPECT_THROW(RealFFTForward(a.data(), b.data(), length, 1.0f), OrvekError) << length;
  EXPECT_THROW(RealSpectrum(nullptr, 0, dt, re, im), OrvekError);
}

}  // namespace
}  // namespace orvek

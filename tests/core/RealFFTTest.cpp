#include "model/RealFFT.h"

#include <gtest/gtest.h>

#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "base/OrvekError.h"

namespace orvek {
namespace {

using Spectrum = std::vector<std::complex<double>>;

std::vector<float> RandomRecord(int length, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  std::vector<float> x(length);
  for (float& v : x) v = value(generator);
  return x;
}

// Even samples travel in the real array, odd ones in the imaginary one.
void Pack(const std::vector<float>& x, std::vector<float>& re, std::vector<float>& im) {
  re.assign(x.size() / 2 + 1, 0.0f);
  im.assign(x.size() / 2 + 1, 0.0f);
  for (std::size_t k = 0; k < x.size() / 2; ++k) {
    re[k] = x[2 * k];
    im[k] = x[2 * k + 1];
  }
}

// Random records and unit samples at even and odd positions against
// dt * sum_j x_j exp(-2 pi i j k / L), summed directly: this checks the dt scaling too.
TEST(RealFFTTest, MatchesDirectTransform) {
  std::vector<std::vector<float>> records = {RandomRecord(2, 6), RandomRecord(16, 7),
                                             RandomRecord(64, 8)};
  for (const int j : {0, 1, 2, 5}) {
    records.emplace_back(8, 0.0f);
    records.back()[j] = 1.0f;
  }
  const float dt = 1.0f / 48000.0f;
  for (const std::vector<float>& x : records) {
    const int length = static_cast<int>(x.size());
    std::vector<float> re, im;
    Pack(x, re, im);
    RealFFTForward(re.data(), im.data(), length, dt);
    for (int k = 0; k <= length / 2; ++k) {
      std::complex<double> direct;
      for (int j = 0; j < length; ++j)
        direct += double{dt} * x[j] * std::polar(1.0, -2.0 * std::numbers::pi * j * k / length);
      EXPECT_LT(std::abs(std::complex<double>(re[k], im[k]) - direct), 1e-6 * dt * length)
          << "L " << length << " bin " << k;
    }
  }
}

TEST(RealFFTTest, InverseRestoresTheRecord) {
  for (const int length : {2, 6, 1000, 4096}) {
    const float dt = 2.5e-5f;
    const std::vector<float> x = RandomRecord(length, 11u + length);
    std::vector<float> re, im;
    Pack(x, re, im);
    RealFFTForward(re.data(), im.data(), length, dt);
    EXPECT_EQ(im[0], 0.0f);
    EXPECT_EQ(im[length / 2], 0.0f);
    RealFFTInverse(re.data(), im.data(), length, dt);
    for (int k = 0; k < length / 2; ++k) {
      EXPECT_NEAR(re[k], x[2 * k], 2e-6) << "L " << length << " sample " << 2 * k;
      EXPECT_NEAR(im[k], x[2 * k + 1], 2e-6) << "L " << length << " sample " << 2 * k + 1;
    }
  }
}

TEST(RealFFTTest, OddOrTinyLengthIsRefused) {
  std::vector<float> re(4), im(4);
  for (const int length : {0, 1, 7})
    EXPECT_THROW(RealFFTForward(re.data(), im.data(), length, 1.0f), OrvekError) << length;
}

// Any count, odd included, against the direct sum in double precision.
TEST(RealFFTTest, RealSpectrumOfAnyLength) {
  const float dt = 1.0f / 44100.0f;
  std::vector<double> re = {7.0}, im;  // stale contents are replaced
  for (const int count : {1, 2, 3, 7, 16, 25, 101, 1000}) {
    const std::vector<float> x = RandomRecord(count, 21u + count);
    RealSpectrum(x.data(), count, dt, re, im);
    ASSERT_EQ(re.size(), static_cast<std::size_t>(count / 2 + 1));
    ASSERT_EQ(im.size(), re.size());
    for (int k = 0; k <= count / 2; ++k) {
      std::complex<double> direct;
      for (int j = 0; j < count; ++j)
        direct += double{dt} * x[j] * std::polar(1.0, -2.0 * std::numbers::pi * j * k / count);
      EXPECT_LT(std::abs(std::complex<double>(re[k], im[k]) - direct), 1e-12 * dt * count)
          << "count " << count << " bin " << k;
    }
    EXPECT_EQ(im[0], 0.0);
  }
  EXPECT_THROW(RealSpectrum(nullptr, 0, dt, re, im), OrvekError);
}

}  // namespace
}  // namespace orvek

#include "model/RealFFT.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

#include "waveform/OrvekError.h"

namespace orvek {
namespace {

using Spectrum = std::vector<std::complex<double>>;
constexpr double kPi = std::numbers::pi;

std::vector<float> RandomRecord(int length, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  std::vector<float> x(length);
  for (float& v : x) v = value(generator);
  return x;
}

// Packs x, runs the forward transform and returns bins 0 .. L/2.
Spectrum Forward(const std::vector<float>& x, float dt) {
  const int half = static_cast<int>(x.size()) / 2;
  std::vector<float> re(half + 1), im(half + 1);
  for (int k = 0; k < half; ++k) {
    re[k] = x[2 * k];
    im[k] = x[2 * k + 1];
  }
  RealFFTForward(re.data(), im.data(), static_cast<int>(x.size()), dt);
  Spectrum bins(half + 1);
  for (int k = 0; k <= half; ++k) bins[k] = {re[k], im[k]};
  return bins;
}

// dt * sum_j x_j exp(-2 pi i j k / L), summed directly.
Spectrum DirectTransform(const std::vector<float>& x, double dt) {
  const int length = static_cast<int>(x.size());
  Spectrum bins(length / 2 + 1);
  for (int k = 0; k <= length / 2; ++k)
    for (int j = 0; j < length; ++j)
      bins[k] += dt * x[j] * std::polar(1.0, -2.0 * kPi * j * k / length);
  return bins;
}

// Random records, and unit samples at even and odd positions (which travel in the real and the
// imaginary array), against the direct sum.
TEST(RealFFTTest, MatchesDirectTransform) {
  std::vector<std::vector<float>> records = {RandomRecord(16, 7), RandomRecord(64, 8)};
  for (const int j : {0, 1, 2, 5}) {
    records.emplace_back(8, 0.0f);
    records.back()[j] = 1.0f;
  }
  const float dt = 1.0f / 48000.0f;
  for (const std::vector<float>& x : records) {
    const Spectrum fast = Forward(x, dt), direct = DirectTransform(x, dt);
    for (std::size_t k = 0; k < fast.size(); ++k)
      EXPECT_LT(std::abs(fast[k] - direct[k]), 1e-6 * dt * x.size())
          << "L " << x.size() << " bin " << k;
  }
}

struct ToneCase {
  int length;
  int bin;          // cosine at this bin; 0 is a constant
  double expected;  // real value of that bin, in units of dt * L
};

TEST(RealFFTTest, ToneLandsInItsBinWithDtScaling) {
  const ToneCase cases[] = {{16, 3, 0.5}, {1024, 1, 0.5}, {1024, 100, 0.5}, {1024, 512, 1.0},
                            {64, 0, 2.5}, {2, 0, 2.5},    {2, 1, 1.0}};
  const float dt = 0.001f;
  for (const ToneCase& c : cases) {
    std::vector<float> x(c.length);
    for (int j = 0; j < c.length; ++j)
      x[j] = c.bin == 0 ? 2.5f : static_cast<float>(std::cos(2.0 * kPi * c.bin * j / c.length));
    const Spectrum bins = Forward(x, dt);
    for (int k = 0; k <= c.length / 2; ++k) {
      const double want = k == c.bin ? c.expected * dt * c.length : 0.0;
      EXPECT_NEAR(bins[k].real(), want, 1e-5 * dt * c.length)
          << c.length << "/" << c.bin << " " << k;
      EXPECT_NEAR(bins[k].imag(), 0.0, 1e-5 * dt * c.length)
          << c.length << "/" << c.bin << " " << k;
    }
  }
}

TEST(RealFFTTest, InverseRestoresTheRecordAndParsevalHolds) {
  for (const int length : {2, 6, 1000, 4096}) {
    const float dt = 2.5e-5f;
    const std::vector<float> x = RandomRecord(length, 11u + length);
    const int half = length / 2;
    std::vector<float> re(half + 1), im(half + 1);
    for (int k = 0; k < half; ++k) {
      re[k] = x[2 * k];
      im[k] = x[2 * k + 1];
    }
    RealFFTForward(re.data(), im.data(), length, dt);
    EXPECT_EQ(im[0], 0.0f);
    EXPECT_EQ(im[half], 0.0f);
    // sum x^2 dt = (1 / (L dt)) sum over all L bins |X|^2, the upper half mirroring the lower.
    double timeEnergy = 0.0, binEnergy = 0.0;
    for (const float v : x) timeEnergy += static_cast<double>(v) * v * dt;
    for (int k = 0; k <= half; ++k)
      binEnergy += (k == 0 || k == half ? 1.0 : 2.0) *
                   (static_cast<double>(re[k]) * re[k] + static_cast<double>(im[k]) * im[k]);
    EXPECT_NEAR(binEnergy / (length * static_cast<double>(dt)), timeEnergy, 1e-5 * timeEnergy);
    RealFFTInverse(re.data(), im.data(), length, dt);
    for (int k = 0; k < half; ++k) {
      EXPECT_NEAR(re[k], x[2 * k], 2e-6) << "L " << length << " sample " << 2 * k;
      EXPECT_NEAR(im[k], x[2 * k + 1], 2e-6) << "L " << length << " sample " << 2 * k + 1;
    }
  }
}

TEST(RealFFTTest, ThreadsTransformingAtOnceAgreeWithOneThread) {
  const int lengths[] = {256, 512, 768, 1024};
  std::vector<Spectrum> serial;
  for (const int length : lengths) serial.push_back(Forward(RandomRecord(length, length), 1.0f));
  std::vector<Spectrum> parallel(std::size(lengths));
  {
    std::vector<std::jthread> threads;
    for (std::size_t i = 0; i < std::size(lengths); ++i)
      threads.emplace_back([&, i] {
        for (int repeat = 0; repeat < 20; ++repeat)
          parallel[i] = Forward(RandomRecord(lengths[i], lengths[i]), 1.0f);
      });
  }
  EXPECT_EQ(parallel, serial);
}

TEST(RealFFTTest, OddOrTinyLengthIsRefused) {
  std::vector<float> re(4), im(4);
  for (const int length : {0, 1, 7})
    EXPECT_THROW(RealFFTForward(re.data(), im.data(), length, 1.0f), OrvekError) << length;
}

}  // namespace
}  // namespace orvek

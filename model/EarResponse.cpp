#include "model/EarResponse.h"

#include <climits>
#include <cmath>
#include <complex>
#include <numbers>

#include "base/OrvekError.h"
#include "model/MiddleEarModel.h"

namespace orvek {
namespace {

// The impulse stands at sample 1: the ear models do not use sample 0.
constexpr int kImpulseSample = 1;

// Fourier sum of y at frequency f (Hz), sample interval dt.
std::complex<double> SpectrumAt(const std::vector<float>& y, double f, double dt) {
  const double w = -2.0 * std::numbers::pi * f * dt;
  std::complex<double> sum = 0.0;
  for (std::size_t n = 0; n < y.size(); ++n) sum += double(y[n]) * std::polar(1.0, w * double(n));
  return sum;
}

}  // namespace

std::vector<double> ResponseFrequencies() {
  std::vector<double> frequencies;
  for (int b = 20; b <= 40; ++b) frequencies.push_back(std::pow(10.0, b / 10.0));
  return frequencies;
}

std::vector<ResponseRow> EarResponse(const TModelParameters& parameters, ResponseTap tap,
                                     int location, bool warned,
                                     const std::vector<double>& frequencies, double sampleRate,
                                     int count, float impulsePa) {
  if (location < 1 || location > 3)
    throw OrvekError("The microphone location must be 1, 2 or 3; it is " +
                     std::to_string(location) + ".");
  if (!(sampleRate > 0) || count < 2 * kImpulseSample + 2 || !(impulsePa > 0))
    throw OrvekError("A response needs a positive rate, amplitude and record length.");
  const float dt = static_cast<float>(1.0 / sampleRate);
  const std::int32_t last = count - 1;
  std::vector<float> input(static_cast<std::size_t>(count), 0.0f);
  input[kImpulseSample] = impulsePa;
  std::vector<float> output(input.size(), 0.0f);

  TModelParameters p = parameters;
  if (tap == ResponseTap::Stapes) {
    // Relaxed muscles never contract within the record; warned ones are contracted throughout.
    const MuscleTiming timing =
        warned ? ComputeMuscleTiming(kWarnedMuscleDelay, dt, p.MuscleTimeConstant)
               : MuscleTiming{INT_MAX, 1.0, 1.0};
    switch (location) {
      case 1:
        TimeDomainModel1(input.data(), output.data(), last, dt, p, timing);
        break;
      case 2:
        TimeDomainModel2(input.data(), output.data(), last, dt, p, timing);
        break;
      default:
        TimeDomainModel3(input.data(), output.data(), last, dt, p, timing);
        break;
    }
  } else {
    output = input;
    MuscleTiming timing;
    if (tap == ResponseTap::Eardrum)
      TimeDomainModel9(output.data(), last, dt, p, timing);
    else
      TimeDomainModel10(output.data(), last, dt, p, timing);
  }

  std::vector<ResponseRow> rows;
  for (const double f : frequencies) {
    const std::complex<double> ratio = SpectrumAt(output, f, dt) / SpectrumAt(input, f, dt);
    const double magnitude = std::abs(ratio);
    rows.push_back({f, magnitude, 20.0 * std::log10(magnitude)});
  }
  return rows;
}

}  // namespace orvek

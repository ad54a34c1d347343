#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace orvek {

// An idealised blast wave: p(t) = P (1 - t/T) exp(-t/T) from the onset on, zero before it, with
// the peak P = 10^((L - 94) / 20) Pa for a peak level L in dB re 20 uPa.
struct FriedlanderSpec {
  double PeakDb = 160.0;         // dB re 20 uPa
  double ADurationMs = 0.3;      // T
  double SampleRate = 200000.0;  // samples/s
  std::int32_t Samples = 8192;
  int MicLocation = 1;  // 1 free field, 2 ear-canal entrance, 3 eardrum
  double OnsetMs = 5.0;
};

// The samples in Pa; throws OrvekError when the values describe no record, or one the ORV readers
// would refuse (more than kMaxOrvSamples samples, a rate beyond the single-precision range).
std::vector<float> FriedlanderSamples(const FriedlanderSpec& spec);

// Plot title naming the impulse, e.g. "FRIEDLANDER 160.0 DB 0.30 MS".
std::string FriedlanderTitle(const FriedlanderSpec& spec);

}  // namespace orvek

#pragma once
#include <complex>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/FileNames.h"
#include "model/ModelParameters.h"
#include "model/MovieFrameStore.h"

namespace orvek {

// Transform length for a record of last + 1 samples: 2^round(log2(last + 1)), ties to even. The
// record is zero-padded to it, or only its first N samples are used.
std::int32_t CochlearTransformLength(std::int32_t last);

// Basilar-membrane transfer function (WKB approximation) at distance x from the stapes, for
// bins k = 0 .. N/2 (frequency k / (N dt)), as the spectrum of basilar-membrane displacement per
// unit of stapes displacement. `termination` is the reflection factor R(k) from the reference
// pass (all ones without reflection). CochlearTermination computes it at ReferencePlace.
std::vector<std::complex<double>> CochlearTransfer(
    double x, std::int32_t n, float dt, TModelParameters& p,
    const std::vector<std::complex<double>>& termination);
std::vector<std::complex<double>> CochlearTermination(std::int32_t n, float dt,
                                                      TModelParameters& p);

// Complex helpers of the transfer function, written out because their branch rules differ from
// std::sqrt / std::arg / std::log. WkbSquareRoot is the principal root re = sqrt((|z| + Re z)/2),
// im = Im z / (2 re), except for nearly real z (|Im z| < 0.0001 |Re z|): then im = Im z /
// (2 sqrt(Re z)) when Re z > 0, and re = |Im z| / (2 sqrt(-Re z)), im = sqrt((|z| - Re z)/2)
// (always the upper half plane) when Re z < 0; the root of 0 is 0. WkbArgument is atan(Im/Re),
// moved by +pi (Im >= 0) or -pi (Im < 0) when Re < 0, and +-pi/2 by the sign of Im (0 for 0) when
// Re = 0. WkbLog z = ln(1e-20 + |z|) + i WkbArgument(z).
std::complex<double> WkbSquareRoot(std::complex<double> z);
double WkbArgument(std::complex<double> z);
std::complex<double> WkbLog(std::complex<double> z);

// Hazard of one place: every positive half-cycle of `displacement` (um) whose peak times `gain`
// exceeds the threshold adds (peak - threshold)^exponent; a half-cycle still open at the end adds
// nothing.
double PlaceHazard(const float* displacement, std::int32_t count, double gain, double threshold,
                   double exponent);

struct PlaceResult {
  int Place = 0;            // 1-based
  double DistanceCm = 0.0;  // from the stapes
  double CfKhz = 0.0;       // characteristic frequency
  float Hazard = 0.0f;      // ARU
};

struct CochlearResult {
  float Hazard = 0.0f;  // ARU: the largest place hazard
  int WorstPlace = 0;   // 1-based; 0 when no place is hazardous
  std::int32_t TransformLength = 0;
  std::vector<PlaceResult> Places;
  std::optional<std::string> HazardFileError;  // set when the hazard file could not be written
};

// Cochlear run: stapes displacement (um) in work[0..last] -> hazard per place. Fills `movie`
// (pressure from `pressure`, stapes and basilar-membrane displacement, ranges, hazards) and, when
// `hazardFile` is given, writes the hazard table there (through a temporary file; never over one
// of its Reads). `work` must
// hold at least N values; it ends holding the displacement of the last place. Places are computed
// in parallel with results identical to the serial order. PlaceCount must lie in 1..23 and N in
// 2..2^20 (checked by the caller).
CochlearResult CochlearModel(const float* pressure, float* work, std::int32_t last, float dt,
                             float axisMax, float axisMin, TModelParameters& p,
                             MovieFrameStore& movie, const std::optional<OutputFile>& hazardFile);
// The same on exactly `threads` threads (1 = serial, 0 = as many as pay off for this length); the
// results do not depend on the number.
CochlearResult CochlearModel(const float* pressure, float* work, std::int32_t last, float dt,
                             float axisMax, float axisMin, TModelParameters& p,
                             MovieFrameStore& movie, const std::optional<OutputFile>& hazardFile,
                             int threads);

}  // namespace orvek

#pragma once
#include <cstdint>
#include <vector>

namespace orvek {

// Scaled real transform pair on a record of even length L packed into two single-precision arrays
// of L/2 + 1 entries: on input to the forward transform re[k] = x[2k], im[k] = x[2k + 1]
// (k < L/2). The forward transform leaves bin k (k = 0 .. L/2, frequency k / (L dt)) in re[k],
// im[k] as X_k = dt * sum_j x_j exp(-2 pi i j k / L); the inverse takes such a spectrum and gives
// back the packed record, scaled by 1 / (L dt). Any even L; exact for powers of two.
void RealFFTForward(float* re, float* im, std::int32_t length, float dt);
void RealFFTInverse(float* re, float* im, std::int32_t length, float dt);

// Packs the record x[0..count-1], followed by zeros up to the even `length` (count <= length), as
// the transforms above take it: re[k] = x[2k], im[k] = x[2k + 1], and entry length/2 zero.
void PackRealRecord(const float* x, std::int32_t count, std::int32_t length, float* re, float* im);

// Sample i of a packed record, as the inverse transform leaves it.
inline float PackedSample(const float* re, const float* im, std::int32_t i) {
  return i % 2 == 0 ? re[i / 2] : im[i / 2];
}

// Forward transform of samples[0..count-1] for any count >= 1, odd included, in double precision:
// re and im are resized to count/2 + 1 and bin k (frequency k / (count dt)) holds
// X_k = dt * sum_j x_j exp(-2 pi i j k / count).
void RealSpectrum(const float* samples, std::int32_t count, float dt, std::vector<double>& re,
                  std::vector<double>& im);

}  // namespace orvek

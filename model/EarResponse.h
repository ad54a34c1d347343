#pragma once
#include <vector>

#include "model/ModelParameters.h"

namespace orvek {

// Where the ear model's low-level response is read.
enum class ResponseTap {
  Stapes,    // stapes displacement (um) per Pa at the microphone; ear models 1-3 by location
  Eardrum,   // pressure of the canal section next to the eardrum per free-field Pa (model 9)
  Entrance,  // pressure of the canal-entrance section per free-field Pa (model 10)
};

struct ResponseRow {
  double FrequencyHz = 0;
  double Magnitude = 0;  // um/Pa (stapes) or Pa/Pa
  double Db = 0;         // 20 log10 Magnitude
};

// Nominal 1/3-octave centres 100 Hz .. 10 kHz (10^(b/10), b = 20..40).
std::vector<double> ResponseFrequencies();

// The linear-range transfer of the time-domain ear model as users run it: a low-level impulse
// (one sample of `impulsePa`) goes through the model at `sampleRate` for `count` samples, and the
// ratio of the output and input spectra is read at each frequency (Fourier sums evaluated at
// exactly that frequency). The stapes tap takes the
// microphone `location` (1 free field, 2 canal entrance, 3 eardrum) and relaxed muscles, or
// muscles contracted throughout when `warned`. The pressure taps take a free-field input at the
// parameter file's incidence (CanalSourceGain, as every analysis) and the muscle timing those
// models set themselves.
std::vector<ResponseRow> EarResponse(const TModelParameters& p, ResponseTap tap, int location,
                                     bool warned, const std::vector<double>& frequencies,
                                     double sampleRate = 200000.0, int count = 1 << 15,
                                     float impulsePa = 1.0f);

}  // namespace orvek

#include "model/RealFFT.h"

#include <fftw3.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/OrvekError.h"

namespace orvek {
namespace {

struct FftwFree {
  void operator()(void* block) const { fftw_free(block); }
};
using RealBlock = std::unique_ptr<double[], FftwFree>;
using ComplexBlock = std::unique_ptr<fftw_complex[], FftwFree>;

RealBlock AllocateReal(std::int32_t count) {
  RealBlock block(fftw_alloc_real(static_cast<std::size_t>(count)));
  if (!block) throw std::bad_alloc();
  return block;
}

ComplexBlock AllocateComplex(std::int32_t count) {
  ComplexBlock block(fftw_alloc_complex(static_cast<std::size_t>(count)));
  if (!block) throw std::bad_alloc();
  return block;
}

// The pair of plans for one length. They are made on fftw_malloc'ed arrays and only ever executed
// on other fftw_malloc'ed arrays (same alignment) through the new-array functions, which FFTW
// allows from several threads at once.
struct PlanPair {
  fftw_plan forward = nullptr;
  fftw_plan inverse = nullptr;
};

// Planning is not thread-safe in FFTW, so every plan is made under one lock and kept for the
// life of the process.
class PlanCache {
 public:
  ~PlanCache() {
    for (auto& [length, plans] : plans_) {
      fftw_destroy_plan(plans.forward);
      fftw_destroy_plan(plans.inverse);
    }
  }

  PlanPair Get(std::int32_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto found = plans_.find(length); found != plans_.end()) return found->second;
    RealBlock real = AllocateReal(length);
    ComplexBlock spectrum = AllocateComplex(length / 2 + 1);
    PlanPair plans;
    plans.forward = fftw_plan_dft_r2c_1d(length, real.get(), spectrum.get(),
                                         FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
    plans.inverse = fftw_plan_dft_c2r_1d(length, spectrum.get(), real.get(),
                                         FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
    if (!plans.forward || !plans.inverse) {
      if (plans.forward) fftw_destroy_plan(plans.forward);
      if (plans.inverse) fftw_destroy_plan(plans.inverse);
      throw OrvekError("The transform of " + std::to_string(length) +
                       " samples could not be prepared.");
    }
    plans_.emplace(length, plans);
    return plans;
  }

 private:
  std::mutex mutex_;
  std::map<std::int32_t, PlanPair> plans_;
};

// Work arrays of the calling thread, kept between calls: fresh pages for every transform of a
// long record would cost more than the transform itself.
struct Scratch {
  RealBlock record;
  ComplexBlock spectrum;
  std::int32_t length = 0;

  void Reserve(std::int32_t needed) {
    if (needed <= length) return;
    record = AllocateReal(needed);
    spectrum = AllocateComplex(needed / 2 + 1);
    length = needed;
  }
};

Scratch& ScratchFor(std::int32_t length) {
  thread_local Scratch scratch;
  scratch.Reserve(length);
  return scratch;
}

PlanPair CachedPlans(std::int32_t length) {
  static PlanCache cache;
  return cache.Get(length);
}

PlanPair PlansFor(std::int32_t length) {
  if (length < 2 || length % 2 != 0)
    throw OrvekError("The real transform needs an even record length of at least 2, not " +
                     std::to_string(length) + ".");
  return CachedPlans(length);
}

}  // namespace

void RealFFTForward(float* re, float* im, std::int32_t length, float dt) {
  const PlanPair plans = PlansFor(length);
  const std::int32_t half = length / 2;
  Scratch& scratch = ScratchFor(length);
  double* record = scratch.record.get();
  fftw_complex* spectrum = scratch.spectrum.get();
  for (std::int32_t k = 0; k < half; ++k) {
    record[2 * k] = re[k];
    record[2 * k + 1] = im[k];
  }
  fftw_execute_dft_r2c(plans.forward, record, spectrum);
  const double scale = dt;
  for (std::int32_t k = 0; k <= half; ++k) {
    re[k] = static_cast<float>(scale * spectrum[k][0]);
    im[k] = static_cast<float>(scale * spectrum[k][1]);
  }
  // A real record has real DC and Nyquist bins; drop FFTW's rounding residue there.
  im[0] = 0.0f;
  im[half] = 0.0f;
}

void RealFFTInverse(float* re, float* im, std::int32_t length, float dt) {
  const PlanPair plans = PlansFor(length);
  const std::int32_t half = length / 2;
  Scratch& scratch = ScratchFor(length);
  double* record = scratch.record.get();
  fftw_complex* spectrum = scratch.spectrum.get();
  for (std::int32_t k = 0; k <= half; ++k) {
    spectrum[k][0] = re[k];
    spectrum[k][1] = im[k];
  }
  spectrum[0][1] = 0.0;
  spectrum[half][1] = 0.0;
  fftw_execute_dft_c2r(plans.inverse, spectrum, record);
  const double scale = 1.0 / (static_cast<double>(length) * static_cast<double>(dt));
  for (std::int32_t k = 0; k < half; ++k) {
    re[k] = static_cast<float>(scale * record[2 * k]);
    im[k] = static_cast<float>(scale * record[2 * k + 1]);
  }
  // Entry L/2 is not part of the packed record.
  re[half] = 0.0f;
  im[half] = 0.0f;
}

void PackRealRecord(const float* x, std::int32_t count, std::int32_t length, float* re, float* im) {
  const std::int32_t half = length / 2;
  const std::int32_t pairs = count / 2;
  for (std::int32_t k = 0; k < pairs; ++k) {
    re[k] = x[2 * k];
    im[k] = x[2 * k + 1];
  }
  std::fill(re + pairs, re + half + 1, 0.0f);
  std::fill(im + pairs, im + half + 1, 0.0f);
  if (count % 2 != 0) re[pairs] = x[count - 1];
}

void RealSpectrum(const float* samples, std::int32_t count, float dt, std::vector<double>& re,
                  std::vector<double>& im) {
  if (count < 1)
    throw OrvekError("The spectrum needs at least one sample, not " + std::to_string(count) + ".");
  const PlanPair plans = CachedPlans(count);
  const std::int32_t bins = count / 2 + 1;
  Scratch& scratch = ScratchFor(count);
  double* record = scratch.record.get();
  fftw_complex* spectrum = scratch.spectrum.get();
  std::copy(samples, samples + count, record);
  fftw_execute_dft_r2c(plans.forward, record, spectrum);
  re.resize(static_cast<std::size_t>(bins));
  im.resize(static_cast<std::size_t>(bins));
  const double scale = dt;
  for (std::int32_t k = 0; k < bins; ++k) {
    re[k] = scale * spectrum[k][0];
    im[k] = scale * spectrum[k][1];
  }
  // Only 0 Hz, and the Nyquist bin of an even count, are real for a real record.
  im[0] = 0.0;
  if (count % 2 == 0) im[bins - 1] = 0.0;
}

}  // namespace orvek

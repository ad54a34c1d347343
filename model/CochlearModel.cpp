#include "model/CochlearModel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <exception>
#include <numbers>
#include <string>
#include <system_error>
#include <thread>

#include "base/ErrorText.h"
#include "base/FileNames.h"
#include "base/LargePages.h"
#include "base/OrvekError.h"
#include "model/HazardRule.h"
#include "model/RealFFT.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;
using Complex = std::complex<double>;

constexpr double kPi = std::numbers::pi;
const Complex kI(0.0, 1.0);

// Below this transform length a place takes less time than starting a thread.
constexpr std::int32_t kParallelMinLength = 512;

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// |z| without std::hypot's care for overflow, which the model's values never come near and which
// costs a noticeable share of the transfer function's time.
double Modulus(Complex z) { return std::sqrt(z.real() * z.real() + z.imag() * z.imag()); }

// a / b by Smith's method: as safe from overflow as the library's division and several times
// faster, which matters with six divisions per bin and place.
Complex Divide(Complex a, Complex b) {
  if (std::abs(b.real()) >= std::abs(b.imag())) {
    const double ratio = b.imag() / b.real(), denominator = b.real() + b.imag() * ratio;
    return {(a.real() + a.imag() * ratio) / denominator,
            (a.imag() - a.real() * ratio) / denominator};
  }
  const double ratio = b.real() / b.imag(), denominator = b.real() * ratio + b.imag();
  return {(a.real() * ratio + a.imag()) / denominator, (a.imag() * ratio - a.real()) / denominator};
}

Complex Exp(Complex z) {
  const double magnitude = std::exp(z.real());
  return {magnitude * std::cos(z.imag()), magnitude * std::sin(z.imag())};
}

// The derived form sets the basilar-membrane mass from its stiffness and the base frequency; the
// value stays in the record until the parameter file is loaded again.
void ReplaceBmMass(TModelParameters& p) {
  if (p.WkbMode == 1.0f) return;
  const double omega = 2.0 * kPi * p.BaseFrequency;
  p.BmMass = static_cast<float>(p.BmStiffness / (omega * omega));
}

// What the transfer function at one distance needs besides the frequency.
struct PlaceShape {
  double amplitude = 0.0;  // A
  double waveGain = 0.0;   // G
  double damping = 0.0;    // D
  double baseFrequency = 0.0;
  double cf = 0.0;  // characteristic frequency, Hz
};

PlaceShape ShapeAt(const TModelParameters& p, double x) {
  PlaceShape shape;
  const double outputArea = p.OutputArea;
  if (p.WkbMode == 1.0f) {
    shape.amplitude = std::exp(-p.WkbDecayRate * x) * p.WkbAmplitude * outputArea /
                      (static_cast<double>(p.WkbFactorA) * p.PlaceLengthConstant);
    shape.waveGain = 4.0 * p.WkbGainAlt;
  } else {
    const double mass = p.BmMass, factorA = p.WkbFactorA, factorB = p.WkbFactorB;
    const double lengthA = p.WkbLengthA, lengthB = p.WkbLengthB;
    shape.amplitude = std::exp(-3.0 * x / (4.0 * lengthB)) *
                      std::sqrt(1.0 / (mass * factorA * factorB)) * p.WkbAmplitude * outputArea;
    shape.waveGain =
        2.0 * std::sqrt(factorA / (mass * factorB)) * lengthA * lengthB / (lengthA + lengthB);
  }
  shape.damping = static_cast<double>(p.DampingNumerator) / p.DampingDivisor;
  shape.baseFrequency = p.BaseFrequency;
  shape.cf = PlaceFrequencyHz(p, x);
  return shape;
}

double BinWidth(std::int32_t n, float dt) {
  return 1.0 / (static_cast<double>(n) * static_cast<double>(dt));
}

// The factors of one bin that do not depend on the place (G, D and the base frequency are the
// same everywhere): worked out once per run and then only read by the place workers, which
// leaves each place the part that depends on its characteristic frequency. Bin 0 (0 Hz) is left
// unset: its transfer function is 0.
struct BinConstants {
  Complex s;            // sqrt(1 - i D / u), u = f / base frequency
  Complex gain;         // g = G / s
  Complex rootR;        // sqrt(r), r = alpha / a, alpha = u s, a = sqrt(1 - alpha^2)
  Complex aPlusIAlpha;  // a + i alpha
};
// The table is large and written once per run; large pages make its first use cheap.
using BinTableVector = std::vector<BinConstants, LargePageAllocator<BinConstants>>;

// Calls body(k) for k = first .. last, split into one contiguous range per thread (the calling
// thread takes the first); bins are independent, so the split does not change any value.
template <typename Body>
void ForEachBin(std::int32_t first, std::int32_t last, int threads, const Body& body) {
  const std::int64_t count = std::int64_t{last} - first + 1;
  const auto range = [&](int part) {
    const auto begin = static_cast<std::int32_t>(first + count * part / threads);
    const auto end = static_cast<std::int32_t>(first + count * (part + 1) / threads);
    for (std::int32_t k = begin; k < end; ++k) body(k);
  };
  std::vector<std::jthread> helpers;
  for (int part = 1; part < threads; ++part) helpers.emplace_back(range, part);
  range(0);
}

// 64 bytes per bin: 32 MiB for the longest transform.
BinTableVector BinTable(const TModelParameters& p, std::int32_t n, float dt, int threads) {
  const PlaceShape shape = ShapeAt(p, p.ReferencePlace);  // only its place-independent part
  const std::int32_t half = n / 2;
  const double df = BinWidth(n, dt);
  BinTableVector bins(static_cast<std::size_t>(half) + 1);
  ForEachBin(1, half, threads, [&](std::int32_t k) {
    const double f = k * df;
    const double u = f / shape.baseFrequency;
    const Complex s = WkbSquareRoot(Complex(1.0, -shape.damping / u));
    const Complex alpha = u * s;
    const Complex a = WkbSquareRoot(1.0 - alpha * alpha);
    bins[k] = {s, Divide(shape.waveGain, s), WkbSquareRoot(Divide(alpha, a)), a + kI * alpha};
  });
  return bins;
}

// beta = v s and c = sqrt(1 - beta^2) of one bin at a place, v = f / CF.
struct PlaceBin {
  Complex beta;
  Complex c;
};

PlaceBin AtPlace(const PlaceShape& shape, const BinConstants& bin, double f) {
  const double v = f / shape.cf;
  const Complex beta = v * bin.s;
  return {beta, WkbSquareRoot(1.0 - beta * beta)};
}

// The travelling wave W = exp(g Log((a + i alpha) / (c + i beta))) in three steps: the ratio, the
// exponent and W.
Complex WaveRatio(const BinConstants& bin, const PlaceBin& at) {
  return Divide(bin.aPlusIAlpha, at.c + kI * at.beta);
}

Complex WaveExponent(const BinConstants& bin, Complex ratio) { return bin.gain * WkbLog(ratio); }

// Everything the transfer function of one place reads; `bins` and `termination` hold N/2 + 1
// bins.
struct PlaceTransfer {
  // Each step of Fill is a loop over a block of bins that do not depend on one another, so the
  // processor overlaps the long chains of divisions, square roots and library calls of several
  // bins, which one bin at a time would run one after another.
  static constexpr std::int32_t kBlockBins = 256;

  PlaceShape shape;
  double df = 0.0;
  std::int32_t half = 0;
  const BinConstants* bins = nullptr;
  const Complex* termination = nullptr;

  // The transfer function -i A m Tw of bins first .. first + count - 1 (count <= kBlockBins) into
  // `out`, 0 at 0 Hz and real at the Nyquist frequency; m = g t sqrt(t) / sqrt(r), t = beta / c,
  // and Tw = R W + (R - 1) / W.
  void Fill(std::int32_t first, std::int32_t count, Complex* out) const {
    Complex m[kBlockBins], exponent[kBlockBins];
    const std::int32_t begin = std::max(first, 1), end = first + count;
    for (std::int32_t k = begin; k < end; ++k) {
      const BinConstants& bin = bins[k];
      const PlaceBin at = AtPlace(shape, bin, k * df);
      const Complex t = Divide(at.beta, at.c);
      m[k - first] = Divide(bin.gain * t * WkbSquareRoot(t), bin.rootR);
      exponent[k - first] = WaveRatio(bin, at);
    }
    for (std::int32_t k = begin; k < end; ++k)
      exponent[k - first] = WaveExponent(bins[k], exponent[k - first]);
    for (std::int32_t k = begin; k < end; ++k) {
      const Complex w = Exp(exponent[k - first]);
      const Complex reflection = termination[k];
      const Complex tw = reflection * w + Divide(reflection - 1.0, w);
      out[k - first] = -kI * shape.amplitude * m[k - first] * tw;
    }
    if (first == 0) out[0] = 0.0;
    if (half < end) out[half - first].imag(0.0);
  }
};

// Termination factor R(k): 1 / (1 + W^2) at ReferencePlace when the cochlea reflects, else 1;
// `bins` is read only in the first case.
std::vector<Complex> TerminationFrom(const TModelParameters& p, const BinTableVector& bins,
                                     std::int32_t n, float dt, int threads) {
  const std::int32_t half = n / 2;
  std::vector<Complex> termination(static_cast<std::size_t>(half) + 1, Complex(1.0, 0.0));
  termination[0] = 0.0;
  if (p.ReflectionMode == 0.0f) {
    const PlaceShape shape = ShapeAt(p, p.ReferencePlace);
    const double df = BinWidth(n, dt);
    ForEachBin(1, half, threads, [&](std::int32_t k) {
      const Complex w =
          Exp(WaveExponent(bins[k], WaveRatio(bins[k], AtPlace(shape, bins[k], k * df))));
      termination[k] = Divide(1.0, 1.0 + w * w);
    });
    termination[half].imag(0.0);
  }
  return termination;
}

void CheckLength(std::int32_t n) {
  if (n < 2 || n % 2 != 0)
    throw OrvekError(
        "The cochlear transfer function needs an even transform length of at least 2, not " +
        std::to_string(n) + ".");
}

struct PlaceOutcome {
  float hazard = 0.0f;
  float displacementMax = 0.0f;
  float displacementMin = 0.0f;
  std::exception_ptr failure;
};

struct RunContext {
  std::int32_t n = 0;
  float dt = 0.0f;
  const TModelParameters* p = nullptr;
  const std::vector<float>* spectrumRe = nullptr;
  const std::vector<float>* spectrumIm = nullptr;
  const BinTableVector* bins = nullptr;
  const std::vector<Complex>* termination = nullptr;
  const std::vector<HazardPlace>* places = nullptr;
  MovieFrameStore* movie = nullptr;
};

// Buffers one worker reuses from place to place.
struct PlaceBuffers {
  explicit PlaceBuffers(std::int32_t n)
      : filteredRe(static_cast<std::size_t>(n / 2) + 1),
        filteredIm(static_cast<std::size_t>(n / 2) + 1) {}
  std::vector<float> filteredRe, filteredIm;
};

std::string PlaceName(int place, double distanceCm) {
  return "place " + std::to_string(place) + " (" + Fixed(distanceCm, 3) + " cm from the stapes)";
}

// Place `place` (1-based): filter, transform back, store the displacement in the movie frames and
// apply the hazard rule.
PlaceOutcome RunPlace(int place, const RunContext& run, PlaceBuffers& buffers) {
  const HazardPlace& site = (*run.places)[place - 1];
  const TModelParameters& p = *run.p;
  const std::int32_t n = run.n, half = n / 2;
  const PlaceTransfer transfer{ShapeAt(p, site.DistanceCm), BinWidth(n, run.dt), half,
                               run.bins->data(), run.termination->data()};
  Complex block[PlaceTransfer::kBlockBins];
  for (std::int32_t first = 0; first <= half; first += PlaceTransfer::kBlockBins) {
    const std::int32_t count = std::min(PlaceTransfer::kBlockBins, half + 1 - first);
    transfer.Fill(first, count, block);
    for (std::int32_t k = first; k < first + count; ++k) {
      const Complex h = block[k - first];
      if (!std::isfinite(h.real()) || !std::isfinite(h.imag()))
        throw OrvekError("The cochlear transfer function of " + PlaceName(place, site.DistanceCm) +
                         " is not a finite number at " + Fixed(k * transfer.df, 1) +
                         " Hz; check the cochlear values in the parameter file " +
                         Quoted(p.Source) + ".");
      const double re = (*run.spectrumRe)[k], im = (*run.spectrumIm)[k];
      buffers.filteredRe[k] = static_cast<float>(re * h.real() - im * h.imag());
      buffers.filteredIm[k] = static_cast<float>(re * h.imag() + im * h.real());
    }
  }
  RealFFTInverse(buffers.filteredRe.data(), buffers.filteredIm.data(), n, run.dt);
  // One pass unpacks the record, checks it, finds its range, fills the movie frames and applies
  // the hazard rule.
  HalfCycleHazard hazard(site.Gain, p.HazardThreshold, p.HazardExponent);
  float* frames = &run.movie->Frame(0, 1 + place);
  float largest = buffers.filteredRe[0], smallest = buffers.filteredRe[0];
  for (std::int32_t i = 0; i < n; ++i) {
    const float value = PackedSample(buffers.filteredRe.data(), buffers.filteredIm.data(), i);
    if (!std::isfinite(value))
      throw OrvekError("The basilar-membrane displacement of " + PlaceName(place, site.DistanceCm) +
                       " is not a finite number at sample " + std::to_string(i) +
                       "; check the cochlear values in the parameter file " + Quoted(p.Source) +
                       ".");
    largest = std::max(largest, value);
    smallest = std::min(smallest, value);
    frames[i * MovieFrameStore::kFrameValues] = value;
    hazard.Add(value);
  }
  PlaceOutcome outcome;
  outcome.displacementMax = largest;
  outcome.displacementMin = smallest;
  outcome.hazard = static_cast<float>(hazard.Sum());
  return outcome;
}

// Runs every place on `threads` workers (the calling thread is one of them). Places are handed
// out in increasing order, so after a failure every lower place has been run and the failure of
// the lowest place is the one a serial run would have met first.
std::vector<PlaceOutcome> RunPlaces(const RunContext& run, int threads) {
  const int places = static_cast<int>(run.places->size());
  std::vector<PlaceOutcome> outcomes(static_cast<std::size_t>(places));
  std::atomic<int> next{1};
  std::atomic<bool> failed{false};
  auto worker = [&] {
    std::optional<PlaceBuffers> buffers;
    for (int place = next++; place <= places && !failed; place = next++) {
      try {
        if (!buffers) buffers.emplace(run.n);
        outcomes[place - 1] = RunPlace(place, run, *buffers);
      } catch (...) {
        outcomes[place - 1].failure = std::current_exception();
        failed = true;
      }
    }
  };
  {
    std::vector<std::jthread> helpers;
    for (int i = 1; i < threads; ++i) helpers.emplace_back(worker);
    worker();
  }
  for (const PlaceOutcome& outcome : outcomes)
    if (outcome.failure) std::rethrow_exception(outcome.failure);
  return outcomes;
}

int ThreadsFor(int requested, int places, std::int32_t n) {
  if (requested > 0) return std::min(requested, places);
  if (n < kParallelMinLength) return 1;
  const int available = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(available, 1, places);
}

// Writes the table through a temporary file, so that a failure leaves any earlier table as it was.
// Returns what went wrong, if anything.
std::optional<std::string> WriteHazardFile(const OutputFile& file,
                                           const std::vector<PlaceResult>& places) {
  std::string text = "BIndex Freq(kHz) Hazard(AHU) Distance(cm)\r\n";
  for (const PlaceResult& place : places) {
    char line[256];
    std::snprintf(line, sizeof line, "%4d    %5.2f  %11.5f      %5.3f\r\n", place.Place,
                  place.CfKhz, static_cast<double>(place.Hazard), place.DistanceCm);
    text += line;
  }
  if (const auto reason = WriteFileReplacing(file.Path, text, file.Reads))
    return "The hazard file " + Quoted(file.Path) + " could not be written: " + *reason + ".";
  return std::nullopt;
}

// The transform length of a run, after checking that the movie store holds its places and
// frames.
std::int32_t CheckedRunLength(const TModelParameters& p, std::int32_t last) {
  const int places = p.PlaceCount;
  if (places < 1 || places > MovieFrameStore::kMaxPlaces)
    throw OrvekError("The parameter file " + Quoted(p.Source) + " asks for " +
                     std::to_string(places) + " cochlear places; the model takes 1 to " +
                     std::to_string(MovieFrameStore::kMaxPlaces) + ".");
  const std::int32_t n = CochlearTransformLength(last);
  if (n < 2 || n > MovieFrameStore::kFrames)
    throw OrvekError("A record of " + std::to_string(last + 1) + " samples needs a transform of " +
                     std::to_string(n) + " samples; the cochlear model takes 2 to " +
                     std::to_string(MovieFrameStore::kFrames) + ".");
  return n;
}

// Movie values 0 (pressure) and 1 (stapes displacement) of frames 0 .. n-1, zero beyond the `used`
// samples of the record, with the pressure axis and the stapes range.
void StoreMovieInput(const float* pressure, const float* stapes, std::int32_t used, std::int32_t n,
                     float axisMax, float axisMin, MovieFrameStore& movie) {
  movie.AxisMax() = axisMax;
  movie.AxisMin() = axisMin;
  float stapesMax = -1e6f, stapesMin = 1e6f;
  for (std::int32_t i = 0; i < n; ++i) {
    const float displacement = i < used ? stapes[i] : 0.0f;
    movie.Frame(i, 0) = i < used ? pressure[i] : 0.0f;
    movie.Frame(i, 1) = displacement;
    stapesMax = std::max(stapesMax, displacement);
    stapesMin = std::min(stapesMin, displacement);
  }
  movie.StapesMax() = stapesMax;
  movie.StapesMin() = stapesMin;
}

// A spectrum of N/2 + 1 bins as RealFFTForward leaves it.
struct PackedSpectrum {
  std::vector<float> re, im;
};

// The spectrum of the stapes displacement, its `used` samples padded with zeros to n.
PackedSpectrum StapesSpectrum(const float* stapes, std::int32_t used, std::int32_t n, float dt) {
  PackedSpectrum spectrum{std::vector<float>(static_cast<std::size_t>(n / 2) + 1),
                          std::vector<float>(static_cast<std::size_t>(n / 2) + 1)};
  PackRealRecord(stapes, used, n, spectrum.re.data(), spectrum.im.data());
  RealFFTForward(spectrum.re.data(), spectrum.im.data(), n, dt);
  return spectrum;
}

void CheckTermination(const std::vector<Complex>& termination, const TModelParameters& p) {
  for (const Complex& factor : termination)
    if (!std::isfinite(factor.real()) || !std::isfinite(factor.imag()))
      throw OrvekError("The cochlear termination factor at the reference place (" +
                       Fixed(p.ReferencePlace, 3) +
                       " cm from the stapes) is not a finite number; check the cochlear values "
                       "in the parameter file " +
                       Quoted(p.Source) + ".");
}

// The result of each place into the movie's header and the result, which names the place of the
// largest hazard (the first of equal ones).
CochlearResult CollectPlaces(const std::vector<PlaceOutcome>& outcomes,
                             const std::vector<HazardPlace>& sites, const TModelParameters& p,
                             std::int32_t n, MovieFrameStore& movie) {
  CochlearResult result;
  result.TransformLength = n;
  for (int place = 1; place <= p.PlaceCount; ++place) {
    const PlaceOutcome& outcome = outcomes[place - 1];
    movie.PlaceHazard(place) = outcome.hazard;
    movie.PlaceDisplacementMax(place) = outcome.displacementMax;
    movie.PlaceDisplacementMin(place) = outcome.displacementMin;
    const double x = sites[place - 1].DistanceCm;
    result.Places.push_back(
        {place, x, 0.001 * p.BaseFrequency * std::exp(-x / p.PlaceLengthConstant), outcome.hazard});
    if (outcome.hazard > result.Hazard) {
      result.Hazard = outcome.hazard;
      result.WorstPlace = place;
    }
  }
  return result;
}

}  // namespace

std::int32_t CochlearTransformLength(std::int32_t last) {
  if (last < 0) throw OrvekError("A record needs at least one sample for the cochlear model.");
  const double exponent = std::nearbyint(std::log2(static_cast<double>(last) + 1.0));
  if (exponent > 30.0)
    throw OrvekError("A record of " + std::to_string(std::int64_t{last} + 1) +
                     " samples is too long for the cochlear model.");
  return std::int32_t{1} << static_cast<int>(exponent);
}

std::complex<double> WkbSquareRoot(std::complex<double> z) {
  const double x = z.real(), y = z.imag();
  const double modulus = Modulus(z);
  if (std::abs(y) < 0.0001 * std::abs(x)) {
    if (x > 0.0) return {std::sqrt((modulus + x) / 2.0), y / (2.0 * std::sqrt(x))};
    return {std::abs(y) / (2.0 * std::sqrt(-x)), std::sqrt((modulus - x) / 2.0)};
  }
  if (modulus == 0.0) return {0.0, 0.0};
  const double re = std::sqrt((modulus + x) / 2.0);
  return {re, y / (2.0 * re)};
}

double WkbArgument(std::complex<double> z) {
  const double x = z.real(), y = z.imag();
  if (x == 0.0) return y > 0.0 ? kPi / 2.0 : y < 0.0 ? -kPi / 2.0 : 0.0;
  const double angle = std::atan(y / x);
  if (x > 0.0) return angle;
  return y >= 0.0 ? angle + kPi : angle - kPi;
}

std::complex<double> WkbLog(std::complex<double> z) {
  return {std::log(1e-20 + Modulus(z)), WkbArgument(z)};
}

std::vector<std::complex<double>> CochlearTransfer(
    double x, std::int32_t n, float dt, TModelParameters& p,
    const std::vector<std::complex<double>>& termination) {
  CheckLength(n);
  const std::int32_t half = n / 2;
  if (termination.size() != static_cast<std::size_t>(half + 1))
    throw OrvekError("The cochlear termination factor has " + std::to_string(termination.size()) +
                     " bins where the transform of " + std::to_string(n) + " samples has " +
                     std::to_string(half + 1) + ".");
  ReplaceBmMass(p);
  const BinTableVector bins = BinTable(p, n, dt, 1);
  const PlaceTransfer transfer{ShapeAt(p, x), BinWidth(n, dt), half, bins.data(),
                               termination.data()};
  std::vector<Complex> values(static_cast<std::size_t>(half) + 1);
  for (std::int32_t first = 0; first <= half; first += PlaceTransfer::kBlockBins)
    transfer.Fill(first, std::min(PlaceTransfer::kBlockBins, half + 1 - first), &values[first]);
  return values;
}

std::vector<std::complex<double>> CochlearTermination(std::int32_t n, float dt,
                                                      TModelParameters& p) {
  CheckLength(n);
  ReplaceBmMass(p);
  BinTableVector bins;
  if (p.ReflectionMode == 0.0f) bins = BinTable(p, n, dt, 1);
  return TerminationFrom(p, bins, n, dt, 1);
}

double PlaceHazard(const float* displacement, std::int32_t count, double gain, double threshold,
                   double exponent) {
  HalfCycleHazard hazard(gain, threshold, exponent);
  for (std::int32_t i = 0; i < count; ++i) hazard.Add(displacement[i]);
  return hazard.Sum();
}

CochlearResult CochlearModel(const float* pressure, float* work, std::int32_t last, float dt,
                             float axisMax, float axisMin, TModelParameters& p,
                             MovieFrameStore& movie, const std::optional<OutputFile>& hazardFile) {
  return CochlearModel(pressure, work, last, dt, axisMax, axisMin, p, movie, hazardFile, 0);
}

CochlearResult CochlearModel(const float* pressure, float* work, std::int32_t last, float dt,
                             float axisMax, float axisMin, TModelParameters& p,
                             MovieFrameStore& movie, const std::optional<OutputFile>& hazardFile,
                             int threads) {
  const std::int32_t n = CheckedRunLength(p, last);
  const std::int32_t used = std::min(last + 1, n);  // record samples; the rest is zero padding
  StoreMovieInput(pressure, work, used, n, axisMax, axisMin, movie);
  const PackedSpectrum stapes = StapesSpectrum(work, used, n, dt);

  ReplaceBmMass(p);
  const int workers = ThreadsFor(threads, p.PlaceCount, n);
  const BinTableVector bins = BinTable(p, n, dt, workers);
  const std::vector<Complex> termination = TerminationFrom(p, bins, n, dt, workers);
  CheckTermination(termination, p);

  const std::vector<HazardPlace> sites = HazardPlaces(p);
  const RunContext run{.n = n,
                       .dt = dt,
                       .p = &p,
                       .spectrumRe = &stapes.re,
                       .spectrumIm = &stapes.im,
                       .bins = &bins,
                       .termination = &termination,
                       .places = &sites,
                       .movie = &movie};
  CochlearResult result = CollectPlaces(RunPlaces(run, workers), sites, p, n, movie);
  // The caller gets the displacement of the last place.
  for (std::int32_t i = 0; i < n; ++i) work[i] = movie.Frame(i, 1 + p.PlaceCount);

  if (hazardFile) result.HazardFileError = WriteHazardFile(*hazardFile, result.Places);
  return result;
}

}  // namespace orvek

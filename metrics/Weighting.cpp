#include "metrics/Weighting.h"

#include <cmath>

namespace orvek {
namespace {

struct Complex {
  double re, im;
};

// (a + ib) / (c + id) written out: std::complex division guards against overflow at a cost that
// shows when every bin of a long transform is weighted, and these denominators never vanish for
// f > 0.
Complex Quotient(double a, double b, double c, double d) {
  const double scale = 1.0 / (c * c + d * d);
  return {(a * c + b * d) * scale, (b * c - a * d) * scale};
}

}  // namespace

WeightingFilters InitWeightingFilters() {
  WeightingFilters filters;
  filters.F1 = 20.598997f;
  filters.F4 = 12194.216796875f;
  filters.F0 = static_cast<float>(std::exp(2.45 * std::log(10.0)));  // 10^2.45 Hz
  const WeightingValue at1k = WeightingResponse(filters, 1000.0);
  filters.GainA = static_cast<float>(1.0 / std::hypot(double{at1k.Are}, double{at1k.Aim}));
  filters.GainC = static_cast<float>(1.0 / std::hypot(double{at1k.Cre}, double{at1k.Cim}));
  return filters;
}

WeightingValue WeightingResponse(const WeightingFilters& filters, double frequencyHz) {
  if (frequencyHz == 0.0) return {};
  const double f = frequencyHz;
  const double f2 = f * f;
  const double f1 = filters.F1, f4 = filters.F4, f0 = filters.F0;
  // Double pole at f1, then double pole at f4: the C-weighting.
  const Complex h1 = Quotient(f2, 0.0, f2 - f1 * f1, -2.0 * f * f1);
  const Complex h2 = Quotient(f4 * f4 * h1.re, f4 * f4 * h1.im, f4 * f4 - f2, 2.0 * f * f4);
  // The second-order section at f0 adds the two middle poles of the A-weighting.
  const Complex h3 = Quotient(f2 * h2.re, f2 * h2.im, f2 - f0 * f0, -3.0 * f * f0);
  const double gainA = filters.GainA, gainC = filters.GainC;
  return {static_cast<float>(gainA * h3.re), static_cast<float>(gainA * h3.im),
          static_cast<float>(gainC * h2.re), static_cast<float>(gainC * h2.im)};
}

}  // namespace orvek

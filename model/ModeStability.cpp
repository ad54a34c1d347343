#include "model/ModeStability.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "base/OrvekError.h"

namespace orvek {
namespace {

constexpr double kEpsilon = std::numeric_limits<double>::epsilon();

// Scales rows and columns by powers of two (exact) until their norms are alike, so that the
// network's mixed units (displacements against velocities, stiffnesses against masses) do not
// swamp the small eigenvalues with the rounding of the large entries.
void Balance(std::vector<double>& a, int n) {
  for (bool changed = true; changed;) {
    changed = false;
    for (int i = 0; i < n; ++i) {
      double column = 0.0, row = 0.0;
      for (int j = 0; j < n; ++j) {
        if (j == i) continue;
        column += std::abs(a[j * n + i]);
        row += std::abs(a[i * n + j]);
      }
      if (column == 0.0 || row == 0.0) continue;
      const double sum = column + row;
      double f = 1.0;
      while (column < row / 2.0) {
        f *= 2.0;
        column *= 4.0;
      }
      while (column > row * 2.0) {
        f /= 2.0;
        column /= 4.0;
      }
      if ((column + row) / f < 0.95 * sum) {
        changed = true;
        for (int j = 0; j < n; ++j) a[i * n + j] /= f;
        for (int j = 0; j < n; ++j) a[j * n + i] *= f;
      }
    }
  }
}

// Householder similarity transforms that zero everything below the first subdiagonal.
void ReduceToHessenberg(std::vector<double>& a, int n) {
  std::vector<double> v(n);
  for (int k = 0; k + 2 < n; ++k) {
    double norm = 0.0;
    for (int i = k + 1; i < n; ++i) norm = std::hypot(norm, a[i * n + k]);
    if (norm == 0.0) continue;
    const double alpha = a[(k + 1) * n + k] > 0.0 ? -norm : norm;
    double vNorm = 0.0;
    for (int i = k + 1; i < n; ++i) {
      v[i] = a[i * n + k] - (i == k + 1 ? alpha : 0.0);
      vNorm = std::hypot(vNorm, v[i]);
    }
    for (int i = k + 1; i < n; ++i) v[i] /= vNorm;
    // A <- H A H with H = I - 2 v v^T acting on rows and columns k+1 .. n-1.
    for (int j = 0; j < n; ++j) {
      double dot = 0.0;
      for (int i = k + 1; i < n; ++i) dot += v[i] * a[i * n + j];
      for (int i = k + 1; i < n; ++i) a[i * n + j] -= 2.0 * v[i] * dot;
    }
    for (int i = 0; i < n; ++i) {
      double dot = 0.0;
      for (int j = k + 1; j < n; ++j) dot += a[i * n + j] * v[j];
      for (int j = k + 1; j < n; ++j) a[i * n + j] -= 2.0 * dot * v[j];
    }
    for (int i = k + 2; i < n; ++i) a[i * n + k] = 0.0;
  }
}

// The double-shift QR iteration on an upper Hessenberg matrix, deflating one real eigenvalue or a
// pair at a time from the bottom. Indices run from 1 here, as in the classic statement of it.
std::vector<std::complex<double>> HessenbergEigenvalues(std::vector<double>& h, int n) {
  const auto at = [&h, n](int i, int j) -> double& { return h[(i - 1) * n + (j - 1)]; };
  constexpr int kMaxIterations = 60;  // per eigenvalue; an exceptional shift every tenth
  std::vector<std::complex<double>> values(n);
  double norm = 0.0;
  for (int i = 1; i <= n; ++i) {
    for (int j = std::max(i - 1, 1); j <= n; ++j) norm += std::abs(at(i, j));
  }
  int nn = n;
  double shift = 0.0;  // exceptional shifts taken so far
  while (nn >= 1) {
    int iterations = 0;
    int l = 0;
    do {
      // Look for a negligible subdiagonal element that splits the matrix.
      for (l = nn; l >= 2; --l) {
        double s = std::abs(at(l - 1, l - 1)) + std::abs(at(l, l));
        if (s == 0.0) s = norm;
        if (std::abs(at(l, l - 1)) <= kEpsilon * s) {
          at(l, l - 1) = 0.0;
          break;
        }
      }
      double x = at(nn, nn);
      if (l == nn) {  // one real root
        values[nn - 1] = x + shift;
        --nn;
        continue;
      }
      double y = at(nn - 1, nn - 1);
      double w = at(nn, nn - 1) * at(nn - 1, nn);
      if (l == nn - 1) {  // a pair of roots
        const double p = 0.5 * (y - x);
        const double q = p * p + w;
        double z = std::sqrt(std::abs(q));
        x += shift;
        if (q >= 0.0) {
          z = p + std::copysign(z, p);
          values[nn - 2] = x + z;
          values[nn - 1] = z != 0.0 ? x - w / z : x + z;
        } else {
          values[nn - 2] = {x + p, z};
          values[nn - 1] = {x + p, -z};
        }
        nn -= 2;
        continue;
      }
      if (iterations == kMaxIterations) {
        throw OrvekError("The eigenvalues of a " + std::to_string(n) + " x " + std::to_string(n) +
                         " matrix did not converge in " + std::to_string(kMaxIterations) +
                         " iterations; check that its entries are finite.");
      }
      if (iterations > 0 && iterations % 10 == 0) {  // exceptional shift
        shift += x;
        for (int i = 1; i <= nn; ++i) at(i, i) -= x;
        const double s = std::abs(at(nn, nn - 1)) + std::abs(at(nn - 1, nn - 2));
        y = x = 0.75 * s;
        w = -0.4375 * s * s;
      }
      ++iterations;
      // Form the shift and look for two consecutive small subdiagonal elements.
      int m = nn - 2;
      double p = 0.0, q = 0.0, r = 0.0, z = 0.0;
      for (; m >= l; --m) {
        z = at(m, m);
        r = x - z;
        double s = y - z;
        p = (r * s - w) / at(m + 1, m) + at(m, m + 1);
        q = at(m + 1, m + 1) - z - r - s;
        r = at(m + 2, m + 1);
        s = std::abs(p) + std::abs(q) + std::abs(r);
        p /= s;
        q /= s;
        r /= s;
        if (m == l) break;
        const double u = std::abs(at(m, m - 1)) * (std::abs(q) + std::abs(r));
        const double v =
            std::abs(p) * (std::abs(at(m - 1, m - 1)) + std::abs(z) + std::abs(at(m + 1, m + 1)));
        if (u <= kEpsilon * v) break;
      }
      for (int i = m + 2; i <= nn; ++i) {
        at(i, i - 2) = 0.0;
        if (i != m + 2) at(i, i - 3) = 0.0;
      }
      // The double QR step on rows l .. nn and columns m .. nn.
      for (int k = m; k <= nn - 1; ++k) {
        if (k != m) {
          p = at(k, k - 1);
          q = at(k + 1, k - 1);
          r = k != nn - 1 ? at(k + 2, k - 1) : 0.0;
          x = std::abs(p) + std::abs(q) + std::abs(r);
          if (x != 0.0) {
            p /= x;
            q /= x;
            r /= x;
          }
        }
        const double s = std::copysign(std::sqrt(p * p + q * q + r * r), p);
        if (s == 0.0) continue;
        if (k == m) {
          if (l != m) at(k, k - 1) = -at(k, k - 1);
        } else {
          at(k, k - 1) = -s * x;
        }
        p += s;
        x = p / s;
        y = q / s;
        z = r / s;
        q /= p;
        r /= p;
        for (int j = k; j <= nn; ++j) {
          p = at(k, j) + q * at(k + 1, j);
          if (k != nn - 1) {
            p += r * at(k + 2, j);
            at(k + 2, j) -= p * z;
          }
          at(k + 1, j) -= p * y;
          at(k, j) -= p * x;
        }
        for (int i = l; i <= std::min(nn, k + 3); ++i) {
          p = x * at(i, k) + y * at(i, k + 1);
          if (k != nn - 1) {
            p += z * at(i, k + 2);
            at(i, k + 2) -= p * r;
          }
          at(i, k + 1) -= p * q;
          at(i, k) -= p;
        }
      }
    } while (l < nn - 1);
  }
  return values;
}

}  // namespace

std::vector<std::complex<double>> Eigenvalues(std::vector<double> matrix, int n) {
  if (n < 0 || matrix.size() != static_cast<std::size_t>(n) * n) {
    throw OrvekError("An eigenvalue problem of order " + std::to_string(n) + " was given " +
                     std::to_string(matrix.size()) + " entries.");
  }
  Balance(matrix, n);
  ReduceToHessenberg(matrix, n);
  return HessenbergEigenvalues(matrix, n);
}

std::complex<double> RungeKuttaAmplification(std::complex<double> z) {
  return 1.0 + z * (1.0 + z / 2.0 * (1.0 + z / 3.0 * (1.0 + z / 4.0)));
}

double StepMargin(std::complex<double> z) {
  const double size = std::abs(z);
  if (size == 0.0) return std::numeric_limits<double>::infinity();
  // Near z = 0 on the imaginary axis |R| is 1 up to rounding: growth has to stand clear of it.
  // |R|^2 against the square of the bound, since the ear models scan this once per run.
  constexpr double kGrowth = (1.0 + 1e-12) * (1.0 + 1e-12);
  const auto grows = [z](double s) { return std::norm(RungeKuttaAmplification(s * z)) > kGrowth; };
  // The stable region lies inside |z| < 3: scan the ray on a grid 0.1 % apart from |s z| = 0.001
  // to 4, then bisect the first crossing.
  double below = 0.0;
  for (double s = 1e-3 / size; s * size < 4.0; s *= 1.001) {
    if (grows(s)) {
      double above = s;
      for (int i = 0; i < 60; ++i) {
        const double middle = 0.5 * (below + above);
        (grows(middle) ? above : below) = middle;
      }
      return below;
    }
    below = s;
  }
  return std::numeric_limits<double>::infinity();
}

double SmallestStepMargin(const std::vector<std::complex<double>>& modes, double step) {
  double margin = std::numeric_limits<double>::infinity();
  for (const std::complex<double>& lambda : modes) {
    const std::complex<double> z = lambda * step;
    // A conjugate pair shares its margin (R has real coefficients): scan one of the two.
    if (z.imag() < 0.0 || std::abs(z) < kRestingMode) continue;
    margin = std::min(margin, StepMargin(z));
  }
  return margin;
}

}  // namespace orvek

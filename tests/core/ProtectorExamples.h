#pragma once
#include "protection/CircuitValues.h"

namespace orvek::test {

// An earmuff inside the fit's limits: cup resonance near 300 Hz, leak at 30 Hz, material at 6 kHz.
inline TCircuitValues ExampleMuff() {
  TCircuitValues v;
  v.Kcup = 1e6f;
  v.Lcup = 0.5f;
  v.Kskin = 1e6f;
  v.Rskin = 1000.0f;
  v.Kcush = 3.335e5f;
  v.Rcush = 816.0f;
  v.Lleak = 28.1f;
  v.Rleak = 10600.0f;
  v.Kmat = 3.06e7f;
  v.Lmat = 0.0222f;
  v.Rmat = 838.0f;
  return v;
}

}  // namespace orvek::test

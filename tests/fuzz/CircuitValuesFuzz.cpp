// The seed files of the protector fit.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "base/OrvekError.h"
#include "protection/ProtectorCatalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvek;
  try {
    const TCircuitValues values = LoadCircuitValues(fuzz::InputFile::Holding(data, size));
    // Compliances must be positive, so their stiffnesses are not negative (a huge compliance
    // gives a stiffness that underflows to 0); every value is finite.
    for (const float stiffness :
         {values.Kcush, values.Kskin, values.Kcup, values.Kmat, values.Kmat2})
      fuzz::Expect(stiffness >= 0 && std::isfinite(stiffness));
    for (const float value : {values.Lcup, values.Rskin, values.Rcush, values.Lleak, values.Rleak,
                              values.Lmat, values.Rmat, values.Lmat2, values.Rmat2})
      fuzz::Expect(std::isfinite(value));
  } catch (const OrvekError&) {
  }
  return 0;
}

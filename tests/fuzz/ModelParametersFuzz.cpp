// The model parameter file: loading, then deriving the run-time constants from what loaded.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "base/OrvekError.h"
#include "model/ModelParameters.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvek;
  TModelParameters parameters;
  try {
    LoadModelParameters(fuzz::InputFile::Holding(data, size), parameters);
    fuzz::Expect(parameters.PlaceCount <= MaxPlaceCount);
    DeriveModelConstants(parameters);
    for (const float volume : parameters.Derived.CanalSectionVolume)
      fuzz::Expect(std::isfinite(volume));
  } catch (const OrvekError&) {
  }
  return 0;
}

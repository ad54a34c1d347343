// The ORV readers: the main reader and the overlay reader on the same bytes.
#include <bit>
#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "base/Lcg32.h"
#include "base/OrvekError.h"
#include "waveform/HeaderGrid.h"
#include "waveform/OrvFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvek;
  const std::filesystem::path& file = fuzz::InputFile::Holding(data, size);
  for (const bool overlay : {false, true}) {
    TWaveform waveform(fuzz::kSampleCapacity);
    HeaderGrid grid;
    FillDefaultHeader(grid);
    Lcg32 rng;
    try {
      const OrvReadReport report = overlay
                                       ? OpenNewFileType6(file, waveform, grid, rng)
                                       : OpenNewFileType5(file, false, waveform, grid, rng);
      fuzz::ExpectStoredRecord(waveform);
      fuzz::Expect(std::has_single_bit(static_cast<std::uint32_t>(waveform.Count())));
      fuzz::Expect(report.SamplesRead >= 2 && report.SamplesRead <= waveform.Capacity());
      fuzz::Expect(waveform.SampleRate >= 1.0f && waveform.MicLocation >= 1 &&
                   waveform.MicLocation <= 4);
      fuzz::Expect(grid.HeaderLastRow >= 0 && grid.HeaderLastRow < HeaderGrid::kRows);
    } catch (const OrvekError&) {
    }
  }
  return 0;
}

// The core's file writers, for SafeWriteTest.cpp.
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "SafeWrite.h"
#include "ShippedParameters.h"
#include "TempFolder.h"
#include "base/OrvekError.h"
#include "metrics/BandComparison.h"
#include "metrics/Leq300Spectrum.h"
#include "model/CochlearModel.h"
#include "protection/ProtectedWaveform.h"
#include "protection/ProtectorCatalogue.h"
#include "waveform/OrvFile.h"
#include "waveform/WavWriter.h"

namespace orvek::test {
namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kCount = 256;
constexpr float kDt = 1.0f / 20000.0f;

// A decaying 1 kHz tone of 256 samples (Pa; also the stapes displacement in um of the hazard run).
std::vector<float> Tone() {
  std::vector<float> x(kCount);
  for (std::int32_t i = 0; i < kCount; ++i)
    x[i] = static_cast<float>(200.0 * std::exp(-i / 50.0) * std::sin(0.1 * 3.14159265 * i));
  return x;
}

struct Recording {
  std::unique_ptr<TWaveform> Waveform = std::make_unique<TWaveform>(2 * kCount);
  HeaderGrid Grid;
};

Recording MakeRecording() {
  Recording r;
  const std::vector<float> tone = Tone();
  std::copy(tone.begin(), tone.end(), r.Waveform->Samples.begin());
  std::copy(tone.begin(), tone.end(), r.Waveform->WorkSamples.begin());
  r.Waveform->LastSampleIndex = kCount - 1;
  r.Waveform->SampleRate = 1.0f / kDt;
  r.Waveform->SampleInterval = kDt;
  FillDefaultHeader(r.Grid);
  return r;
}

void WriteHazardTable(const fs::path& file, const ReadFiles& reads) {
  TModelParameters p = ShippedParameters();
  std::vector<float> pressure = Tone(), stapes = Tone();
  auto movie = std::make_unique<MovieFrameStore>();
  const CochlearResult result =
      CochlearModel(pressure.data(), stapes.data(), kCount - 1, kDt, 200.0f, -200.0f, p, *movie,
                    OutputFile{file, reads}, 1);
  if (result.HazardFileError) throw OrvekError(*result.HazardFileError);
}

std::string ShippedCatalogue() {
  return TempFolder::Read(fs::path(ORVEK_DATA_DIR) / "HPD Atten.txt");
}

}  // namespace

const std::vector<Writer>& Writers() {
  static const std::vector<Writer> writers = {
      {"Orv", "SHOT.ORV", "earlier waveform\r\n",
       [](const fs::path& file, const ReadFiles& reads) {
         Recording r = MakeRecording();
         SaveOrvFile(file, true, r.Grid, *r.Waveform, reads);
       }},
      {"Wav", "SHOT.WAV", "earlier sound",
       [](const fs::path& file, const ReadFiles& reads) {
         SaveWavFile(file, *MakeRecording().Waveform, "SHOT", reads);
       }},
      {"HazardTable", "SHOT.HAZ", "earlier hazard table\r\n", WriteHazardTable},
      {"BandSpectrum", "SHOT.TOB", "earlier spectrum\r\n",
       [](const fs::path& file, const ReadFiles& reads) {
         const std::vector<float> tone = Tone();
         WriteTobFile(file, TobFileText(ComputeLeq300Spectrum(tone.data(), kCount, kDt)), reads);
       }},
      {"TobResults", "TOB.txt", TobResultsHeader() + "\r\nearlier result\r\n",
       [](const fs::path& file, const ReadFiles& reads) {
         AppendTobResults(file, "new result", reads);
       }},
      {"ProtectorCatalogue", "HPD Atten.txt", ShippedCatalogue(),
       [](const fs::path& file, const ReadFiles& reads) {
         TCircuitValues values;
         values.Kcup = 1.0e6f;
         values.Lcup = 0.25f;
         StoreCircuitValues(file, 0, values, reads);
       }},
      {"PredictedWaveform", "SHOT_FOAM.ORV", "earlier prediction\r\n",
       [](const fs::path& file, const ReadFiles& reads) {
         const Recording r = MakeRecording();
         WriteProtectedWaveform(file, *r.Waveform, r.Grid, reads);
       }},
  };
  return writers;
}

}  // namespace orvek::test

#include "protection/ProtectedWaveform.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/ErrorText.h"
#include "base/FileNames.h"
#include "base/FolderLock.h"
#include "base/OrvekError.h"
#include "model/HazardAnalysis.h"
#include "waveform/OrvFile.h"

namespace fs = std::filesystem;

namespace orvek {

namespace {

// A last index beyond 2^20 - 1 is cut to one below it.
constexpr std::int32_t kLargestPowerOfTwoLastIndex = 1'048'575;
constexpr std::int32_t kCutLastIndex = 1'048'574;
constexpr const char* kCatalogueName = "HPD Atten.txt";
constexpr const char* kLocationComment = "1: Free-field, 2: Ear-canal entrance, 3: Eardrum";

std::string ReadCatalogue(const fs::path& file) {
  std::string text;
  if (const auto reason = ReadRegularFile(file, text))
    throw OrvekError("Cannot open the protector catalogue " + Quoted(file) + ": " + *reason + ".");
  return text;
}

// A circuit value the protector network divides by.
float Divisor(double value, const char* name) {
  if (value == 0.0 || !std::isfinite(value))
    throw OrvekError(std::string("The protector circuit value ") + name +
                     " is zero or not finite: the protector model cannot run with it.");
  return static_cast<float>(value);
}

// Circuit values of the record, fitted from the kind's seed and stored when it has none yet.
TCircuitValues CircuitFor(const fs::path& startupFolder, const fs::path& catalogue,
                          const TProtectorEntry& entry, ProtectorFitKind kind,
                          const ProtectorRecordData& record, const ReadFiles& reads, bool& fitted) {
  fitted = !record.Circuit;
  if (!fitted) return *record.Circuit;
  const char* seedName = kind == ProtectorFitKind::Plug
                             ? "Dat\\Hearing Protectors\\Seed_REAT_Values_Earplug.txt"
                             : "Dat\\Hearing Protectors\\Seed_REAT_Values_Earmuff.txt";
  const fs::path seedFile = ResolveInFolder(startupFolder, seedName);
  const TCircuitValues seed = LoadCircuitValues(seedFile);
  std::vector<AttenuationPoint> points;
  points.reserve(record.AttenuationTable.size());
  for (const AttenuationRow& row : record.AttenuationTable)
    points.push_back({row.FrequencyHz, row.MeanDb, row.SpreadDb});
  const TCircuitValues values = FitProtectorCircuit(seed, kind, points).Values;
  ReadFiles catalogueReads = reads;
  catalogueReads.push_back(seedFile);
  StoreCircuitValues(catalogue, entry.Index, values, catalogueReads);
  return values;
}

}  // namespace

ProtectorFitKind ProtectorKindOf(const TProtectorEntry& entry) {
  const std::string& code = entry.KindCode;
  const char letter = code.empty() ? ' ' : code[0];
  if (letter == 'P' || letter == 'N' || code == "OP") return ProtectorFitKind::Plug;
  if (letter == 'D' || code == "OD") return ProtectorFitKind::PlugPlusMuff;
  return ProtectorFitKind::Muff;
}

std::string_view ProtectorKindWord(ProtectorFitKind kind) {
  switch (kind) {
    case ProtectorFitKind::Plug:
      return "Plug";
    case ProtectorFitKind::PlugPlusMuff:
      return "Plug plus Muff";
    case ProtectorFitKind::Muff:
      break;
  }
  return "Muff";
}

ProtectorForm ProtectorFormOf(ProtectorFitKind kind) {
  return kind == ProtectorFitKind::Plug ? ProtectorForm::Plug : ProtectorForm::Muff;
}

float CanalSourceGainForAngle(int degrees) {
  if (degrees < 0 || degrees > 360)
    throw OrvekError(
        "The angle of the incoming wave must be a whole number of degrees from 0 to "
        "360, not " +
        std::to_string(degrees) + ".");
  // In double, where cos(pi) is -1 exactly, so that the head shadow gives a gain of exactly 0.
  return static_cast<float>(std::cos((degrees - 90) * std::numbers::pi / 180.0) + 1.0);
}

int IncidenceDegreesOfGain(float gain) {
  const double cosine = std::clamp(double{gain} - 1.0, -1.0, 1.0);
  const double degrees = 90.0 - std::acos(cosine) * 180.0 / std::numbers::pi;
  return static_cast<int>(std::nearbyint(degrees < 0.0 ? degrees + 360.0 : degrees));
}

void ApplyCircuitValues(const TCircuitValues& c, TModelParameters& p) {
  TModelParameters next = p;
  TDerivedModelConstants& k = next.Derived;
  next.ProtectorValue1 = c.Kcush;
  next.ProtectorValue2 = c.Rcush;
  next.ProtectorValue3 = c.Kskin;
  next.ProtectorValue4 = c.Rskin;
  next.ProtectorValue5 = Divisor(c.Lleak, "Lleak");
  next.ProtectorValue6 = c.Rleak;
  next.ProtectorValue7 = Divisor(c.Lcup, "Lcup");
  next.ProtectorValue8 = 1.0f / Divisor(c.Kcup, "Kcup");  // held as the compliance Ccup
  next.ProtectorValue9 = c.Rmat;
  next.ProtectorValue10 = Divisor(c.Lmat, "Lmat");
  next.ProtectorValue11 = c.Kmat;
  k.InverseCcup = c.Kcup;
  k.InverseLleak = 1.0f / next.ProtectorValue5;
  k.InverseLcup = 1.0f / next.ProtectorValue7;
  k.InverseSkinCushionResistance = 1.0f / Divisor(double{c.Rskin} + c.Rcush, "Rskin + Rcush");
  k.SkinCushionStiffness = static_cast<float>(double{c.Kskin} + c.Kcush);
  p = next;
}

std::int32_t ProtectedLastSampleIndex(std::int32_t lastSampleIndex, std::int32_t capacity) {
  std::int32_t last = PowerOfTwoCount(lastSampleIndex + 1, true) - 1;
  if (last > kLargestPowerOfTwoLastIndex) last = kCutLastIndex;
  return std::min(last, capacity - 1);
}

void RequireFreeFieldRecording(int micLocation) {
  if (micLocation != kProtectedAtEntrance && micLocation != kProtectedAtEardrum) return;
  throw OrvekError(std::string("This recording was taken at the ") +
                   (micLocation == kProtectedAtEntrance ? "ear-canal entrance (microphone "
                                                          "location 2)"
                                                        : "eardrum (microphone location 3)") +
                   ". The waveform under a protector is predicted from a free-field recording "
                   "(location 1); open the free-field recording of the impulse.");
}

std::string ProtectedOutputName(const fs::path& chosenFile, const TProtectorEntry& entry,
                                int angleDegrees) {
  return chosenFile.stem().string() + "_" + entry.Name + "_" + std::to_string(angleDegrees) +
         ".ORV";
}

ProtectedRun PredictUnderProtector(const fs::path& startupFolder, const TProtectorEntry& entry,
                                   int locationCode, std::optional<int> angleDegrees,
                                   const fs::path& chosenFile, TModelParameters& p,
                                   TWaveform& waveform, HeaderGrid& grid, Lcg32& rng) {
  RequireFreeFieldRecording(MicrophoneCode(grid));
  if (locationCode != kProtectedAtEntrance && locationCode != kProtectedAtEardrum)
    throw OrvekError(
        "The waveform under a protector is predicted at the ear-canal entrance (2) "
        "or the eardrum (3), not at location " +
        std::to_string(locationCode) + ".");
  const std::int32_t last = waveform.LastSampleIndex;
  if (last < 1 || last >= waveform.Capacity())
    throw OrvekError("There is no waveform to predict under the protector: open one first.");

  ProtectedRun run;
  run.Kind = ProtectorKindOf(entry);
  run.LocationCode = locationCode;
  const float canalSourceGain =
      angleDegrees ? CanalSourceGainForAngle(*angleDegrees) : p.CanalSourceGain;
  run.AngleDegrees = angleDegrees.value_or(IncidenceDegreesOfGain(canalSourceGain));

  const fs::path catalogue = ResolveInFolder(startupFolder, kCatalogueName);
  {
    // Read, fit and store under one lock: a run at the same time then finds this fit stored
    // (and does not report one of its own), and a fit of another record is not lost.
    const FolderLock lock(catalogue.parent_path());
    ProtectorRecordData record =
        ReadProtectorRecord(ReadCatalogue(catalogue), entry, catalogue.string());
    run.Circuit = CircuitFor(startupFolder, catalogue, entry, run.Kind, record,
                             {chosenFile, p.Source}, run.Fitted);
    run.Table = std::move(record.AttenuationTable);
  }

  // Both set on a copy first, so that a circuit the model cannot use leaves p as it was.
  TModelParameters next = p;
  next.CanalSourceGain = canalSourceGain;
  ApplyCircuitValues(run.Circuit, next);
  const LeakLevelCoefficients leak{run.Circuit.LleakLevelCoefficient,
                                   run.Circuit.RleakLevelCoefficient};
  float* predicted = waveform.WorkSamples.data();
  const float dt = waveform.SampleInterval;
  TimeDomainModel4(waveform.Samples.data(), predicted, last, dt, next, leak, waveform.AxisMax,
                   waveform.AxisMin, rng);
  if (locationCode == kProtectedAtEntrance)
    TimeDomainModel10(predicted, last, dt, next, run.Timing);
  else
    TimeDomainModel9(predicted, last, dt, next, run.Timing);
  p = next;

  const std::int32_t newLast = ProtectedLastSampleIndex(last, waveform.Capacity());
  if (newLast > last) {
    std::fill(waveform.Samples.begin() + last + 1, waveform.Samples.begin() + newLast + 1, 0.0f);
    std::fill(waveform.WorkSamples.begin() + last + 1, waveform.WorkSamples.begin() + newLast + 1,
              0.0f);
  }
  waveform.LastSampleIndex = newLast;
  run.Count = newLast + 1;

  grid.HeaderLastRow = HeaderGrid::kRows - 1;
  grid.SetCell(HeaderColumn::Value, HeaderRow::MicLocation,
               std::to_string(waveform.MicLocation == 5 ? 1 : locationCode));
  grid.SetCell(HeaderColumn::Comment, HeaderRow::MicLocation, kLocationComment);
  grid.SetCell(HeaderColumn::Value, HeaderRow::SampleCount, std::to_string(run.Count));
  run.OutputName = ProtectedOutputName(chosenFile, entry, run.AngleDegrees);
  return run;
}

void WriteProtectedWaveform(const fs::path& file, const TWaveform& waveform, const HeaderGrid& grid,
                            const ReadFiles& reads) {
  const std::int32_t count = waveform.Count();
  // One sample of room: the writer rounds a count cut to 2^20 - 1 up to 2^20.
  TWaveform predicted(count + 1);
  std::copy_n(waveform.WorkSamples.begin(), count, predicted.Samples.begin());
  predicted.LastSampleIndex = waveform.LastSampleIndex;
  HeaderGrid header = grid;
  SaveOrvFile(file, true, header, predicted, reads);
}

}  // namespace orvek

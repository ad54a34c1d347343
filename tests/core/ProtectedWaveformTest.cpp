#include "protection/ProtectedWaveform.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ErrorMessage.h"
#include "ShippedParameters.h"
#include "TempFolder.h"
#include "base/FileNames.h"
#include "model/HazardAnalysis.h"
#include "model/MovieFrameStore.h"
#include "waveform/OrvFile.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

TEST(ProtectedWaveform, KindFollowsKindLetterThenKindCode) {
  using enum ProtectorFitKind;
  const std::pair<const char*, ProtectorFitKind> cases[] = {
      {"N ", Plug},         {"OP", Plug}, {"D ", PlugPlusMuff},
      {"OD", PlugPlusMuff}, {"Q ", Muff}, {"  ", Muff}};
  for (const auto& [code, kind] : cases) {
    TProtectorEntry entry;
    entry.KindCode = code;
    EXPECT_EQ(ProtectorKindOf(entry), kind) << code;
  }
  EXPECT_EQ(ProtectorFormOf(PlugPlusMuff), ProtectorForm::Muff);
}

TEST(ProtectedWaveform, CanalSourceGainFollowsIncidence) {
  const std::pair<int, float> cases[] = {{90, 2.0f}, {180, 1.0f}, {270, 0.0f}, {30, 1.5f}};
  for (const auto& [degrees, gain] : cases)
    EXPECT_NEAR(CanalSourceGainForAngle(degrees), gain, 1e-6f) << degrees;
  for (const int outside : {-1, 361})
    EXPECT_NE(MessageOf([&] { CanalSourceGainForAngle(outside); }), "");
  // The angle a file's gain stands for: beyond 0..2 the nearest; gains below 1 the shadow side.
  const std::pair<float, int> angles[] = {{1.0f, 0}, {0.0f, 270}, {0.5f, 330}, {2.3f, 90}};
  for (const auto& [gain, degrees] : angles)
    EXPECT_EQ(IncidenceDegreesOfGain(gain), degrees) << gain;
}

TEST(ProtectedWaveform, LastSampleIndexIsAPowerOfTwoWithinBounds) {
  // Sample count, buffer capacity, last index: the nearest power of two, 3 rounded up, at most
  // 2^20 samples (beyond, the last index is 1,048,574), never beyond the buffers.
  const std::int32_t big = 1 << 22, m = 1 << 20;
  const std::tuple<std::int32_t, std::int32_t, std::int32_t> cases[] = {
      {1025, big, 1023}, {1100, big, 2047},   {1024, big, 1023},
      {3, big, 3},       {m + 1, big, m - 1}, {2 * m - 100, big, 1'048'574},
      {1100, 1500, 1499}};
  for (const auto& [count, capacity, last] : cases)
    EXPECT_EQ(ProtectedLastSampleIndex(count - 1, capacity), last) << count;
}

TEST(ProtectedWaveform, OutputNameJoinsBaseNameProtectorAndAngle) {
  TProtectorEntry entry;
  entry.Name = "PASSIVE EARMUFF";
  EXPECT_EQ(ProtectedOutputName(fs::path("shots") / "Rifle.160.orv", entry, 90),
            "Rifle.160_PASSIVE EARMUFF_90.ORV");  // up to the last dot: Rifle.161 keeps apart
  EXPECT_EQ(ProtectedOutputName("IMPULSE", entry, 0), "IMPULSE_PASSIVE EARMUFF_0.ORV");
}

TEST(ProtectedWaveform, CircuitValuesAreHeldAsALoadedParameterFileHoldsThem) {
  // The load keeps the cup as a compliance and the derived values beside the stiffnesses.
  TModelParameters p;
  TCircuitValues c;
  c.Kcup = 2e6f, c.Lcup = 0.25f, c.Kskin = 4e5f, c.Rskin = 300, c.Kcush = 1e5f, c.Rcush = 100;
  c.Lleak = 20, c.Rleak = 9000, c.Kmat = 3e7f, c.Lmat = 0.04f, c.Rmat = 800;
  ApplyCircuitValues(c, p);
  EXPECT_FLOAT_EQ(p.ProtectorValue8, 5e-7f);
  EXPECT_FLOAT_EQ(p.Derived.InverseSkinCushionResistance, 1.0f / 400);
  EXPECT_EQ(std::tie(p.Derived.SkinCushionStiffness, p.ProtectorValue1), std::tuple(5e5f, c.Kcush));

  c.Kcup = 0;
  const TModelParameters before = p;
  EXPECT_THAT(MessageOf([&] { ApplyCircuitValues(c, p); }), ::testing::HasSubstr("Kcup"));
  EXPECT_EQ(p.ProtectorValue8, before.ProtectorValue8);
}

// The rifle shot and the shipped parameters; every run writes only into a copy of the data folder.
class ProtectedRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy(ORVEK_DATA_DIR, data_.Path(), fs::copy_options::recursive);
    catalogue_ = ResolveInFolder(data_.Path(), "HPD Atten.txt");
    p_ = shipped_ = test::ShippedParameters();
    Reopen();
  }

  void Reopen() {
    waveform_ = std::make_unique<TWaveform>(1 << 16);
    grid_ = HeaderGrid{};
    OpenNewFileType5(Rifle(), false, *waveform_, grid_, rng_);
  }

  static fs::path Rifle() { return fs::path(ORVEK_TEST_DATA) / "RIFLE160.ORV"; }

  ProtectedRun Run(const std::string& name, int location = kProtectedAtEardrum,
                   std::optional<int> angle = 90) {
    for (const TProtectorEntry& e : LoadProtectorCatalogue(catalogue_).Entries)
      if (e.Name == name)
        return PredictUnderProtector(data_.Path(), e, location, angle, Rifle(), p_, *waveform_,
                                     grid_, rng_);
    throw OrvekError("no entry " + name);
  }

  // Hazard (ARU) of the samples taken at microphone location `mic`, with the parameters as loaded
  // (a run leaves its circuit in p_; the window reloads them before analysing).
  float Hazard(int mic, Listener listener) {
    const MuscleTiming timing = ComputeMuscleTiming(
        MuscleDelay(listener, shipped_), waveform_->SampleInterval, shipped_.MuscleTimeConstant);
    if (!movie_) movie_ = std::make_unique<MovieFrameStore>();
    return CalculateHazard(*waveform_, mic, timing, shipped_, *movie_, std::nullopt).Cochlea.Hazard;
  }

  TempFolder data_;
  fs::path catalogue_;
  TModelParameters p_, shipped_;
  std::unique_ptr<TWaveform> waveform_;
  HeaderGrid grid_;
  Lcg32 rng_;
  std::unique_ptr<MovieFrameStore> movie_;  // made by the first Hazard
};

TEST_F(ProtectedRunTest, SampleCountAndHeaderRows) {
  // Samples, location predicted, microphone location of the record, count after, header row 3.
  const std::tuple<std::int32_t, int, int, std::int32_t, const char*> cases[] = {
      {1100, kProtectedAtEntrance, 1, 2048, "2"}, {1100, kProtectedAtEardrum, 5, 2048, "1"}};
  for (const auto& [samples, location, mic, count, row3] : cases) {
    Reopen();
    waveform_->LastSampleIndex = samples - 1;
    waveform_->MicLocation = mic;
    grid_.ClearRow(20);
    Run("FOAM EARPLUG", location);
    const TWaveform& w = *waveform_;
    EXPECT_EQ(w.Count(), count);
    const auto zero = [](float v) { return v == 0.0f; };  // the padding
    EXPECT_TRUE(std::all_of(w.Samples.begin() + samples, w.Samples.begin() + count, zero));
    EXPECT_TRUE(std::all_of(w.WorkSamples.begin() + samples, w.WorkSamples.begin() + count, zero));
    EXPECT_NE(w.WorkSamples[samples / 2], 0.0f);
    EXPECT_EQ(std::tie(grid_.HeaderLastRow, grid_.Cell(1, 3), grid_.Cell(1, 4)),
              std::tuple(29, row3, std::to_string(count)));
    EXPECT_EQ(grid_.Cell(2, 3), "1: Free-field, 2: Ear-canal entrance, 3: Eardrum");
  }
}

TEST_F(ProtectedRunTest, RefusesWhatItCannotRun) {
  const std::string before = TempFolder::Read(catalogue_);
  EXPECT_THAT(MessageOf([&] { Run("PASSIVE EARMUFF", 1); }), ::testing::HasSubstr("location 1"));
  EXPECT_THAT(MessageOf([&] { Run("PASSIVE EARMUFF", kProtectedAtEardrum, 400); }),
              ::testing::HasSubstr("400"));
  fs::remove(
      ResolveInFolder(data_.Path(), "Dat\\Hearing Protectors\\Seed_REAT_Values_Earmuff.txt"));
  EXPECT_THAT(MessageOf([&] { Run("PASSIVE EARMUFF"); }),
              ::testing::HasSubstr("Seed_REAT_Values_Earmuff"));
  EXPECT_EQ(TempFolder::Read(catalogue_), before);
  EXPECT_EQ(waveform_->Count(), 8192);
}

// Without an angle the prediction takes the parameter file's incidence, the one the unprotected
// analysis runs (here not the shipped one); an angle chosen by the user holds for its run only.
TEST_F(ProtectedRunTest, DefaultIncidenceIsTheUnprotectedAnalysisOne) {
  const fs::path file = ResolveInFolder(data_.Path(), "HUMANEAR.PRM");
  std::string text = TempFolder::Read(file);
  text.replace(0, text.find(' ', text.find('\n', text.find('\n') + 1)), "1.0\n0.0\n1.5");
  std::ofstream(file, std::ios::binary) << text;
  LoadModelParameters(file, p_);
  DeriveModelConstants(p_);
  const TModelParameters loaded = p_;
  const std::tuple<std::optional<int>, float, const char*> cases[] = {
      {std::nullopt, 1.5f, "RIFLE160_FOAM EARPLUG_30.ORV"},
      {90, 2.0f, "RIFLE160_FOAM EARPLUG_90.ORV"},
      {std::nullopt, 1.5f, "RIFLE160_FOAM EARPLUG_30.ORV"}};
  for (const auto& [angle, gain, name] : cases) {
    Reopen();
    p_ = loaded;
    EXPECT_EQ(Run("FOAM EARPLUG", kProtectedAtEardrum, angle).OutputName, name);
    EXPECT_EQ(p_.CanalSourceGain, gain) << name;
  }
}

// The catalogue's pairs are no more hazardous than the better part alone, for both listeners; the
// passive earmuff takes the unwarned hazard far below the unprotected one.
TEST_F(ProtectedRunTest, APairIsNoMoreHazardousThanItsBetterPart) {
  const float unprotected = Hazard(1, Listener::Unwarned);
  const std::array<std::string, 3> pairs[] = {
      {"EARPLUG PLUS EARMUFF", "FOAM EARPLUG 2", "PASSIVE EARMUFF"},
      {"PREMOLDED EARPLUG PLUS EARMUFF", "PREMOLDED EARPLUG", "PASSIVE EARMUFF"}};
  for (const auto& names : pairs) {
    std::array<std::array<float, 2>, 3> hazard{};  // [protector][warned, unwarned]
    for (std::size_t i = 0; i < names.size(); ++i) {
      Reopen();  // the prediction at the eardrum replaces the samples
      Run(names[i]);
      TWaveform& w = *waveform_;
      std::copy(w.WorkSamples.begin(), w.WorkSamples.begin() + w.Count(), w.Samples.begin());
      hazard[i] = {Hazard(3, Listener::Warned), Hazard(3, Listener::Unwarned)};
      EXPECT_GT(hazard[i][0], 0.0f) << names[i];
    }
    for (int l = 0; l < 2; ++l)
      EXPECT_LE(hazard[0][l], std::min(hazard[1][l], hazard[2][l]))
          << names[0] << " listener " << l;
    EXPECT_LT(hazard[2][1], 0.1f * unprotected) << unprotected << " ARU unprotected";
  }
}

}  // namespace
}  // namespace orvek

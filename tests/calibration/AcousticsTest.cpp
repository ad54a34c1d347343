#include <gtest/gtest.h>

#include <cmath>

#include "model/EarResponse.h"
#include "tests/calibration/ShippedParameters.h"
#include "tools/calibration/Acoustics.h"

namespace orvek {
namespace {

const std::vector<TargetRow>& Rows() {
  static const std::vector<TargetRow> rows = AcousticTargets(Parameters());
  return rows;
}

// What each target must show: every row inside its own tolerance, or, where the network cannot
// meet the target, a largest deviation no worse than the fit reaches (plus 0.3 dB).
struct Expectation {
  const char* Target;
  std::size_t RowCount;
  double WorstDeviation;  // 0: every row passes
};
constexpr Expectation kExpectations[] = {
    {"analyses run at the incidence of the TFOE", 1, 0},
    // The best the network reaches with the eardrum held: 6.3 dB at 3.15 and 6.3 kHz.
    {"free field -> canal entrance, 90 deg", 17, 6.6},
    {"free field -> eardrum, 90 deg: canal resonance", 1, 0},
    {"free field -> eardrum, 90 deg model vs frontal table", 16, 0},
    {"eardrum -> stapes displacement", 7, 0},
    {"eardrum -> stapes velocity", 1, 0},
    {"warned stapes reduction", 2, 0},
    {"unwarned reflex latency", 1, 0},
    {"muscle contraction time constant", 1, 0},
};

TEST(AcousticTargets, EveryTargetHolds) {
  std::size_t total = 0;
  for (const Expectation& e : kExpectations) {
    SCOPED_TRACE(e.Target);
    std::size_t count = 0;
    double worst = 0.0;
    for (const TargetRow& row : Rows()) {
      if (row.Target != e.Target) continue;
      ++count;
      EXPECT_FALSE(row.Source.empty());
      if (e.WorstDeviation == 0) {
        EXPECT_TRUE(row.Pass()) << row.Condition << ": model " << row.Model << " " << row.Unit
                                << ", reference " << row.Reference << " +- " << row.Tolerance;
      } else {
        worst = std::max(worst, std::abs(row.Model - row.Reference));
      }
    }
    EXPECT_EQ(count, e.RowCount);
    EXPECT_LE(worst, e.WorstDeviation);
    total += count;
  }
  EXPECT_EQ(total, Rows().size()) << "a target without an expectation";
}

// Well below the head and canal resonances the ear does not disturb the free field: both pressure
// transfers tend to 0 dB.
TEST(AcousticPhysics, PressureTransfersTendToUnityAtLowFrequency) {
  for (const ResponseTap tap : {ResponseTap::Entrance, ResponseTap::Eardrum}) {
    const std::vector<ResponseRow> rows = EarResponse(Parameters(), tap, 1, false, {100.0});
    EXPECT_NEAR(rows[0].Db, 0.0, 0.3) << (tap == ResponseTap::Entrance ? "entrance" : "eardrum");
  }
}

// The file carries what the fit derives from it (the fit starts from fixed values, so it does not
// depend on the fitted values it replaces).
TEST(AcousticFit, ShippedFileCarriesTheFittedValues) {
  const TModelParameters& file = Parameters();
  TModelParameters p = file;
  ExpectFitted(FitAcoustics(p),
               {{"HeadResistance", file.HeadResistance},
                {"HeadMass", file.HeadMass},
                {"CanalHornLength", file.CanalHornLength},
                {"CanalEntranceArea", file.CanalEntranceArea}},
               0.01);
}

}  // namespace
}  // namespace orvek

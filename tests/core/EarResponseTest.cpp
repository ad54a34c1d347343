#include "model/EarResponse.h"

#include <cmath>

#include <gmock/gmock.h>

#include "ErrorMessage.h"
#include "ShippedParameters.h"

namespace orvek {
namespace {

using test::ShippedParameters;

// The canal is acoustically small at 100 Hz: the pressures there are the free-field pressure,
// and the transfer does not depend on the sampling rate the model runs at.
TEST(EarResponse, PressuresTendToTheFreeFieldAtLowFrequencyAtAnyRate) {
  const TModelParameters p = ShippedParameters();
  for (const ResponseTap tap : {ResponseTap::Eardrum, ResponseTap::Entrance})
    for (const double rate : {48000.0, 200000.0}) {
      const auto rows = EarResponse(p, tap, 1, false, {100.0, 2000.0}, rate, 1 << 14);
      EXPECT_NEAR(rows[0].Db, 0.0, 0.5) << rate;
      EXPECT_NEAR(rows[0].Magnitude, std::pow(10.0, rows[0].Db / 20), 1e-12);
    }
  const auto at48 = EarResponse(p, ResponseTap::Eardrum, 1, false, {2000.0}, 48000.0, 1 << 14);
  const auto at200 = EarResponse(p, ResponseTap::Eardrum, 1, false, {2000.0}, 200000.0, 1 << 15);
  EXPECT_NEAR(at48[0].Db, at200[0].Db, 0.3);
}

TEST(EarResponse, RefusesWhatHasNoResponse) {
  const TModelParameters p = ShippedParameters();
  EXPECT_THAT(MessageOf([&] { EarResponse(p, ResponseTap::Stapes, 4, false, {1000.0}); }),
              ::testing::HasSubstr("location"));
  MessageOf([&] { EarResponse(p, ResponseTap::Stapes, 1, false, {1000.0}, 0.0); });
  MessageOf([&] { EarResponse(p, ResponseTap::Stapes, 1, false, {1000.0}, 200000.0, 2); });
}

}  // namespace
}  // namespace orvek

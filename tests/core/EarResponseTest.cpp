#include "model/EarResponse.h"

#include <cmath>

#include <gmock/gmock.h>

#include "ErrorMessage.h"
#include "ShippedParameters.h"

namespace orvek {
namespace {

using test::ShippedParameters;

TEST(EarResponse, RefusesWhatHasNoResponse) {
  const TModelParameters p = ShippedParameters();
  EXPECT_THAT(MessageOf([&] { EarResponse(p, ResponseTap::Stapes, 4, false, {1000.0}); }),
              ::testing::HasSubstr("location"));
  MessageOf([&] { EarResponse(p, ResponseTap::Stapes, 1, false, {1000.0}, 0.0); });
  MessageOf([&] { EarResponse(p, ResponseTap::Stapes, 1, false, {1000.0}, 200000.0, 2); });
}

}  // namespace
}  // namespace orvek

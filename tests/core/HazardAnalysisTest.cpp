// What the analysis reports and what it refuses before computing.
#include "model/HazardAnalysis.h"

#include <gmock/gmock.h>

#include <cmath>
#include <string>
#include <tuple>

#include "ErrorMessage.h"
#include "base/FileNames.h"
#include "base/OrvekError.h"

namespace orvek {
namespace {

TEST(HazardAnalysis, HazardAndAllowedTexts) {
  const std::tuple<float, const char*, const char*> cases[] = {
      {2.5f, "2.500", "200.0"},     {0.25f, "0.2500", "2000.0"}, {12.5f, "12.50", "40.0"},
      {500.0f, "500.0", "1.0"},     {1000.0f, "1000", "0.5"},    {123456.0f, "123456", "0.0"},
      {0.0f, "0.0000", "unlimited"}};
  for (const auto& [hazard, aru, allowed] : cases) {
    EXPECT_EQ(AruText(hazard), aru) << hazard;
    EXPECT_EQ(AllowedText(hazard), allowed) << hazard;
  }
}

TEST(HazardAnalysis, MicrophoneCodeIsAWholeNumberFromOneToFour) {
  const std::pair<const char*, int> accepted[] = {{"1", 1}, {" 2 ", 2}, {"3 ", 3}, {"4", 4}};
  const char* refused[] = {"0", "5", "7 ", "1.0", "", "free"};
  HeaderGrid grid;
  for (const auto& [text, code] : accepted) {
    grid.SetCell(1, 3, text);
    EXPECT_EQ(MicrophoneCode(grid), code) << text;
  }
  for (const char* text : refused) {
    grid.SetCell(1, 3, text);
    EXPECT_THAT(MessageOf([&] { MicrophoneCode(grid); }),
                ::testing::HasSubstr("microphone location"))
        << text;
  }
}

TEST(HazardAnalysis, RefusesWhatTheModelCannotHold) {
  // microphone, places, buffer samples, last sample index, what the refusal names ("" accepted)
  const std::tuple<int, int, int, int, const char*> cases[] = {
      {1, 23, 4096, 4095, ""},          {9, 23, 4096, 4095, "microphone"},
      {1, 0, 4096, 4095, "line 59"},    {1, 24, 4096, 4095, "line 59"},
      {1, 1, 4096, 3000, ""},      // 3001 samples need a transform of 4096: still inside
      {1, 1, 6000, 5999, "8192"},  // 8192 would not fit the buffers
      {1, 1, 6000, 0, "fewer than two"}};
  for (const auto& [mic, places, size, last, refusal] : cases) {
    TModelParameters p;
    p.PlaceCount = places;
    TWaveform waveform(size);
    waveform.LastSampleIndex = last;
    std::string message;
    try {
      CheckHazardInputs(mic, waveform, p);
    } catch (const OrvekError& e) {
      message = e.what();
    }
    EXPECT_EQ(message.empty(), *refusal == '\0') << message;
    EXPECT_THAT(message, ::testing::HasSubstr(refusal));
  }
}

// The result says when the free-field peak is above 140 dB and when the stapes came within 5 % of
// the ceiling of its nonlinearity, 11 um sqrt((2 / 1.5)^2 - 1) = 9.70 um with NonlinScale 11,
// NonlinRest 0.5 and NonlinLimit 1.
TEST(HazardAnalysis, ResultSaysWhereItStands) {
  TModelParameters p;
  p.NonlinScale = 11.0f, p.NonlinRest = 0.5f, p.NonlinLimit = 1.0f;
  const double ceiling = 11.0 * std::sqrt(16.0 / 9.0 - 1.0);
  EXPECT_NEAR(StapesCeilingUm(p), ceiling, 1e-5);
  const std::string peak = "peak above the 140 dB limit, no unprotected exposure allowed";
  const std::string limit = "stapes at its movement limit, hazard may not rise with level";
  // microphone, peak (200 Pa is 140 dB), stapes against its ceiling, flags
  const std::tuple<int, float, double, std::string> cases[] = {
      {1, 198.0f, 0.94, ""},
      {1, 202.0f, 0.94, peak},
      {4, -202.0f, 0.96, peak + "; " + limit},
      {3, 2000.0f, 0.96, limit}};  // not a free-field peak
  for (const auto& [mic, peakPa, share, flags] : cases) {
    const float pressure[] = {0.0f, peakPa, 1.0f};
    const float stapes[] = {0.0f, 0.1f, -static_cast<float>(share * ceiling)};
    const HazardValidity v = AssessHazard(pressure, stapes, 2, mic, p);
    EXPECT_NEAR(v.PeakDb, 20 * std::log10(std::abs(double{peakPa})) + 94, 1e-9) << peakPa;
    EXPECT_EQ(ValidityFlags(v), flags);
    // The long notes, one per flag.
    EXPECT_EQ(ValidityNotes(v).size(), std::size_t{v.AbovePeakLimit} + v.StapesAtCeiling);
  }
  // A rest point at the limit leaves the stapes no room: it is at its ceiling from rest.
  p.NonlinRest = 1.0f;
  EXPECT_EQ(StapesCeilingUm(p), 0.0);
}

}  // namespace
}  // namespace orvek

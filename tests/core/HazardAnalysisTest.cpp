// What the analysis reports and what it refuses before computing.
#include "model/HazardAnalysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "ErrorMessage.h"
#include "base/FileNames.h"

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
  EXPECT_FALSE(AllowedExposures(0.0f).has_value());
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
    EXPECT_NE(MessageOf([&] { MicrophoneCode(grid); }).find("microphone location"),
              std::string::npos)
        << text;
  }
}

TEST(HazardAnalysis, RefusesWhatTheModelCannotHold) {
  TModelParameters p;
  p.PlaceCount = 23;
  TWaveform waveform(4096);
  waveform.LastSampleIndex = 4095;
  EXPECT_NO_THROW(CheckHazardInputs(1, waveform, p));
  EXPECT_NE(MessageOf([&] { CheckHazardInputs(9, waveform, p); }).find("microphone"),
            std::string::npos);
  for (int places : {0, 24}) {
    p.PlaceCount = places;
    EXPECT_NE(MessageOf([&] { CheckHazardInputs(1, waveform, p); }).find("line 59"),
              std::string::npos)
        << places;
  }
  p.PlaceCount = 1;
  waveform.LastSampleIndex = 3000;  // 3001 samples need a transform of 4096: still inside
  EXPECT_NO_THROW(CheckHazardInputs(1, waveform, p));
  TWaveform longer(6000);
  longer.LastSampleIndex = 5999;  // 8192 would not fit the buffers
  EXPECT_NE(MessageOf([&] { CheckHazardInputs(1, longer, p); }).find("8192"), std::string::npos);
  longer.LastSampleIndex = 0;
  EXPECT_NE(MessageOf([&] { CheckHazardInputs(1, longer, p); }).find("fewer than two"),
            std::string::npos);
}

// The result says when the free-field peak is above 140 dB and when the stapes came within 5 % of
// the ceiling of its nonlinearity, 11 um sqrt((2 / 1.5)^2 - 1) = 9.70 um with NonlinScale 11,
// NonlinRest 0.5 and NonlinLimit 1.
TEST(HazardAnalysis, ResultSaysWhereItStands) {
  TModelParameters p;
  p.NonlinScale = 11.0f, p.NonlinRest = 0.5f, p.NonlinLimit = 1.0f;
  const double ceiling = 11.0 * std::sqrt(16.0 / 9.0 - 1.0);
  EXPECT_NEAR(StapesCeilingUm(p), ceiling, 1e-5);
  struct Case {
    int Mic;
    float PeakPa;  // 200 Pa is 140 dB
    double StapesShare;
    std::string Flags;
  };
  const std::string peak = "peak above the 140 dB limit, no unprotected exposure allowed";
  const std::string limit = "stapes at its movement limit, hazard may not rise with level";
  const Case cases[] = {{1, 198.0f, 0.94, ""},
                        {1, 202.0f, 0.94, peak},
                        {4, -202.0f, 0.96, peak + "; " + limit},
                        {3, 2000.0f, 0.96, limit}};  // not a free-field peak
  for (const Case& c : cases) {
    const float pressure[] = {0.0f, c.PeakPa, 1.0f};
    const float stapes[] = {0.0f, 0.1f, -static_cast<float>(c.StapesShare * ceiling)};
    const HazardValidity v = AssessHazard(pressure, stapes, 2, c.Mic, p);
    SCOPED_TRACE(std::to_string(c.Mic) + ", " + std::to_string(c.PeakPa) + " Pa");
    EXPECT_NEAR(v.PeakDb, 20 * std::log10(std::abs(double{c.PeakPa})) + 94, 1e-9);
    EXPECT_EQ(ValidityFlags(v), c.Flags);
    std::string notes;  // the long notes say the same as the flags
    for (const std::string& note : ValidityNotes(v)) notes += note + "\n";
    EXPECT_EQ(notes.find("no unprotected exposure") != std::string::npos,
              c.Flags.starts_with(peak));
    EXPECT_EQ(notes.find("movement limit") != std::string::npos, c.Flags.ends_with(limit));
  }
  // A rest point at the limit leaves the stapes no room: it is at its ceiling from rest.
  p.NonlinRest = 1.0f;
  EXPECT_EQ(StapesCeilingUm(p), 0.0);
}

}  // namespace
}  // namespace orvek

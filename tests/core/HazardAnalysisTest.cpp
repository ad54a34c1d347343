// What the analysis reports and what it refuses before computing.
#include "model/HazardAnalysis.h"

#include <gtest/gtest.h>

#include "ErrorMessage.h"
#include "base/FileNames.h"

namespace orvek {
namespace {

TEST(HazardAnalysis, HazardAndAllowedTexts) {
  struct Case {
    float hazard;
    const char* aru;
    const char* allowed;
  };
  const Case cases[] = {
      {2.5f, "2.500", "200.0"},     {0.25f, "0.2500", "2000.0"},   {0.5f, "0.5000", "1000.0"},
      {12.5f, "12.50", "40.0"},     {500.0f, "500.0", "1.0"},      {1000.0f, "1000", "0.5"},
      {123456.0f, "123456", "0.0"}, {0.0f, "0.0000", "unlimited"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AruText(c.hazard), c.aru) << c.hazard;
    EXPECT_EQ(AllowedText(c.hazard), c.allowed) << c.hazard;
  }
  EXPECT_FALSE(AllowedExposures(0.0f).has_value());
  EXPECT_DOUBLE_EQ(*AllowedExposures(5.0f), 100.0);
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

}  // namespace
}  // namespace orvek

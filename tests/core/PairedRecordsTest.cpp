#include "metrics/PairedRecords.h"

#include <gtest/gtest.h>

#include "ErrorMessage.h"

namespace orvek {
namespace {

// A ramp record: sample i holds i, at 1 kHz (1 ms per sample), 0..99 ms.
TWaveform Ramp(std::int32_t count = 100) {
  TWaveform w(256);
  for (std::int32_t i = 0; i < count; ++i) w.Samples[i] = static_cast<float>(i);
  w.LastSampleIndex = count - 1;
  w.SampleInterval = 0.001f;
  w.TimeStart = 0.0f;
  w.TimeEnd = (count - 1) * 0.001f;
  return w;
}

TEST(PairedRecords, TheEarRecordIsCutToTheFreeFieldWindow) {
  const struct {
    const char* Name;
    float WindowStart, WindowEnd;  // s
    float First;                   // value (= index) of the first sample kept
    std::int32_t Last;             // LastSampleIndex after the cut
    float TimeStart, TimeEnd;
  } cases[] = {
      {"inside", 0.010f, 0.060f, 10, 50, 0.010f, 0.060f},
      {"end beyond the record", 0.010f, 0.500f, 10, 89, 0.010f, 0.099f},
      {"start beyond the record: collapses to its start", 0.200f, 0.300f, 0, 0, 0.0f, 0.0f},
      {"start before the record", -0.001f, 0.050f, 0, 0, 0.0f, 0.0f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TWaveform w = Ramp();
    CutToComparisonWindow(w, c.WindowStart, c.WindowEnd);
    EXPECT_EQ(w.Samples[0], c.First);
    EXPECT_EQ(w.LastSampleIndex, c.Last);
    EXPECT_EQ(w.Samples[w.LastSampleIndex], c.First + c.Last);  // a contiguous stretch
    EXPECT_FLOAT_EQ(w.TimeStart, c.TimeStart);
    EXPECT_FLOAT_EQ(w.TimeEnd, c.TimeEnd);
  }
}

TEST(PairedRecords, RecordsAtDifferentRatesAreRefusedNamingBoth) {
  TWaveform freeField = Ramp(), ear = Ramp();
  freeField.SampleRate = 200000.0f;
  ear.SampleRate = 100000.0f;
  ear.SampleInterval = 1e-5f;
  const std::string message =
      MessageOf([&] { RequireSameRate(freeField, ear, "FF.ORV", "EAR.ORV"); });
  for (const char* part : {"\"FF.ORV\" is sampled at 200000 samples/s", "\"EAR.ORV\" at 100000"})
    EXPECT_NE(message.find(part), std::string::npos) << message;
  ear.SampleInterval = freeField.SampleInterval;
  EXPECT_NO_THROW(RequireSameRate(freeField, ear, "FF.ORV", "EAR.ORV"));
}

}  // namespace
}  // namespace orvek

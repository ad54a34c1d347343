#include "metrics/PairedRecords.h"

#include <gmock/gmock.h>

#include "ErrorMessage.h"

namespace orvek {
namespace {

// A ramp record: sample i holds i, at 1 kHz (1 ms per sample), 0..99 ms.
TWaveform Ramp(std::int32_t count = 100) {
  TWaveform w(256);
  for (std::int32_t i = 0; i < count; ++i) w.Samples[i] = static_cast<float>(i);
  w.LastSampleIndex = count - 1;
  w.SampleInterval = 0.001f;
  w.TimeEnd = (count - 1) * 0.001f;
  return w;
}

TEST(PairedRecords, TheEarRecordIsCutToTheFreeFieldWindow) {
  // Window (s) inside, ending beyond the record, starting beyond it (collapses to its start) and
  // before it; the first sample kept (value = index), the last index after the cut, the time end.
  const std::tuple<float, float, float, std::int32_t, float> cases[] = {
      {0.010f, 0.060f, 10, 50, 0.060f},
      {0.010f, 0.500f, 10, 89, 0.099f},
      {0.200f, 0.300f, 0, 0, 0.0f},
      {-0.001f, 0.050f, 0, 0, 0.0f}};
  for (const auto& [start, end, first, last, timeEnd] : cases) {
    TWaveform w = Ramp();
    CutToComparisonWindow(w, start, end);
    EXPECT_EQ(std::tie(w.Samples[0], w.LastSampleIndex), std::tie(first, last)) << start;
    EXPECT_EQ(w.Samples[w.LastSampleIndex], first + last);  // a contiguous stretch
    EXPECT_FLOAT_EQ(w.TimeStart, first * 0.001f);
    EXPECT_FLOAT_EQ(w.TimeEnd, timeEnd);
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
    EXPECT_THAT(message, ::testing::HasSubstr(part));
  ear.SampleInterval = freeField.SampleInterval;
  EXPECT_NO_THROW(RequireSameRate(freeField, ear, "FF.ORV", "EAR.ORV"));
}

}  // namespace
}  // namespace orvek

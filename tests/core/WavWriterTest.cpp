#include <gmock/gmock.h>
#include <sndfile.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <tuple>
#include <vector>

#include "ErrorMessage.h"
#include "TempFolder.h"
#include "waveform/WavWriter.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

TWaveform Record(const std::vector<float>& values, float rate) {
  TWaveform w(64);
  std::copy(values.begin(), values.end(), w.Samples.begin());
  w.LastSampleIndex = static_cast<std::int32_t>(values.size()) - 1;
  w.SampleRate = rate;
  return w;
}

TEST(WavWriter, ReadsBackBitForBitWithRateAndTitle) {
  const TempFolder folder;
  const std::vector<float> values = {0.0f,    -0.0f,        1.0f / 3, -3981.0717f,
                                     FLT_MIN, FLT_TRUE_MIN, 1e30f,    -1e-30f};
  // Rate (samples/s), written rate (halves to even), title.
  const std::tuple<float, int, const char*> cases[] = {
      {44100.5f, 44100, "Blast at 5 m"}, {44101.5f, 44102, "Rifle, left ear"}, {1.0f, 1, ""}};
  for (const auto& [rate, written, title] : cases) {
    const fs::path file = folder.Path() / "OUT.WAV";
    SaveWavFile(file, Record(values, rate), title, {});
    SF_INFO info{};
    SNDFILE* sound = sf_open(file.string().c_str(), SFM_READ, &info);
    ASSERT_NE(sound, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(std::tie(info.channels, info.samplerate, info.frames),
              std::tuple(1, written, static_cast<sf_count_t>(values.size())));
    const char* stored = sf_get_string(sound, SF_STR_TITLE);
    EXPECT_STREQ(stored ? stored : "", title);
    std::vector<float> read(values.size() + 1);
    EXPECT_EQ(sf_readf_float(sound, read.data(), read.size()), values.size());
    EXPECT_EQ(std::memcmp(read.data(), values.data(), values.size() * sizeof(float)), 0);
    sf_close(sound);
  }
}

// The folder and file failures every writer shares are in SafeWriteTest.
TEST(WavWriter, RecordsTheFormatCannotHoldAreRefused) {
  const TempFolder folder;
  const auto kept = folder.Write("KEPT.WAV", "old contents");
  // What the message names, samples, rate.
  const std::tuple<const char*, std::vector<float>, float> cases[] = {
      {"Sample 1 ", {1, INFINITY}, 1000},
      {"Sample 2 ", {1, 2, NAN}, 1000},
      {"no samples", {}, 1000},
      {"sampling rate", {1, 2}, 0.4f}};
  for (const auto& [fragment, values, rate] : cases) {
    const std::string message =
        MessageOf([&] { SaveWavFile(kept, Record(values, rate), "t", {}); });
    EXPECT_THAT(message, ::testing::HasSubstr(kept.string()));
    EXPECT_THAT(message, ::testing::HasSubstr(fragment));
  }
  EXPECT_EQ(TempFolder::Read(kept), "old contents");
  EXPECT_EQ(folder.EntryCount(), 1);
}

}  // namespace
}  // namespace orvek

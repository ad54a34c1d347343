// Every file the program writes, under the failures a user meets: the earlier file must survive
// byte for byte, no temporary file may be left behind, and the message must name the file.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "ErrorMessage.h"
#include "TempFolder.h"
#include "cli/BatchCommand.h"
#include "metrics/BandComparison.h"
#include "metrics/Leq300Spectrum.h"
#include "model/CochlearModel.h"
#include "protection/ProtectedWaveform.h"
#include "protection/ProtectorCatalogue.h"
#include "waveform/OrvFile.h"
#include "waveform/WavWriter.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

constexpr std::int32_t kCount = 256;
constexpr float kDt = 1.0f / 20000.0f;

// A decaying 1 kHz tone of 256 samples (Pa; also the stapes displacement in um of the hazard run).
std::vector<float> Tone() {
  std::vector<float> x(kCount);
  for (std::int32_t i = 0; i < kCount; ++i)
    x[i] = static_cast<float>(200.0 * std::exp(-i / 50.0) * std::sin(0.1 * 3.14159265 * i));
  return x;
}

struct Recording {
  std::unique_ptr<TWaveform> Waveform = std::make_unique<TWaveform>(2 * kCount);
  HeaderGrid Grid;
};

Recording MakeRecording() {
  Recording r;
  const std::vector<float> tone = Tone();
  std::copy(tone.begin(), tone.end(), r.Waveform->Samples.begin());
  std::copy(tone.begin(), tone.end(), r.Waveform->WorkSamples.begin());
  r.Waveform->LastSampleIndex = kCount - 1;
  r.Waveform->SampleRate = 1.0f / kDt;
  r.Waveform->SampleInterval = kDt;
  FillDefaultHeader(r.Grid);
  return r;
}

void WriteHazardTable(const fs::path& file) {
  TModelParameters p;
  LoadModelParameters(fs::path(ORVEK_DATA_DIR) / "HUMANEAR.PRM", p);
  DeriveModelConstants(p);
  std::vector<float> pressure = Tone(), stapes = Tone();
  auto movie = std::make_unique<MovieFrameStore>();
  const CochlearResult result = CochlearModel(pressure.data(), stapes.data(), kCount - 1, kDt,
                                              200.0f, -200.0f, p, *movie, file, 1);
  if (result.HazardFileError) throw OrvekError(*result.HazardFileError);
}

std::vector<ordered_json> BatchRows() {
  return {{{"file", "SHOT.ORV"},
           {"aru_warned", 1.5},
           {"aru_unwarned", 2.5},
           {"peak_level_db", 160.0},
           {"laeq8hr", 73.6},
           {"na", 13.9},
           {"peak_above_140_db", true},
           {"stapes_at_limit_warned", false},
           {"stapes_at_limit_unwarned", true},
           {"validity", "stapes at its movement limit (unwarned)"},
           {"error", nullptr}}};
}

std::string ShippedCatalogue() {
  return test::TempFolder::Read(fs::path(ORVEK_DATA_DIR) / "HPD Atten.txt");
}

struct Writer {
  std::string Name;     // of the file kind, for the test name
  std::string File;     // the name it is written under
  std::string Earlier;  // content of the file already there (the rewriting writers read it)
  std::function<void(const fs::path&)> Write;
};

const std::vector<Writer>& Writers() {
  static const std::vector<Writer> writers = {
      {"Orv", "SHOT.ORV", "earlier waveform\r\n",
       [](const fs::path& file) {
         Recording r = MakeRecording();
         SaveOrvFile(file, true, r.Grid, *r.Waveform);
       }},
      {"Wav", "SHOT.WAV", "earlier sound",
       [](const fs::path& file) { SaveWavFile(file, *MakeRecording().Waveform, "SHOT"); }},
      {"HazardTable", "SHOT.HAZ", "earlier hazard table\r\n", WriteHazardTable},
      {"BandSpectrum", "SHOT.TOB", "earlier spectrum\r\n",
       [](const fs::path& file) {
         const std::vector<float> tone = Tone();
         WriteTobFile(file, TobFileText(ComputeLeq300Spectrum(tone.data(), kCount, kDt)));
       }},
      {"TobResults", "TOB.txt", TobResultsHeader() + "\r\nearlier result\r\n",
       [](const fs::path& file) { AppendTobResults(file, "new result"); }},
      {"ProtectorCatalogue", "HPD Atten.txt", ShippedCatalogue(),
       [](const fs::path& file) {
         TCircuitValues values;
         values.Kcup = 1.0e6f;
         values.Lcup = 0.25f;
         StoreCircuitValues(file, 0, values);
       }},
      {"PredictedWaveform", "SHOT_FOAM.ORV", "earlier prediction\r\n",
       [](const fs::path& file) {
         const Recording r = MakeRecording();
         WriteProtectedWaveform(file, file.parent_path() / "SHOT.ORV", *r.Waveform, r.Grid);
       }},
      {"BatchCsv", "RESULTS.CSV", "earlier,rows\r\n",
       [](const fs::path& file) { cli::WriteBatchFile(file, cli::BatchCsv(BatchRows())); }},
      {"BatchJson", "RESULTS.JSON", "{\"earlier\": true}\n",
       [](const fs::path& file) {
         cli::WriteBatchFile(file, cli::BatchJson(BatchRows()).dump(2));
       }},
  };
  return writers;
}

// Lowers the largest file this process may write, so that a write stops part-way as on a full
// disk (EFBIG instead of ENOSPC); unlike permission bits, the limit binds an administrator too.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);  // the default action ends the process
    const rlimit limited{bytes, saved_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previous_)(int) = SIG_DFL;
};

enum class Failure {
  ReadOnlyFolder,   // refused up front: the writer checks the folder's permission bits itself
  DiskFullMidFile,  // the temporary file is created, then a write fails part-way
  NoTemporaryFile,  // the temporary file cannot be created (its name exceeds 255 bytes)
};

struct Case {
  const Writer* writer;
  Failure failure;
};

std::string FailureName(Failure failure) {
  switch (failure) {
    case Failure::ReadOnlyFolder:
      return "ReadOnlyFolder";
    case Failure::DiskFullMidFile:
      return "DiskFullMidFile";
    default:
      return "NoTemporaryFile";
  }
}

void PrintTo(const Case& c, std::ostream* out) {
  *out << c.writer->Name << " " << FailureName(c.failure);
}

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (const Writer& writer : Writers())
    for (const Failure failure :
         {Failure::ReadOnlyFolder, Failure::DiskFullMidFile, Failure::NoTemporaryFile})
      cases.push_back({&writer, failure});
  return cases;
}

class SafeWriteTest : public ::testing::TestWithParam<Case> {};

TEST_P(SafeWriteTest, FailureLeavesTheEarlierFileAndNamesIt) {
  const Writer& writer = *GetParam().writer;
  const Failure failure = GetParam().failure;
  test::TempFolder folder;
  // 250 bytes: the file itself can exist, the temporary name beside it (10 more) cannot.
  const std::string name = failure == Failure::NoTemporaryFile
                               ? std::string(250 - writer.File.size(), 'L') + writer.File
                               : writer.File;
  const fs::path file = folder.Write(name, writer.Earlier);
  std::string message, reason;
  switch (failure) {
    case Failure::ReadOnlyFolder:
      fs::permissions(folder.Path(),
                      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                      fs::perm_options::remove);
      message = MessageOf([&] { writer.Write(file); });
      reason = "read-only";
      break;
    case Failure::DiskFullMidFile: {
      const FileSizeLimit limit(16);
      message = MessageOf([&] { writer.Write(file); });
      reason = std::generic_category().message(EFBIG);
      break;
    }
    case Failure::NoTemporaryFile:
      message = MessageOf([&] { writer.Write(file); });
      reason = std::generic_category().message(ENAMETOOLONG);
      break;
  }
  EXPECT_NE(message.find("\"" + file.string() + "\""), std::string::npos) << message;
  EXPECT_NE(message.find(reason), std::string::npos) << message;
  EXPECT_EQ(test::TempFolder::Read(file), writer.Earlier);
  EXPECT_EQ(folder.EntryCount(), 1) << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(Writers, SafeWriteTest, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return info.param.writer->Name + "_" + FailureName(info.param.failure);
                         });

// The same calls succeed where nothing fails, so the failures above come from the trigger alone.
TEST(SafeWrite, EveryWriterReplacesTheEarlierFileWithoutLeftovers) {
  for (const Writer& writer : Writers()) {
    SCOPED_TRACE(writer.Name);
    test::TempFolder folder;
    const fs::path file = folder.Write(writer.File, writer.Earlier);
    EXPECT_NO_THROW(writer.Write(file));
    const std::string written = test::TempFolder::Read(file);
    EXPECT_NE(written, writer.Earlier);
    EXPECT_GT(written.size(), 16u) << "too short for the disk-full case to cut it";
    EXPECT_EQ(folder.EntryCount(), 1);
  }
}

}  // namespace
}  // namespace orvek

// Every file the program writes, under the failures a user meets: the earlier file must survive
// byte for byte, no temporary file may be left behind, and the message must name the file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <fstream>
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

void WriteHazardTable(const fs::path& file, const ReadFiles& reads) {
  TModelParameters p;
  LoadModelParameters(fs::path(ORVEK_DATA_DIR) / "HUMANEAR.PRM", p);
  DeriveModelConstants(p);
  std::vector<float> pressure = Tone(), stapes = Tone();
  auto movie = std::make_unique<MovieFrameStore>();
  const CochlearResult result = CochlearModel(pressure.data(), stapes.data(), kCount - 1, kDt,
                                              200.0f, -200.0f, p, *movie,
                                              OutputFile{file, reads}, 1);
  if (result.HazardFileError) throw OrvekError(*result.HazardFileError);
}

std::vector<ordered_json> BatchRows() {
  return {{{"file", "SHOT.ORV"},
           {"aru_warned", 1.5},
           {"aru_unwarned", 2.5},
           {"peak_level_db", 160.0},
           {"laeq8hr", 73.6},
           {"na", 13.9},
           {"error", nullptr}}};
}

std::string ShippedCatalogue() {
  return test::TempFolder::Read(fs::path(ORVEK_DATA_DIR) / "HPD Atten.txt");
}

struct Writer {
  std::string Name;     // of the file kind, for the test name
  std::string File;     // the name it is written under
  std::string Earlier;  // content of the file already there (the rewriting writers read it)
  std::function<void(const fs::path&, const ReadFiles&)> Write;
};

const std::vector<Writer>& Writers() {
  static const std::vector<Writer> writers = {
      {"Orv", "SHOT.ORV", "earlier waveform\r\n",
       [](const fs::path& file, const ReadFiles& reads) {
         Recording r = MakeRecording();
         SaveOrvFile(file, true, r.Grid, *r.Waveform, reads);
       }},
      {"Wav", "SHOT.WAV", "earlier sound",
       [](const fs::path& file, const ReadFiles& reads) {
         SaveWavFile(file, *MakeRecording().Waveform, "SHOT", reads);
       }},
      {"HazardTable", "SHOT.HAZ", "earlier hazard table\r\n", WriteHazardTable},
      {"BandSpectrum", "SHOT.TOB", "earlier spectrum\r\n",
       [](const fs::path& file, const ReadFiles& reads) {
         const std::vector<float> tone = Tone();
         WriteTobFile(file, TobFileText(ComputeLeq300Spectrum(tone.data(), kCount, kDt)), reads);
       }},
      {"TobResults", "TOB.txt", TobResultsHeader() + "\r\nearlier result\r\n",
       [](const fs::path& file, const ReadFiles& reads) {
         AppendTobResults(file, "new result", reads);
       }},
      {"ProtectorCatalogue", "HPD Atten.txt", ShippedCatalogue(),
       [](const fs::path& file, const ReadFiles& reads) {
         TCircuitValues values;
         values.Kcup = 1.0e6f;
         values.Lcup = 0.25f;
         StoreCircuitValues(file, 0, values, reads);
       }},
      {"PredictedWaveform", "SHOT_FOAM.ORV", "earlier prediction\r\n",
       [](const fs::path& file, const ReadFiles& reads) {
         const Recording r = MakeRecording();
         WriteProtectedWaveform(file, *r.Waveform, r.Grid, reads);
       }},
      {"BatchCsv", "RESULTS.CSV", "earlier,rows\r\n",
       [](const fs::path& file, const ReadFiles& reads) {
         cli::WriteBatchFile(file, cli::BatchCsv(BatchRows()), reads);
       }},
      {"BatchJson", "RESULTS.JSON", "{\"earlier\": true}\n",
       [](const fs::path& file, const ReadFiles& reads) {
         cli::WriteBatchFile(file, cli::BatchJson(BatchRows()).dump(2), reads);
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
  NoTemporaryFile,  // the temporary file cannot be named (its name exceeds 255 bytes)
  ReadByCommand,    // the target is a file the command reads, spelled another way
  Fifo,             // the target is a FIFO: renaming over it would replace the node
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
    case Failure::NoTemporaryFile:
      return "NoTemporaryFile";
    case Failure::ReadByCommand:
      return "ReadByCommand";
    default:
      return "Fifo";
  }
}

void PrintTo(const Case& c, std::ostream* out) {
  *out << c.writer->Name << " " << FailureName(c.failure);
}

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (const Writer& writer : Writers())
    for (const Failure failure : {Failure::ReadOnlyFolder, Failure::DiskFullMidFile,
                                  Failure::NoTemporaryFile, Failure::ReadByCommand, Failure::Fifo})
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
  const fs::path file = folder.Path() / name;
  if (failure == Failure::Fifo)
    ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
  else
    folder.Write(name, writer.Earlier);
  // Other files the command reads: only ReadByCommand names the target among them.
  ReadFiles reads = {folder.Path() / "input.ORV", folder.Path() / "." / "missing.PRM"};
  std::ofstream(reads[0]) << "input";
  std::string message, reason;
  switch (failure) {
    case Failure::ReadOnlyFolder:
      fs::permissions(folder.Path(),
                      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                      fs::perm_options::remove);
      message = MessageOf([&] { writer.Write(file, reads); });
      reason = "read-only";
      break;
    case Failure::DiskFullMidFile: {
      const FileSizeLimit limit(16);
      message = MessageOf([&] { writer.Write(file, reads); });
      reason = std::generic_category().message(EFBIG);
      break;
    }
    case Failure::NoTemporaryFile:
      message = MessageOf([&] { writer.Write(file, reads); });
      reason = std::generic_category().message(ENAMETOOLONG);
      break;
    case Failure::ReadByCommand:
      reads.push_back(folder.Path() / "." / name);
      message = MessageOf([&] { writer.Write(file, reads); });
      reason = "it is \"" + reads.back().string() + "\", which this command reads";
      break;
    case Failure::Fifo:
      message = MessageOf([&] { writer.Write(file, reads); });
      reason = "it is a FIFO (named pipe), not a regular file";
      break;
  }
  EXPECT_NE(message.find("\"" + file.string() + "\""), std::string::npos) << message;
  EXPECT_NE(message.find(reason), std::string::npos) << message;
  if (failure == Failure::Fifo)
    EXPECT_TRUE(fs::is_fifo(file)) << "the FIFO was replaced";
  else
    EXPECT_EQ(test::TempFolder::Read(file), writer.Earlier);
  EXPECT_EQ(test::TempFolder::Read(reads[0]), "input");
  EXPECT_EQ(folder.EntryCount(), 2) << "a temporary file was left behind";
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
    EXPECT_NO_THROW(writer.Write(file, {folder.Path() / "input.ORV"}));
    const std::string written = test::TempFolder::Read(file);
    EXPECT_NE(written, writer.Earlier);
    EXPECT_GT(written.size(), 16u) << "too short for the disk-full case to cut it";
    EXPECT_EQ(folder.EntryCount(), 1);
  }
}

// Devices are refused before anything is opened; checked without a write, since an administrator's
// rename would replace the real node if the check failed.
TEST(SafeWrite, DevicesAndEmptyNamesAreNoTargets) {
  const std::pair<fs::path, const char*> cases[] = {
      {"/dev/null", "it is a character device, not a regular file"},
      {"", "no file name was given"},
      {"/tmp/", "no file name was given"},
  };
  for (const auto& [target, reason] : cases)
    EXPECT_EQ(WriteTargetProblem(target, {}).value_or("accepted"), reason) << target;
}

// A process stopped by SIGINT or SIGTERM while it writes leaves no temporary file: the file has
// no name until it is complete.
TEST(SafeWrite, AKilledWriterLeavesNothingBehind) {
  const std::string text(256u << 20, 'x');
  for (const int signal : {SIGINT, SIGTERM}) {
    test::TempFolder folder;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      WriteFileReplacing(folder.Path() / "LARGE.ORV", text, {});
      _exit(0);
    }
    // Wait until the child holds a file of the folder open, i.e. is writing it.
    const std::string descriptors = "/proc/" + std::to_string(child) + "/fd";
    bool writing = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!writing && std::chrono::steady_clock::now() < deadline) {
      std::error_code ignored;
      for (fs::directory_iterator it(descriptors, ignored), end; !ignored && it != end;
           it.increment(ignored))
        writing |= fs::read_symlink(it->path(), ignored).string().starts_with(
            folder.Path().string() + "/");
    }
    kill(child, signal);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(writing) << "the child never wrote";
    EXPECT_TRUE(WIFSIGNALED(status)) << "the write ended before the signal";
    EXPECT_EQ(folder.EntryCount(), 0) << "signal " << signal;
  }
}

}  // namespace
}  // namespace orvek

#include <gmock/gmock.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>

#include "ErrorMessage.h"
#include "TempFolder.h"
#include "base/FileNames.h"
#include "base/UserData.h"
#include "model/ModelParameters.h"
#include "protection/ProtectorCatalogue.h"
#include "waveform/ImportReader.h"
#include "waveform/OrvFile.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;

TEST(FileNames, ResolvesEachComponentIgnoringCase) {
  const test::TempFolder folder;
  const fs::path root = folder.Path(), protectors = root / "Dat" / "Hearing Protectors";
  fs::create_directories(protectors);
  std::ofstream(protectors / "Seed_REAT_Values_Earmuff.txt") << "x";
  std::ofstream(root / "a.orv") << "lower";
  std::ofstream(root / "A.ORV") << "upper";
  const std::pair<const char*, fs::path> cases[] = {
      {"DAT\\hearing protectors\\SEED_reat_values_earmuff.TXT",
       protectors / "Seed_REAT_Values_Earmuff.txt"},
      {"dat/Hearing Protectors/", protectors},
      {"A.ORV", root / "A.ORV"},  // an exact match wins
      {"a.orv", root / "a.orv"},
      {"A.orv", root / "A.ORV"},  // otherwise the smallest name
      {"DAT\\missing\\X.TXT", root / "Dat" / "missing" / "X.TXT"},
      {"Nothing.txt", root / "Nothing.txt"},
  };
  for (const auto& [name, expected] : cases)
    EXPECT_EQ(ResolveInFolder(root, name), expected) << name;
}

TEST(FileNames, BaseNameAndExtensionTag) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"/x/y.z/Run2.Dat.orv", "RUN2.DAT", ".ORV"},
      {"blast_2.5m.ORV", "BLAST_2.5M", ".ORV"},
      {"shot.wavefile", "SHOT", ".WAV"},
      {"noext", "NOEXT", ""},
      {"a.b.tx", "A.B", ".TX"},
      {"M\xe4nner.orv", "M\xe4NNER", ".ORV"}};
  for (const auto& [file, base, tag] : cases) {
    EXPECT_EQ(UpperBaseName(file), base) << file;
    EXPECT_EQ(ExtensionTag(file), tag) << file;
  }
}

TEST(FileNames, FolderWritableLeavesNoProbeFile) {
  const test::TempFolder folder;
  std::ofstream(folder.Path() / "file.txt") << "x";
  fs::create_directory(folder.Path() / "locked");
  fs::permissions(folder.Path() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_TRUE(FolderWritable(folder.Path()));
  for (const char* notWritable : {"missing", "file.txt", "locked"})
    EXPECT_FALSE(FolderWritable(folder.Path() / notWritable)) << notWritable;
  EXPECT_EQ(folder.EntryCount(), 2);  // the probe file is gone
}

// A FIFO would make a blocking open wait for a writer forever, a device would be read without end:
// every reader refuses both at once, naming the file.
TEST(FileNames, ReadersRefuseFifosAndDevices) {
  test::TempFolder folder;
  const fs::path fifo = folder.Path() / "PIPE";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::function<void(const fs::path&)> readers[] = {
      [](const fs::path& f) { ReadManFig(f); },
      [](const fs::path& f) { LoadModelParameters(f, *std::make_unique<TModelParameters>()); },
      [](const fs::path& f) { LoadProtectorCatalogue(f); },
      [](const fs::path& f) { LoadCircuitValues(f); },
      [](const fs::path& f) {
        TWaveform w(64);
        HeaderGrid grid;
        Lcg32 random;
        OpenNewFileType5(f, false, w, grid, random);
      },
      [](const fs::path& f) {
        TWaveform w(64);
        HeaderGrid grid;
        OpenNewFileType4(f, "", {}, w, grid);
      }};
  const std::pair<fs::path, const char*> files[] = {
      {fifo, "it is a FIFO (named pipe), not a regular file"},
      {"/dev/zero", "it is a character device, not a regular file"},
  };
  for (const auto& [file, reason] : files)
    for (std::size_t i = 0; i < std::size(readers); ++i) {
      const std::string message = MessageOf([&] { readers[i](file); });
      EXPECT_THAT(message, ::testing::HasSubstr(file.string())) << i << ": " << message;
      EXPECT_THAT(message, ::testing::HasSubstr(reason)) << i << ": " << message;
    }
}

// The per-user data folder is filled from the shipped one once, and what the user changed there
// stays; a current folder with "Man.Fig" wins; the shipped folder is only read.
TEST(UserData, FirstUseCopiesTheShippedFolderOnce) {
  test::TempFolder shipped, current, home;
  shipped.Write("Man.Fig", "HUMANEAR.PRM\r\n");
  fs::create_directory(shipped.Path() / "Dat");
  shipped.Write("Dat/TOB.txt", "shipped");
  ASSERT_EQ(setenv("XDG_DATA_HOME", home.Path().c_str(), 1), 0);
  const fs::path user = home.Path() / "orvek";
  EXPECT_EQ(UserDataFolder(), user);

  EXPECT_EQ(DefaultStartupFolder(current.Path(), shipped.Path()), user);
  EXPECT_EQ(test::TempFolder::Read(user / "Dat/TOB.txt"), "shipped");
  std::ofstream(user / "Dat/TOB.txt") << "results of the user";
  fs::remove(user / "Man.Fig");  // refilled; the user's results are kept
  EXPECT_EQ(DefaultStartupFolder(current.Path(), shipped.Path()), user);
  EXPECT_TRUE(fs::exists(user / "Man.Fig"));
  EXPECT_EQ(test::TempFolder::Read(user / "Dat/TOB.txt"), "results of the user");
  EXPECT_EQ(home.EntryCount(), 1) << "a partial copy was left";

  current.Write("Man.Fig", "OTHER.PRM\r\n");
  EXPECT_EQ(DefaultStartupFolder(current.Path(), shipped.Path()), current.Path());
  unsetenv("XDG_DATA_HOME");
}

// Devices are refused before anything is opened; checked without a write, since an administrator's
// rename would replace the real node if the check failed.
TEST(SafeWrite, DevicesAndEmptyNamesAreNoTargets) {
  const std::pair<fs::path, const char*> cases[] = {
      {"/dev/null", "it is a character device, not a regular file"},
      {"", "no file name was given"},
      {"/tmp/", "no file name was given"}};
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
        writing |= fs::read_symlink(it->path(), ignored)
                       .string()
                       .starts_with(folder.Path().string() + "/");
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

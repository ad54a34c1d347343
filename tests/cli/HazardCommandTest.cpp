// Runs of the command line that must fail with a message naming the cause: an empty file name,
// and `hazard` where its hazard table cannot be written.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orvek::cli {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int ExitCode = -1;
  std::string Out, Err;
};

std::string Contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// One run of orvek-cli with these arguments as they are, empty ones included (each is quoted).
CliRun RunCli(const std::vector<std::string>& args) {
  const fs::path out = fs::temp_directory_path() / ("orvek-cli-" + std::to_string(getpid()));
  const fs::path err = out.string() + ".err";
  std::string command = "'" ORVEK_CLI "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  const int status =
      std::system((command + " >'" + out.string() + "' 2>'" + err.string() + "'").c_str());
  CliRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Contents(out), Contents(err)};
  fs::remove(out);
  fs::remove(err);
  return run;
}

TEST(CommandLine, AnEmptyFileNameIsNamedAsSuch) {
  const std::vector<std::vector<std::string>> runs = {{"info", "", "--data", ORVEK_DATA_DIR},
                                                      {"hazard", "", "--data", ORVEK_DATA_DIR},
                                                      {"metrics", ""},
                                                      {"spectrum", "", "--tob"},
                                                      {"criteria", ""}};
  for (const std::vector<std::string>& args : runs) {
    SCOPED_TRACE(args[0]);
    const CliRun run = RunCli(args);
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Err, "orvek-cli: No waveform file was named: FILE is empty.\n");
    EXPECT_EQ(run.Out, "");
  }
}

// The result stands and is printed, but the run fails and says why, so that an older table beside
// the file is never taken for this run's; that table stays as it was.
TEST(HazardCommand, AReadOnlyFolderFailsTheRunAndKeepsTheOlderTable) {
  if (geteuid() == 0) GTEST_SKIP() << "as root a read-only folder is written all the same";
  const fs::path folder =
      fs::temp_directory_path() / ("orvek-read-only-" + std::to_string(getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  fs::copy_file(fs::path(ORVEK_TEST_DATA) / "RIFLE160.ORV", folder / "RIFLE160.ORV");
  std::ofstream(folder / "RIFLE160.HAZ") << "an older table\n";
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);

  const CliRun run =
      RunCli({"hazard", (folder / "RIFLE160.ORV").string(), "--data", ORVEK_DATA_DIR});
  fs::permissions(folder, fs::perms::owner_all);
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_NE(run.Out.find("\"aru\""), std::string::npos) << run.Out;
  EXPECT_NE(
      run.Err.find("The hazard file \"" + (folder / "RIFLE160.HAZ").string() +
                   "\" could not be written: the folder \"" + folder.string() + "\" is read-only."),
      std::string::npos)
      << run.Err;
  EXPECT_EQ(Contents(folder / "RIFLE160.HAZ"), "an older table\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace orvek::cli

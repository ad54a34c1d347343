// Runs of the command line that must fail with a message naming the cause: an empty file name,
// which the golden runs cannot pass.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/core/TempFolder.h"

namespace orvek::cli {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int ExitCode = -1;
  std::string Out, Err;
};

// One run of orvek-cli with these arguments as they are, empty ones included (each is quoted).
CliRun RunCli(const std::vector<std::string>& args) {
  const fs::path out = fs::temp_directory_path() / ("orvek-cli-" + std::to_string(getpid()));
  const fs::path err = out.string() + ".err";
  std::string command = "'" ORVEK_CLI "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  const int status =
      std::system((command + " >'" + out.string() + "' 2>'" + err.string() + "'").c_str());
  CliRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::TempFolder::Read(out),
             test::TempFolder::Read(err)};
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

}  // namespace
}  // namespace orvek::cli

// Runs of the command line that must fail with a message naming the cause: an empty file name,
// and `hazard` where its hazard table cannot be written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/Command.h"

namespace orvek::cli {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int ExitCode = 0;
  std::string Out, Err;
};

// One run of a command as orvek-cli makes it, in this process; the arguments are kept as they
// are, empty ones included.
CliRun RunCli(std::vector<std::string> args) {
  CLI::App app;
  const Command commands[] = {AddInfoCommand(app), AddHazardCommand(app), AddMetricsCommand(app),
                              AddSpectrumCommand(app)};
  std::reverse(args.begin(), args.end());  // CLI11 takes the last argument first
  app.parse(args);
  std::ostringstream out, err;
  std::streambuf* const cout = std::cout.rdbuf(out.rdbuf());
  std::streambuf* const cerr = std::cerr.rdbuf(err.rdbuf());
  CliRun run;
  for (const Command& command : commands)
    if (*command.App) run.ExitCode = RunCommand(command);
  std::cout.rdbuf(cout);
  std::cerr.rdbuf(cerr);
  run.Out = out.str();
  run.Err = err.str();
  return run;
}

TEST(CommandLine, AnEmptyFileNameIsNamedAsSuch) {
  for (const char* command : {"info", "hazard", "metrics", "spectrum"}) {
    SCOPED_TRACE(command);
    const CliRun run = RunCli({command, ""});
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
  std::ifstream table(folder / "RIFLE160.HAZ");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(table), {}), "an older table\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace orvek::cli

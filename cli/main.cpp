// orvek-cli: the headless front end. Each command prints one JSON object on stdout; a failure
// prints one line on stderr and exits non-zero.
#include <CLI/CLI.hpp>

#include "cli/Command.h"

using namespace orvek::cli;

int main(int argc, char** argv) {
  CLI::App app{"ORVEK intense sound hazard analysis, command line"};
  app.require_subcommand(1);
  const Command commands[] = {
      AddInfoCommand(app),     AddHazardCommand(app),  AddMetricsCommand(app),
      AddSpectrumCommand(app), AddCompareCommand(app), AddResponseCommand(app),
      AddSynthCommand(app),    AddImportCommand(app),  AddProtectCommand(app),
      AddBatchCommand(app),    AddMovieCommand(app),   AddCriteriaCommand(app),
  };
  CLI11_PARSE(app, argc, argv);
  for (const Command& command : commands)
    if (*command.App) return RunCommand(command);
  return 1;  // not reached: the parser requires one subcommand
}

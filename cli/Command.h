#pragma once
#include <CLI/CLI.hpp>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

// The subcommands of orvek-cli. Each Add...Command, in the source file named after it, registers
// one subcommand and its options on the application and returns what runs it; main parses the
// command line and runs the one chosen.
namespace orvek::cli {

struct Command {
  CLI::App* App = nullptr;
  // Runs the subcommand once the command line has chosen it: prints its result on stdout and
  // returns the exit code, or throws.
  std::function<int()> Run;
};

// Prints a command's JSON object on stdout and returns 0; a failure that came after the result (a
// hazard file that could not be written) then goes to stderr and gives 1.
int PrintResult(const nlohmann::ordered_json& result, const std::string& laterFailure = {});

// Runs the chosen command; a failure prints one line on stderr and gives 1.
int RunCommand(const Command& command);

Command AddInfoCommand(CLI::App& app);      // `info`: what the main reader makes of a file
Command AddHazardCommand(CLI::App& app);    // `hazard`: the warned or unwarned analysis
Command AddMetricsCommand(CLI::App& app);   // `metrics`: peak level and energy measures
Command AddCriteriaCommand(CLI::App& app);  // `criteria`: impulse criteria (CriteriaCommand.h)
Command AddSpectrumCommand(CLI::App& app);  // `spectrum`: the 1/3-octave Leq300ms spectrum
Command AddCompareCommand(CLI::App& app);   // `compare`: noise reduction and insertion loss
Command AddResponseCommand(CLI::App& app);  // `response`: low-level transfer of the ear model
Command AddSynthCommand(CLI::App& app);     // `synth friedlander`: a synthetic impulse
Command AddImportCommand(CLI::App& app);    // `import`: a recording saved as an ORV file
Command AddProtectCommand(CLI::App& app);   // `protect`: the waveform under a protector
Command AddBatchCommand(CLI::App& app);     // `batch`: hazard and metrics of many files
Command AddMovieCommand(CLI::App& app);     // `movie`: frames of the hazard movie as PNG files

}  // namespace orvek::cli

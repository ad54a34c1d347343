// `orvek-cli metrics`: peak level and A-weighted energy measures of an ORV file.
#include <memory>

#include "cli/Command.h"
#include "cli/FileAnalysis.h"

namespace orvek::cli {
namespace {

struct MetricsOptions {
  std::string File;
  std::optional<std::int32_t> First, Last;
};

}  // namespace

Command AddMetricsCommand(CLI::App& app) {
  const auto o = std::make_shared<MetricsOptions>();
  CLI::App* metrics =
      app.add_subcommand("metrics", "Peak level and A-weighted energy measures of an ORV file");
  metrics->add_option("FILE", o->File, "ORV waveform file")->required();
  metrics->add_option("--first", o->First, "first sample of the interval (default 0)");
  metrics->add_option("--last", o->Last, "last sample of the interval (default the last)");
  return {metrics,
          [o] { return PrintResult(MetricsJson(o->File, *Open(o->File), o->First, o->Last)); }};
}

}  // namespace orvek::cli

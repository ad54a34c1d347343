#include "cli/BatchCommand.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>
#include <thread>
#include <tuple>

#include "base/ErrorText.h"
#include "base/FileNames.h"
#include "base/OrvekError.h"
#include "cli/Command.h"
#include "cli/CriteriaCommand.h"
#include "cli/FileAnalysis.h"
#include "waveform/SampleCapacity.h"

namespace orvek::cli {
namespace fs = std::filesystem;
using nlohmann::ordered_json;

namespace {

ordered_json EmptyRow(const fs::path& file) {
  ordered_json row;
  row["file"] = file.string();
  for (const char* key :
       {"aru_warned", "aru_unwarned", "peak_level_db", "laeq8hr", "na", "peak_above_140_db",
        "stapes_at_limit_warned", "stapes_at_limit_unwarned", "validity", "error"})
    row[key] = nullptr;
  for (const char* key : kCriteriaColumns) row[key] = nullptr;
  return row;
}

// Everything of one file, or nothing and the reason: a row is never half filled.
ordered_json AnalyzeFile(const fs::path& file, const TModelParameters& p,
                         const BatchSettings& settings, int threads) {
  ordered_json row = EmptyRow(file);
  try {
    ordered_json values = EmptyRow(file);
    const auto opened = Open(file);
    const ordered_json metrics = MetricsJson(file, *opened, std::nullopt, std::nullopt);
    values["peak_level_db"] = metrics.at("peak_level_db");
    values["laeq8hr"] = metrics.at("laeq8hr");
    values["na"] = metrics.at("na");
    const ordered_json criteria = CriteriaJson(file, *opened, std::nullopt, std::nullopt);
    for (const char* key : kCriteriaColumns) values[key] = criteria.at(key);
    std::string noHazardFile;          // the batch writes no hazard tables
    std::vector<std::string> atLimit;  // the listeners whose stapes reached its ceiling
    for (const auto& [wanted, listener, key, limitKey, name] :
         {std::tuple{settings.Warned, Listener::Warned, "aru_warned", "stapes_at_limit_warned",
                     "warned"},
          std::tuple{settings.Unwarned, Listener::Unwarned, "aru_unwarned",
                     "stapes_at_limit_unwarned", "unwarned"}}) {
      if (!wanted) continue;
      const ordered_json hazard =
          HazardJson(file, *opened, listener, p, std::nullopt, threads, noHazardFile);
      const ordered_json& validity = hazard.at("validity");
      values[key] = hazard.at("aru");
      values["peak_above_140_db"] = validity.at("peak_above_140_db");
      values[limitKey] = validity.at("stapes_at_limit");
      if (validity.at("stapes_at_limit").get<bool>()) atLimit.emplace_back(name);
    }
    std::string text;
    if (values["peak_above_140_db"] == true)
      text = "free-field peak above the 140 dB limit: no unprotected exposure allowed";
    if (!atLimit.empty())
      text += std::string(text.empty() ? "" : "; ") + "stapes at its movement limit (" +
              (atLimit.size() == 2 ? "warned and unwarned" : atLimit.front()) +
              "): the hazard may not rise with level";
    values["validity"] = text;
    row = std::move(values);
  } catch (const std::exception& error) {
    row["error"] = error.what();
  }
  return row;
}

std::string CsvCell(const ordered_json& value) {
  if (value.is_null()) return {};
  if (!value.is_string()) return value.dump();
  const std::string& text = value.get_ref<const std::string&>();
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

int FailedCount(const std::vector<ordered_json>& rows) {
  return static_cast<int>(std::count_if(rows.begin(), rows.end(), [](const ordered_json& row) {
    return !row.at("error").is_null();
  }));
}

// A batch may run for long: refuse outputs that could not be written, or would replace a file it
// reads, before it starts.
void CheckOutput(const fs::path& output, const ReadFiles& reads) {
  if (const auto problem = WriteTargetProblem(output, reads))
    throw OrvekError("Cannot write the batch results file " + Quoted(output) + ": " + *problem +
                     ".");
}

struct BatchOptions {
  std::vector<std::string> Files;
  bool WarnedOnly = false, UnwarnedOnly = false;  // default: both listeners
  int Jobs = 1;                                   // files analysed at once
  std::string Csv, Json, Data;                    // Json empty: no JSON file
};

// Writes the CSV (and JSON) file with WriteBatchFile, prints a summary object on stdout and returns
// the exit code, 0 when every file was analysed and 1 when any was not (their rows say why).
// Throws OrvekError when the batch cannot run or its results cannot be written.
// Workers beyond the cores only wait, and each holds a file's buffers and movie: at most one per
// core and per kWorkerBytes of free memory, and the user is told when that is fewer than asked.
int UsableJobs(int requested) {
  constexpr std::uint64_t kWorkerBytes = 64ull << 20;  // a generous bound for one file's analysis
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const std::uint64_t freeBytes = AvailablePhysicalMemory();
  const int byMemory = static_cast<int>(std::max<std::uint64_t>(1, freeBytes / kWorkerBytes));
  const int usable = std::min({requested, cores, byMemory});
  if (usable < requested)
    std::cerr << "orvek-cli: --jobs " << requested << " is more than this computer runs at once ("
              << cores << " cores, " << (freeBytes >> 20) << " MiB of free memory); " << usable
              << (usable == 1 ? " job is" : " jobs are") << " used.\n";
  return usable;
}

int RunBatch(const BatchOptions& o) {
  const fs::path startup = StartupFolder(o.Data);
  const TModelParameters p = LoadParameters(startup);
  const std::vector<fs::path> files(o.Files.begin(), o.Files.end());
  ReadFiles reads = ParameterFiles(startup, p);
  reads.insert(reads.end(), files.begin(), files.end());
  const fs::path csv = o.Csv;
  const std::optional<fs::path> json =
      o.Json.empty() ? std::nullopt : std::optional<fs::path>(o.Json);
  CheckOutput(csv, reads);
  if (json) {
    CheckOutput(*json, reads);
    std::error_code error;
    if (fs::weakly_canonical(*json, error) == fs::weakly_canonical(csv, error))
      throw OrvekError("--csv and --json name the same file \"" + csv.string() + "\".");
  }

  const int jobs = UsableJobs(o.Jobs);
  // On a terminal the line is redrawn after every file; elsewhere only the last one is written.
  const bool terminal = isatty(fileno(stderr)) != 0;
  const auto line = [&](int done, int failed) {
    std::string text =
        "batch: " + std::to_string(done) + "/" + std::to_string(files.size()) + " files done";
    if (failed > 0) text += ", " + std::to_string(failed) + " failed";
    return text;
  };
  const auto start = std::chrono::steady_clock::now();
  const std::vector<ordered_json> rows =
      AnalyzeFiles(files, p, {!o.UnwarnedOnly, !o.WarnedOnly, jobs}, [&](int done, int failed) {
        if (terminal) std::cerr << '\r' << line(done, failed) << std::flush;
      });
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const int failed = FailedCount(rows);
  char rate[64];
  std::snprintf(rate, sizeof rate, " (%.2f s, %.1f files/s)", seconds,
                seconds > 0 ? static_cast<double>(files.size()) / seconds : 0.0);
  std::cerr << (terminal ? "\r" : "") << line(static_cast<int>(files.size()), failed) << rate
            << '\n';

  WriteBatchFile(csv, BatchCsv(rows), reads);
  if (json) WriteBatchFile(*json, BatchJson(rows).dump(2) + "\n", reads);
  ordered_json summary;
  summary["files"] = files.size();
  summary["failed"] = failed;
  summary["jobs"] = jobs;
  summary["csv"] = csv.string();
  summary["json"] = json ? ordered_json(json->string()) : ordered_json(nullptr);
  std::cout << summary.dump(2) << '\n';
  if (failed == 0) return 0;
  std::cerr << "orvek-cli: " << failed << " of " << files.size()
            << " files could not be analysed; the error column of \"" << csv.string()
            << "\" says why.\n";
  return 1;
}

}  // namespace

std::vector<ordered_json> AnalyzeFiles(const std::vector<fs::path>& files,
                                       const TModelParameters& p, const BatchSettings& settings,
                                       const BatchProgress& progress) {
  std::vector<ordered_json> rows(files.size());
  const int count = static_cast<int>(files.size());
  const int workers = std::clamp(settings.Jobs, 1, std::max(count, 1));
  // Fewer files than jobs: the spare threads go to each file's cochlear places.
  const int threadsPerFile = std::max(1, settings.Jobs / workers);
  // The largest files first, so that no worker is left with a long one while the others idle.
  std::vector<std::uintmax_t> sizes;
  for (const fs::path& file : files) {
    std::error_code missing;  // reported by the analysis
    const std::uintmax_t size = fs::file_size(file, missing);
    sizes.push_back(missing ? 0 : size);
  }
  std::vector<int> order(files.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return sizes[a] > sizes[b]; });
  std::atomic<int> next{0};
  std::mutex reporting;
  int done = 0, failed = 0;
  const auto work = [&] {
    for (int k = next++; k < count; k = next++) {
      const int i = order[k];
      rows[i] = AnalyzeFile(files[i], p, settings, threadsPerFile);
      const std::lock_guard<std::mutex> lock(reporting);
      ++done;
      if (!rows[i]["error"].is_null()) ++failed;
      if (progress) progress(done, failed);
    }
  };
  std::vector<std::thread> helpers;
  for (int w = 1; w < workers; ++w) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  return rows;
}

std::string BatchCsv(const std::vector<ordered_json>& rows) {
  std::string text;
  const auto line = [&text](const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) text += (i > 0 ? "," : "") + cells[i];
    text += "\r\n";
  };
  std::vector<std::string> header;
  const ordered_json columns = EmptyRow({});
  for (const auto& [key, value] : columns.items()) header.push_back(key);
  line(header);
  for (const ordered_json& row : rows) {
    std::vector<std::string> cells;
    for (const std::string& key : header) cells.push_back(CsvCell(row.at(key)));
    line(cells);
  }
  return text;
}

ordered_json BatchJson(const std::vector<ordered_json>& rows) {
  ordered_json document;
  document["files"] = rows.size();
  document["failed"] = FailedCount(rows);
  document["rows"] = rows;
  return document;
}

void WriteBatchFile(const fs::path& output, const std::string& text, const ReadFiles& reads) {
  if (const auto reason = WriteFileReplacing(output, text, reads))
    throw OrvekError("Cannot write the batch results file \"" + output.string() + "\": " + *reason +
                     ".");
}

Command AddBatchCommand(CLI::App& app) {
  const auto options = std::make_shared<BatchOptions>();
  BatchOptions& o = *options;
  CLI::App* batch = app.add_subcommand("batch",
                                       "Hazard (warned and unwarned), peak level, LAeq8hr, Na and "
                                       "impulse criteria of many ORV files");
  batch->add_option("FILES", o.Files, "ORV waveform files")->required();
  auto* warned = batch->add_flag("--warned", o.WarnedOnly, "only the warned listener");
  batch->add_flag("--unwarned", o.UnwarnedOnly, "only the unwarned listener (default: both)")
      ->excludes(warned);
  o.Jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  batch->add_option("--jobs", o.Jobs, "files analysed at once")
      ->check(CLI::Range(1, 256))
      ->capture_default_str();
  batch->add_option("--csv", o.Csv, "CSV file to write, one row per file")->required();
  batch->add_option("--json", o.Json, "JSON file to write with the same rows");
  batch->add_option("--data", o.Data, "start-up folder (holds \"Man.Fig\")");
  return {batch, [options] { return RunBatch(*options); }};
}

}  // namespace orvek::cli

#pragma once
#include <CLI/CLI.hpp>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "model/ModelParameters.h"

// `orvek-cli batch`: the hazard of both listeners, the peak level, LAeq8hr and Na of many ORV
// files, with the values the `hazard` and `metrics` commands give for each file.
namespace orvek::cli {

struct BatchOptions {
  std::vector<std::string> Files;
  bool WarnedOnly = false, UnwarnedOnly = false;  // default: both listeners
  int Jobs = 1;                                   // files analysed at once
  std::string Csv, Json, Data;                    // Json empty: no JSON file
};

// Registers `batch` and its options on `app`; --jobs defaults to the number of cores.
CLI::App* AddBatchCommand(CLI::App& app, BatchOptions& options);

struct BatchSettings {
  bool Warned = true, Unwarned = true;
  int Jobs =
      1;  // threads in all: files run side by side, each file's cochlear places share the rest
};

// Called after each file with the number of files done and failed so far (from the worker that
// finished it, one call at a time).
using BatchProgress = std::function<void(int done, int failed)>;

// One row per file, in the order of `files`: "file", "aru_warned", "aru_unwarned",
// "peak_level_db", "laeq8hr", "na" and "error". A file that cannot be read or analysed has only
// its "file" and the reason in "error"; the others are still analysed. A listener not asked for,
// an error of none and an infinite Na are null. Each worker analyses with its own copy of `p`.
std::vector<nlohmann::ordered_json> AnalyzeFiles(const std::vector<std::filesystem::path>& files,
                                                 const TModelParameters& p,
                                                 const BatchSettings& settings,
                                                 const BatchProgress& progress = {});

// The rows as CSV (RFC 4180, CRLF line ends): a header line of the keys, then one line per row;
// null is an empty cell, a number is written exactly as in the JSON.
std::string BatchCsv(const std::vector<nlohmann::ordered_json>& rows);

// The rows as the JSON file holds them: {"files": n, "failed": k, "rows": [...]}.
nlohmann::ordered_json BatchJson(const std::vector<nlohmann::ordered_json>& rows);

// Writes a results file through a temporary file and a rename; OrvekError naming the file on
// failure, the earlier file then left as it was.
void WriteBatchFile(const std::filesystem::path& output, const std::string& text);

// Runs the command: writes the CSV (and JSON) file with WriteBatchFile,
// prints a summary object on stdout and returns the exit code, 0 when every file was analysed and
// 1 when any was not (their rows say why). Throws OrvekError when the batch cannot run or its
// results cannot be written.
int RunBatch(const BatchOptions& options);

}  // namespace orvek::cli

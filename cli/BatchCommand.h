#pragma once
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/FileNames.h"
#include "model/ModelParameters.h"

// `orvek-cli batch` (AddBatchCommand, cli/Command.h): the hazard of both listeners, the peak
// level, LAeq8hr, Na and the impulse criteria of many ORV files, with the values the `hazard`,
// `metrics` and `criteria` commands give for each file.
namespace orvek::cli {

struct BatchSettings {
  bool Warned = true, Unwarned = true;
  int Jobs =
      1;  // threads in all: files run side by side, each file's cochlear places share the rest
};

// Called after each file with the number of files done and failed so far (from the worker that
// finished it, one call at a time).
using BatchProgress = std::function<void(int done, int failed)>;

// One row per file, in the order of `files`: "file", "aru_warned", "aru_unwarned",
// "peak_level_db", "laeq8hr", "na" and "error", then the kCriteriaColumns of the whole record
// (cli/CriteriaCommand.h). A file that cannot be read or analysed has only its "file" and the
// reason in "error"; the others are still analysed. A listener not asked for, an error of none,
// an infinite Na and an undefined criterion are null. Each worker analyses with its own copy of
// `p`.
std::vector<nlohmann::ordered_json> AnalyzeFiles(const std::vector<std::filesystem::path>& files,
                                                 const TModelParameters& p,
                                                 const BatchSettings& settings,
                                                 const BatchProgress& progress = {});

// The rows as CSV (RFC 4180, CRLF line ends): a header line of the keys, then one line per row;
// null is an empty cell, a number is written exactly as in the JSON.
std::string BatchCsv(const std::vector<nlohmann::ordered_json>& rows);

// The rows as the JSON file holds them: {"files": n, "failed": k, "rows": [...]}.
nlohmann::ordered_json BatchJson(const std::vector<nlohmann::ordered_json>& rows);

// Writes a results file through a temporary file and a rename, never over one of `reads`;
// OrvekError naming the file on failure, the earlier file then left as it was.
void WriteBatchFile(const std::filesystem::path& output, const std::string& text,
                    const ReadFiles& reads);

}  // namespace orvek::cli

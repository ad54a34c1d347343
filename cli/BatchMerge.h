#pragma once
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "base/FileNames.h"

// The results of separate `batch` runs (shards of one file list) joined into one, and the summary
// report of a batch.
namespace orvek::cli {

// The rows of a results file `batch` wrote: its CSV (an empty cell is null; a cell that reads as
// a JSON number or true/false is that value; "file", "validity" and "error" stay text) or its
// JSON file ({"rows": [...]}, by the extension ".json"). OrvekError naming the file and line
// when it is not one.
std::vector<nlohmann::ordered_json> ReadBatchResults(const std::filesystem::path& file);

// The shards' rows in one list. Without `order`, shard after shard, each in its own order. With
// `order` (the full file list, as the shards' runs named the files), rows in its order; a file of
// the list with no row, a row of a file not in the list, or a file with two rows is refused.
std::vector<nlohmann::ordered_json> MergeBatchResults(
    const std::vector<std::vector<nlohmann::ordered_json>>& shards,
    const std::optional<std::vector<std::string>>& order);

// The lines of a file list (one path a line; blank lines skipped).
std::vector<std::string> ReadFileList(const std::filesystem::path& list);

// The summary report of the rows: one row per file with its hazard, peak level, LAeq8hr, Na and
// impulse-criteria dose, or the reason it failed; written through the safe writer.
void WriteBatchSummary(const std::filesystem::path& pdf,
                       const std::vector<nlohmann::ordered_json>& rows, const ReadFiles& reads);

}  // namespace orvek::cli

// The batch results files, for tests/core/SafeWriteTest.cpp.
#include <nlohmann/json.hpp>
#include <vector>

#include "cli/BatchCommand.h"
#include "cli/CriteriaCommand.h"
#include "tests/core/SafeWrite.h"

namespace orvek::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

std::vector<ordered_json> BatchRows() {
  ordered_json row = {{"file", "SHOT.ORV"},
                      {"aru_warned", 1.5},
                      {"aru_unwarned", 2.5},
                      {"peak_level_db", 160.0},
                      {"laeq8hr", 73.6},
                      {"na", 13.9},
                      {"peak_above_140_db", true},
                      {"stapes_at_limit_warned", false},
                      {"stapes_at_limit_unwarned", true},
                      {"validity", "stapes at its movement limit (unwarned)"},
                      {"error", nullptr}};
  for (const char* key : cli::kCriteriaColumns) row[key] = nullptr;
  return {row};
}

}  // namespace

const std::vector<Writer>& Writers() {
  static const std::vector<Writer> writers = {
      {"BatchCsv", "RESULTS.CSV", "earlier,rows\r\n",
       [](const fs::path& file, const ReadFiles& reads) {
         cli::WriteBatchFile(file, cli::BatchCsv(BatchRows()), reads);
       }},
      {"BatchJson", "RESULTS.JSON", "{\"earlier\": true}\n",
       [](const fs::path& file, const ReadFiles& reads) {
         cli::WriteBatchFile(file, cli::BatchJson(BatchRows()).dump(2), reads);
       }},
  };
  return writers;
}

}  // namespace orvek::test

// Results of separate batch runs read back and joined in the order of the full file list.
#include <gmock/gmock.h>

#include "base/OrvekError.h"
#include "cli/BatchCommand.h"
#include "cli/BatchMerge.h"
#include "cli/CriteriaCommand.h"
#include "tests/core/TempFolder.h"

namespace orvek::test {
namespace {

using nlohmann::ordered_json;

ordered_json Row(const std::string& file, const ordered_json& error = nullptr) {
  ordered_json row = {
      {"file", file},
      {"aru_warned", error.is_null() ? ordered_json(2.4140138626098633) : nullptr},
      {"aru_unwarned", nullptr},
      {"peak_level_db", error.is_null() ? ordered_json(160.0) : nullptr},
      {"laeq8hr", nullptr},
      {"na", nullptr},
      {"peak_above_140_db", error.is_null() ? ordered_json(true) : nullptr},
      {"stapes_at_limit_warned", false},
      {"stapes_at_limit_unwarned", nullptr},
      {"validity", error.is_null() ? ordered_json("a, \"quoted\"\r\nnote") : nullptr},
      {"error", error}};
  for (const char* key : cli::kCriteriaColumns) row[key] = nullptr;
  return row;
}

TEST(BatchMergeTest, CsvAndJsonShardsReadBackToTheSameRows) {
  const TempFolder folder;
  const std::vector<ordered_json> rows = {Row("1.ORV"), Row("two,2.ORV", "Cannot open \"x\"")};
  const auto csv = folder.Write("shard.csv", cli::BatchCsv(rows));
  const auto json = folder.Write("shard.json", cli::BatchJson(rows).dump(2));
  EXPECT_EQ(cli::BatchCsv(cli::ReadBatchResults(csv)), cli::BatchCsv(rows));
  EXPECT_EQ(cli::ReadBatchResults(json), rows);
  for (const auto& [name, text, message] :
       {std::tuple{"bad.csv", "name,aru\r\n", "first column is not \"file\""},
        std::tuple{"short.csv", "file,aru\r\nA.ORV\r\n", "row 1: 1 cells"},
        std::tuple{"open.csv", "file\r\n\"A.ORV\r\n", "not closed"},
        std::tuple{"bad.json", "{\"files\": 1}", "no \"rows\" list"}}) {
    try {
      cli::ReadBatchResults(folder.Write(name, text));
      ADD_FAILURE() << name << " was read";
    } catch (const OrvekError& error) {
      EXPECT_THAT(std::string(error.what()), ::testing::HasSubstr(message)) << error.what();
    }
  }
}

TEST(BatchMergeTest, RowsFollowTheFileListAndGapsOrDoublesAreRefused) {
  using List = std::optional<std::vector<std::string>>;
  const std::vector<ordered_json> a = {Row("C"), Row("A")}, b = {Row("B")};
  struct Case {
    std::vector<std::vector<ordered_json>> Shards;
    List Order;
    std::vector<std::string> Files;  // expected order
    std::string Error;               // or the refusal
  };
  const Case cases[] = {
      {{a, b}, std::nullopt, {"C", "A", "B"}, ""},
      {{b, a}, List{{"A", "B", "C"}}, {"A", "B", "C"}, ""},
      {{a}, List{{"A", "B", "C"}}, {}, "No results file holds \"B\""},
      {{a, b}, List{{"A", "B"}}, {}, "does not name"},
      {{a, a, b}, List{{"A", "B", "C"}}, {}, "twice"},
  };
  for (const Case& c : cases) {
    try {
      std::vector<std::string> files;
      for (const ordered_json& row : cli::MergeBatchResults(c.Shards, c.Order))
        files.push_back(row.at("file"));
      EXPECT_EQ(files, c.Files);
      EXPECT_TRUE(c.Error.empty()) << "not refused: " << c.Error;
    } catch (const OrvekError& error) {
      EXPECT_NE(c.Error, "");
      EXPECT_THAT(std::string(error.what()), ::testing::HasSubstr(c.Error)) << error.what();
    }
  }
}

}  // namespace
}  // namespace orvek::test

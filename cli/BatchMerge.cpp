#include "cli/BatchMerge.h"

#include <cstdio>
#include <map>
#include <sstream>

#include "base/OrvekError.h"
#include "cli/GuiSession.h"
#include "model/HazardAnalysis.h"
#include "report/AnalysisReport.h"

namespace orvek::cli {
namespace fs = std::filesystem;
using nlohmann::ordered_json;

namespace {

std::string ReadText(const fs::path& file, const std::string& what) {
  std::string text;
  if (const auto reason = ReadRegularFile(file, text))
    throw OrvekError("Cannot open the " + what + " \"" + file.string() + "\": " + *reason + ".");
  return text;
}

// RFC 4180 records: quoted fields may hold commas, quotes ("") and line ends.
std::vector<std::vector<std::string>> CsvRecords(const std::string& text, const fs::path& file) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  bool quoted = false, any = false;
  int line = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        if (c == '\n') ++line;
        field += c;
      }
    } else if (c == '"' && field.empty()) {
      quoted = any = true;
    } else if (c == ',') {
      record.push_back(std::move(field));
      field.clear();
      any = true;
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (any || !field.empty()) {
        record.push_back(std::move(field));
        records.push_back(std::move(record));
      }
      record.clear();
      field.clear();
      any = false;
      ++line;
    } else {
      field += c;
      any = true;
    }
  }
  if (quoted)
    throw OrvekError("Batch results file \"" + file.string() + "\", line " + std::to_string(line) +
                     ": a quoted cell is not closed.");
  if (any || !field.empty()) {
    record.push_back(std::move(field));
    records.push_back(std::move(record));
  }
  return records;
}

ordered_json CellValue(const std::string& key, const std::string& cell) {
  if (cell.empty()) return nullptr;
  if (key == "file" || key == "validity" || key == "error") return cell;
  const ordered_json value = ordered_json::parse(cell, nullptr, false);
  return value.is_number() || value.is_boolean() ? value : ordered_json(cell);
}

std::string Fixed(const ordered_json& value, int decimals) {
  if (!value.is_number()) return "";
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value.get<double>());
  return text;
}

}  // namespace

std::vector<ordered_json> ReadBatchResults(const fs::path& file) {
  const std::string text = ReadText(file, "batch results file");
  if (file.extension() == ".json" || file.extension() == ".JSON") {
    const ordered_json document = ordered_json::parse(text, nullptr, false);
    if (!document.is_object() || !document.contains("rows") || !document["rows"].is_array())
      throw OrvekError("Batch results file \"" + file.string() +
                       "\" is not a JSON results file of batch (no \"rows\" list).");
    return document["rows"].get<std::vector<ordered_json>>();
  }
  const auto records = CsvRecords(text, file);
  if (records.empty() || records[0].empty() || records[0][0] != "file")
    throw OrvekError("Batch results file \"" + file.string() +
                     "\" is not a CSV results file of batch (its first column is not \"file\").");
  const std::vector<std::string>& header = records[0];
  std::vector<ordered_json> rows;
  for (std::size_t r = 1; r < records.size(); ++r) {
    if (records[r].size() != header.size())
      throw OrvekError("Batch results file \"" + file.string() + "\", row " + std::to_string(r) +
                       ": " + std::to_string(records[r].size()) + " cells where the header has " +
                       std::to_string(header.size()) + ".");
    ordered_json row;
    for (std::size_t c = 0; c < header.size(); ++c)
      row[header[c]] = CellValue(header[c], records[r][c]);
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<ordered_json> MergeBatchResults(const std::vector<std::vector<ordered_json>>& shards,
                                            const std::optional<std::vector<std::string>>& order) {
  std::vector<ordered_json> all;
  for (const auto& shard : shards) all.insert(all.end(), shard.begin(), shard.end());
  if (!order) return all;
  std::map<std::string, std::size_t> position;
  for (std::size_t i = 0; i < order->size(); ++i) position.emplace((*order)[i], i);
  std::vector<std::optional<ordered_json>> placed(order->size());
  for (ordered_json& row : all) {
    const std::string file = row.at("file").get<std::string>();
    const auto at = position.find(file);
    if (at == position.end())
      throw OrvekError("The results hold \"" + file + "\", which the file list does not name.");
    if (placed[at->second]) throw OrvekError("The results hold \"" + file + "\" twice.");
    placed[at->second] = std::move(row);
  }
  std::vector<ordered_json> rows;
  for (std::size_t i = 0; i < placed.size(); ++i) {
    if (!placed[i])
      throw OrvekError("No results file holds \"" + (*order)[i] +
                       "\" of the file list; is a shard missing?");
    rows.push_back(std::move(*placed[i]));
  }
  return rows;
}

std::vector<std::string> ReadFileList(const fs::path& list) {
  std::istringstream in(ReadText(list, "file list"));
  std::vector<std::string> files;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) files.push_back(line);
  }
  return files;
}

void WriteBatchSummary(const fs::path& pdf, const std::vector<ordered_json>& rows,
                       const ReadFiles& reads) {
  const GuiSession gui;
  std::vector<SummaryRow> table;
  const auto aru = [](const ordered_json& value) {
    return value.is_number() ? QString::fromStdString(AruText(value.get<float>())) : QString();
  };
  for (const ordered_json& row : rows) {
    SummaryRow line;
    line.Cells << QString::fromStdString(row.at("file").get<std::string>())
               << aru(row.value("aru_warned", ordered_json()))
               << aru(row.value("aru_unwarned", ordered_json()))
               << QString::fromStdString(Fixed(row.value("peak_level_db", ordered_json()), 2))
               << QString::fromStdString(Fixed(row.value("laeq8hr", ordered_json()), 2))
               << QString::fromStdString(Fixed(row.value("na", ordered_json()), 1))
               << QString::fromStdString(Fixed(row.value("dose_percent", ordered_json()), 2));
    const ordered_json error = row.value("error", ordered_json());
    if (error.is_string()) line.Error = QString::fromStdString(error.get<std::string>());
    table.push_back(line);
  }
  WriteReportFile(pdf,
                  SummaryPdf("ORVEK batch summary",
                             {"File", "ARU warned", "ARU unwarned", "Peak (dB)", "LAeq8hr (dB)",
                              "Na", "Dose (%)"},
                             table),
                  reads);
}

}  // namespace orvek::cli

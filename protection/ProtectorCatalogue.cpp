#include "protection/ProtectorCatalogue.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "base/DecimalNumber.h"
#include "base/ErrorText.h"
#include "base/FileNames.h"
#include "base/OrvekError.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;

constexpr int kHeaderLines = 4;
constexpr int kLinesPerRecord = 4;
constexpr int kStoredCircuitValues = 15;
constexpr int kSeedValues = 14;
constexpr std::string_view kReplacedNameCharacters = "\"*-./:<>?\\|";

// Lines end at LF; a CR before it belongs to the line end. A final line end starts no line.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return lines;
}

// Reads the tab-separated fields of one line from left to right.
class FieldReader {
 public:
  explicit FieldReader(std::string_view line) : rest_(line) {}
  // The text up to the next tab or the line end; moves past that tab.
  std::string_view Next() {
    const std::size_t tab = rest_.find('\t');
    const std::string_view field = rest_.substr(0, tab);
    if (tab == std::string_view::npos) {
      rest_ = {};
      done_ = true;
    } else {
      rest_.remove_prefix(tab + 1);
    }
    return field;
  }
  // A field read as a number, or nothing when it is empty or not a number (it is consumed).
  std::optional<float> NextNumber() {
    if (done_) return std::nullopt;
    std::string_view field = Next();
    const auto first = field.find_first_not_of(' ');
    const auto last = field.find_last_not_of(' ');
    if (first == std::string_view::npos) return std::nullopt;
    field = field.substr(first, last - first + 1);
    float value = 0.0f;
    if (!ParseDecimal(field.data(), field.data() + field.size(), value)) return std::nullopt;
    return value;
  }
  // Skips characters up to the first D or P in either case; false when there is none.
  bool SkipToMenuCode() {
    const std::size_t at = rest_.find_first_of("DdPp");
    if (done_ || at == std::string_view::npos) return false;
    rest_.remove_prefix(at);
    return true;
  }

 private:
  std::string_view rest_;
  bool done_ = false;
};

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

std::string MenuName(std::string_view name) {
  std::string menuName = UpperCase(name);
  for (char& c : menuName)
    if (kReplacedNameCharacters.find(c) != std::string_view::npos) c = '_';
  return menuName;
}

PowerUserPlace PlaceOf(const std::string& kindCode) {
  switch (kindCode[0]) {
    case 'P':
      return PowerUserPlace::PlugLevelIndependent;
    case 'N':
      return PowerUserPlace::PlugLevelDependent;
    case 'M':
      return PowerUserPlace::MuffLevelIndependent;
    case 'Q':
      return PowerUserPlace::MuffLevelDependent;
    case 'D':
      return PowerUserPlace::PlugPlusMuff;
    default:
      break;
  }
  if (kindCode == "OP") return PowerUserPlace::OtherPlug;
  if (kindCode == "OM") return PowerUserPlace::OtherMuff;
  if (kindCode == "OD") return PowerUserPlace::OtherPlugPlusMuff;
  return PowerUserPlace::None;
}

std::string Where(const std::string& fileName, int line) {
  return "Protector catalogue \"" + fileName + "\", line " + std::to_string(line);
}

// Interprets a record's frequency line; returns why it is malformed in `problem`.
std::optional<TProtectorEntry> ParseFrequencyLine(std::string_view line, std::string& problem) {
  if (line.empty()) {
    problem = "the first line of the record is empty";
    return std::nullopt;
  }
  FieldReader fields(line);
  const std::string_view name = fields.Next();
  if (name.empty()) {
    problem = "the record has no protector name";
    return std::nullopt;
  }
  int count = 0;
  float previous = 0.0f;
  while (const std::optional<float> kHz = fields.NextNumber()) {
    if (++count > kMaxProtectorFrequencies) {
      problem =
          "the record has more than " + std::to_string(kMaxProtectorFrequencies) + " frequencies";
      return std::nullopt;
    }
    // The attenuation plot takes the logarithm of each frequency, in Hz.
    if (!(*kHz > previous)) {
      problem = "the frequencies must be positive and ascending";
      return std::nullopt;
    }
    if (!std::isfinite(*kHz * 1000.0f)) {
      problem = "frequency " + std::to_string(count) + " is too large to hold in Hz";
      return std::nullopt;
    }
    previous = *kHz;
  }
  if (count == 0) {
    problem = "the record has no frequencies after its name";
    return std::nullopt;
  }
  if (!fields.SkipToMenuCode()) {
    problem = "no menu code (a field starting with D or P) follows the frequencies";
    return std::nullopt;
  }
  std::string menuCode = UpperCase(fields.Next());
  const std::string spareCode = UpperCase(fields.Next());
  std::string kindCode = UpperCase(fields.Next());
  if (menuCode.size() > 4) {
    problem = "the menu code \"" + menuCode + "\" is longer than four characters";
    return std::nullopt;
  }
  if (spareCode.size() != 1) {
    problem = "the spare code after the menu code must be exactly one character";
    return std::nullopt;
  }
  menuCode.resize(4, ' ');
  kindCode.resize(2, ' ');

  TProtectorEntry entry;
  entry.Name = MenuName(name);
  entry.LastFrequencyIndex = count - 1;
  entry.KindCode = kindCode;
  const std::string index = std::to_string(count - 1);
  entry.EntryString =
      (index.size() == 1 ? "0" : "") + index + menuCode + spareCode + kindCode + entry.Name;
  entry.InDefaultMode = menuCode[0] == 'D';
  entry.PowerUserCaption = menuCode[1] == 'D' ? entry.Name + ": " + menuCode.substr(1) : entry.Name;
  entry.Place = PlaceOf(kindCode);
  return entry;
}

std::string ReadWholeFile(const fs::path& file, const std::string& what) {
  std::string text;
  if (const auto reason = ReadRegularFile(file, text))
    throw OrvekError("Cannot open " + what + " " + Quoted(file) + ": " + *reason + ".");
  return text;
}

// Line `lineIndex` (0-based) of the catalogue, or an error naming the record that ends early.
std::string_view RecordLine(const std::vector<std::string_view>& lines, std::size_t lineIndex,
                            const std::string& fileName) {
  if (lineIndex >= lines.size())
    throw OrvekError(Where(fileName, static_cast<int>(lineIndex) + 1) +
                     ": the catalogue ends inside the protector's record (records have four "
                     "lines).");
  return lines[lineIndex];
}

// The label field, then `count` numbers.
std::vector<float> ReadNumberLine(std::string_view line, int count, int lineNumber,
                                  const std::string& fileName, const char* what) {
  FieldReader fields(line);
  fields.Next();
  std::vector<float> values;
  for (int i = 0; i < count; ++i) {
    const std::optional<float> value = fields.NextNumber();
    if (!value)
      throw OrvekError(Where(fileName, lineNumber) + ": " + what + " " + std::to_string(i + 1) +
                       " of " + std::to_string(count) +
                       " is missing or not a number (one value per frequency, after a label).");
    values.push_back(*value);
  }
  return values;
}

// The stored circuit values in the order of the catalogue's circuit line.
std::array<float*, kStoredCircuitValues> StoredFields(TCircuitValues& c) {
  return {&c.Lcup,
          &c.Kcup,
          &c.Kskin,
          &c.Rskin,
          &c.Kcush,
          &c.Rcush,
          &c.Lleak,
          &c.Rleak,
          &c.Kmat,
          &c.Lmat,
          &c.Rmat,
          &c.ReservedValue1,
          &c.ReservedValue2,
          &c.LleakLevelCoefficient,
          &c.RleakLevelCoefficient};
}

// A number at the start of a line (leading blanks skipped); the rest of the line is free.
std::optional<double> LeadingNumber(std::string_view line) {
  const std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos) return std::nullopt;
  const char* first = line.data() + start;
  const char* const last = line.data() + line.size();
  const char* digits = first + (*first == '+' || *first == '-');
  // from_chars would also take "inf" and "nan", which are no numbers here.
  if (digits == last || !((*digits >= '0' && *digits <= '9') || *digits == '.'))
    return std::nullopt;
  if (*first == '+') first = digits;
  double value = 0.0;
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

ProtectorCatalogue ParseProtectorCatalogue(std::string_view text, const std::string& fileName) {
  const std::vector<std::string_view> lines = SplitLines(text);
  ProtectorCatalogue catalogue;
  // Blank lines at the end of the file start no record.
  std::size_t end = lines.size();
  while (end > kHeaderLines && lines[end - 1].empty()) --end;
  int index = 0;
  for (std::size_t first = kHeaderLines; first < end; first += kLinesPerRecord, ++index) {
    const int lineNumber = static_cast<int>(first) + 1;
    if (index >= kMaxProtectorRecords) {
      catalogue.Messages.push_back(Where(fileName, lineNumber) +
                                   ": the catalogue holds more than " +
                                   std::to_string(kMaxProtectorRecords) +
                                   " records; this record and the ones after it are ignored.");
      break;
    }
    std::string problem;
    std::optional<TProtectorEntry> entry = ParseFrequencyLine(lines[first], problem);
    if (entry && first + kLinesPerRecord > lines.size())
      problem = "the record has fewer than four lines (the catalogue ends early)";
    if (!problem.empty()) {
      catalogue.Messages.push_back(Where(fileName, lineNumber) + ": " + problem + "; record " +
                                   std::to_string(index) + " is skipped.");
      continue;
    }
    entry->Index = index;
    entry->FirstLine = lineNumber;
    catalogue.Entries.push_back(std::move(*entry));
  }
  return catalogue;
}

ProtectorCatalogue LoadProtectorCatalogue(const fs::path& file) {
  return ParseProtectorCatalogue(ReadWholeFile(file, "protector catalogue"),
                                 file.filename().string());
}

ProtectorRecordData ReadProtectorRecord(std::string_view text, const TProtectorEntry& entry,
                                        const std::string& fileName) {
  const std::vector<std::string_view> lines = SplitLines(text);
  const std::size_t first = kHeaderLines + static_cast<std::size_t>(entry.Index) * kLinesPerRecord;
  const int count = entry.LastFrequencyIndex + 1;
  const int lineNumber = static_cast<int>(first) + 1;

  // The frequency line holds the name in its first field, as the label lines do.
  const std::vector<float> kHz =
      ReadNumberLine(RecordLine(lines, first, fileName), count, lineNumber, fileName, "frequency");
  const std::vector<float> mean = ReadNumberLine(RecordLine(lines, first + 1, fileName), count,
                                                 lineNumber + 1, fileName, "mean attenuation");
  const std::vector<float> spread = ReadNumberLine(RecordLine(lines, first + 2, fileName), count,
                                                   lineNumber + 2, fileName, "spread");
  ProtectorRecordData data;
  data.LastFrequencyIndex = entry.LastFrequencyIndex;
  for (int i = 0; i < count; ++i)
    data.AttenuationTable.push_back({kHz[i] * 1000.0f, mean[i], spread[i]});

  FieldReader circuit(RecordLine(lines, first + 3, fileName));
  circuit.Next();
  const std::optional<float> firstValue = circuit.NextNumber();
  if (!firstValue || *firstValue == 0.0f) return data;
  TCircuitValues values;
  const auto fields = StoredFields(values);
  *fields[0] = *firstValue;
  for (int i = 1; i < kStoredCircuitValues; ++i) {
    const std::optional<float> value = circuit.NextNumber();
    if (!value)
      throw OrvekError(Where(fileName, lineNumber + 3) + ": circuit value " +
                       std::to_string(i + 1) + " of " + std::to_string(kStoredCircuitValues) +
                       " is missing or not a number (set the first value to 0 to fit anew).");
    *fields[i] = *value;
  }
  DeriveCircuitValues(values);
  data.Circuit = values;
  return data;
}

std::string ComposeCircuitLine(const TCircuitValues& values) {
  TCircuitValues copy = values;
  std::string line = "\t";
  for (const float* value : StoredFields(copy)) {
    char buffer[32];
    char* const end =
        std::to_chars(buffer, buffer + sizeof buffer, *value, std::chars_format::scientific).ptr;
    std::replace(buffer, end, 'e', 'E');
    const auto width = static_cast<std::size_t>(end - buffer);
    if (width < 12) line.append(12 - width, ' ');
    line.append(buffer, end);
    line += '\t';
  }
  return line + "Electro-acoustic Circuit Values";
}

std::string ReplaceCircuitLine(std::string_view text, int recordIndex,
                               const std::string& circuitLine, const std::string& fileName) {
  const std::vector<std::string_view> lines = SplitLines(text);
  const std::size_t target =
      kHeaderLines + static_cast<std::size_t>(recordIndex) * kLinesPerRecord + 3;
  if (recordIndex < 0 || target >= lines.size())
    throw OrvekError("Protector catalogue \"" + fileName + "\" has no circuit line for record " +
                     std::to_string(recordIndex) + ".");
  std::string result;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    result += i == target ? std::string_view(circuitLine) : lines[i];
    result += "\r\n";
  }
  return result;
}

void StoreCircuitValues(const fs::path& catalogueFile, int recordIndex,
                        const TCircuitValues& values, const ReadFiles& reads) {
  const std::string fileName = catalogueFile.filename().string();
  const std::string text = ReplaceCircuitLine(ReadWholeFile(catalogueFile, "protector catalogue"),
                                              recordIndex, ComposeCircuitLine(values), fileName);
  if (const std::optional<std::string> error = WriteFileReplacing(catalogueFile, text, reads))
    throw OrvekError("Cannot store the fitted circuit values in " + Quoted(catalogueFile) + ": " +
                     *error + "; the catalogue is unchanged.");
}

TCircuitValues LoadCircuitValues(const fs::path& file) {
  const std::string text = ReadWholeFile(file, "seed file");
  const std::vector<std::string_view> lines = SplitLines(text);
  const std::string where = "Seed file " + Quoted(file) + ", line ";
  static constexpr const char* kNames[kSeedValues] = {"Ccush", "Rcush", "Cskin", "Rskin", "Lleak",
                                                      "Rleak", "Lcup",  "Ccup",  "Rmat",  "Lmat",
                                                      "Cmat",  "Rmat2", "Lmat2", "Cmat2"};
  std::array<double, kSeedValues> seed{};
  for (int i = 0; i < kSeedValues; ++i) {
    const std::optional<double> value =
        i < static_cast<int>(lines.size()) ? LeadingNumber(lines[i]) : std::nullopt;
    if (!value)
      throw OrvekError(where + std::to_string(i + 1) + ": the line must start with the value of " +
                       kNames[i] + " (14 lines, one number at the start of each).");
    const bool compliance = kNames[i][0] == 'C';
    if (compliance && !(*value > 0.0))
      throw OrvekError(where + std::to_string(i + 1) + ": the compliance " + kNames[i] +
                       " must be positive (cm^5/dyn).");
    seed[i] = compliance ? 1.0 / *value : *value;
    if (!std::isfinite(static_cast<float>(seed[i])))
      throw OrvekError(where + std::to_string(i + 1) + ": " + kNames[i] +
                       " is beyond the single-precision range" +
                       (compliance ? " as a stiffness (1/C)." : "."));
  }
  TCircuitValues c;
  std::array<float*, kSeedValues> fields = {&c.Kcush, &c.Rcush, &c.Kskin, &c.Rskin, &c.Lleak,
                                            &c.Rleak, &c.Lcup,  &c.Kcup,  &c.Rmat,  &c.Lmat,
                                            &c.Kmat,  &c.Rmat2, &c.Lmat2, &c.Kmat2};
  for (int i = 0; i < kSeedValues; ++i) *fields[i] = static_cast<float>(seed[i]);
  DeriveCircuitValues(c);
  return c;
}

}  // namespace orvek

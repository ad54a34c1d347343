#include "protection/ProtectorCatalogue.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/DecimalNumber.h"
#include "base/ErrorText.h"
#include "base/FileNames.h"
#include "base/OrvekError.h"
#include "protection/ProtectedWaveform.h"
#include "protection/ProtectorCircuit.h"

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

// A float as it reads back ("1e+38", "0.06").
std::string Shortest(float value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// A fault in lines 2 to 4 of a record: the line (1-based) and what is wrong with it.
struct RecordFault {
  int Line = 0;
  std::string Problem;
};

// What a measured or modelled attenuation can be (dB, negative where the protector attenuates):
// sound reaches the inner ear by bone conduction around any protector, which bounds real-ear
// attenuation at about 40-60 dB (Berger, Kieper & Gauger 2003); 70 dB leaves room for a
// measurement's scatter. A protector may let a resonance or a hear-through circuit raise the
// level a little, never by 20 dB. A spread is a standard deviation of such values.
constexpr double kDeepestAttenuationDb = -70.0, kHighestGainDb = 20.0, kWidestSpreadDb = 30.0;

std::string Decibels(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%+.4g dB", value);
  return text;
}

const std::string kAttenuationRange =
    Decibels(kDeepestAttenuationDb) + " to " + Decibels(kHighestGainDb);

// Line `lineIndex` (0-based) of the catalogue, or a fault naming the record that ends early.
std::string_view RecordLine(const std::vector<std::string_view>& lines, std::size_t lineIndex) {
  if (lineIndex >= lines.size())
    throw RecordFault{static_cast<int>(lineIndex) + 1,
                      "the catalogue ends inside the protector's record (records have four "
                      "lines)"};
  return lines[lineIndex];
}

// The label field, then `count` numbers.
std::vector<float> ReadNumberLine(std::string_view line, int count, int lineNumber,
                                  const char* what) {
  FieldReader fields(line);
  fields.Next();
  std::vector<float> values;
  for (int i = 0; i < count; ++i) {
    const std::optional<float> value = fields.NextNumber();
    if (!value)
      throw RecordFault{lineNumber,
                        std::string(what) + " " + std::to_string(i + 1) + " of " +
                            std::to_string(count) +
                            " is missing or not a number (one value per frequency, after a "
                            "label)"};
    values.push_back(*value);
  }
  return values;
}

// The stored circuit values in the order of the catalogue's circuit line, with their names and
// what each may be: masses and stiffnesses positive (the network divides by the masses, and a
// spring cannot push), resistances and the level coefficients of the leak not negative (they take
// energy out), the reserved values anything.
enum class CircuitRule { Positive, NotNegative, Any };
struct StoredField {
  float TCircuitValues::*Member;
  const char* Name;
  CircuitRule Rule;
};
constexpr std::array<StoredField, kStoredCircuitValues> kStoredFields = {{
    {&TCircuitValues::Lcup, "Lcup", CircuitRule::Positive},
    {&TCircuitValues::Kcup, "Kcup", CircuitRule::Positive},
    {&TCircuitValues::Kskin, "Kskin", CircuitRule::Positive},
    {&TCircuitValues::Rskin, "Rskin", CircuitRule::NotNegative},
    {&TCircuitValues::Kcush, "Kcush", CircuitRule::Positive},
    {&TCircuitValues::Rcush, "Rcush", CircuitRule::NotNegative},
    {&TCircuitValues::Lleak, "Lleak", CircuitRule::Positive},
    {&TCircuitValues::Rleak, "Rleak", CircuitRule::NotNegative},
    {&TCircuitValues::Kmat, "Kmat", CircuitRule::Positive},
    {&TCircuitValues::Lmat, "Lmat", CircuitRule::Positive},
    {&TCircuitValues::Rmat, "Rmat", CircuitRule::NotNegative},
    {&TCircuitValues::ReservedValue1, "ReservedValue1", CircuitRule::Any},
    {&TCircuitValues::ReservedValue2, "ReservedValue2", CircuitRule::Any},
    {&TCircuitValues::LleakLevelCoefficient, "LleakLevelCoefficient", CircuitRule::NotNegative},
    {&TCircuitValues::RleakLevelCoefficient, "RleakLevelCoefficient", CircuitRule::NotNegative},
}};

// The circuit line's values (its first value given), checked one by one and then as a whole: the
// insertion loss they give at each of the record's frequencies must be one a protector can have.
TCircuitValues ReadCircuit(FieldReader& circuit, float firstValue, int lineNumber,
                           const TProtectorEntry& entry, const std::vector<float>& kHz) {
  const auto fault = [lineNumber](const std::string& problem) {
    return RecordFault{lineNumber, problem + " (set the first value to 0 to fit anew)"};
  };
  TCircuitValues values;
  values.*kStoredFields[0].Member = firstValue;
  for (int i = 1; i < kStoredCircuitValues; ++i) {
    const std::optional<float> value = circuit.NextNumber();
    if (!value)
      throw fault("circuit value " + std::to_string(i + 1) + " of " +
                  std::to_string(kStoredCircuitValues) + " is missing or not a number");
    values.*kStoredFields[i].Member = *value;
  }
  if (circuit.NextNumber())
    throw fault("the circuit line holds more than " + std::to_string(kStoredCircuitValues) +
                " numbers, where its values end in a label");
  for (int i = 0; i < kStoredCircuitValues; ++i) {
    const StoredField& field = kStoredFields[i];
    const float value = values.*field.Member;
    if ((field.Rule == CircuitRule::Positive && !(value > 0.0f)) ||
        (field.Rule == CircuitRule::NotNegative && !(value >= 0.0f)))
      throw fault("circuit value " + std::to_string(i + 1) + " (" + field.Name + ") is " +
                  Shortest(value) + ", but must be " +
                  (field.Rule == CircuitRule::Positive ? "more than 0" : "at least 0"));
  }
  if (!(double{values.Rskin} + values.Rcush > 0.0))
    throw fault("Rskin and Rcush are both 0, but the network divides by their sum");
  DeriveCircuitValues(values);
  const ProtectorForm form = ProtectorFormOf(ProtectorKindOf(entry));
  for (const float frequency : kHz) {
    const double level = ProtectorLevelDb(values, form, 1000.0 * frequency);
    if (!(level >= kDeepestAttenuationDb && level <= kHighestGainDb))
      throw fault("the circuit gives an insertion loss of " + Decibels(level) + " at " +
                  Shortest(1000.0f * frequency) + " Hz, where a protector's lies within " +
                  kAttenuationRange);
  }
  return values;
}

// Lines 2 to 4 of `entry`'s record (its frequencies are read again from line 1), checked as they
// are read. Throws RecordFault.
ProtectorRecordData ReadRecord(const std::vector<std::string_view>& lines,
                               const TProtectorEntry& entry) {
  const std::size_t first = kHeaderLines + static_cast<std::size_t>(entry.Index) * kLinesPerRecord;
  const int count = entry.LastFrequencyIndex + 1;
  const int lineNumber = static_cast<int>(first) + 1;

  // The frequency line holds the name in its first field, as the label lines do.
  const std::vector<float> kHz =
      ReadNumberLine(RecordLine(lines, first), count, lineNumber, "frequency");
  const std::vector<float> mean =
      ReadNumberLine(RecordLine(lines, first + 1), count, lineNumber + 1, "mean attenuation");
  const std::vector<float> spread =
      ReadNumberLine(RecordLine(lines, first + 2), count, lineNumber + 2, "spread");
  ProtectorRecordData data;
  data.LastFrequencyIndex = entry.LastFrequencyIndex;
  for (int i = 0; i < count; ++i) {
    const std::string which = std::to_string(i + 1) + " of " + std::to_string(count);
    if (!(mean[i] >= kDeepestAttenuationDb && mean[i] <= kHighestGainDb))
      throw RecordFault{lineNumber + 1,
                        "mean attenuation " + which + " is " + Decibels(mean[i]) + ", outside " +
                            kAttenuationRange +
                            " (bone conduction bounds any protector's attenuation at about "
                            "40-60 dB, and none amplifies by 20 dB)"};
    if (!(spread[i] >= 0.0f && spread[i] <= kWidestSpreadDb))
      throw RecordFault{lineNumber + 2, "spread " + which + " is " + Decibels(spread[i]) +
                                            ", outside 0 to 30 dB (a standard deviation of "
                                            "attenuations)"};
    data.AttenuationTable.push_back({kHz[i] * 1000.0f, mean[i], spread[i]});
  }

  FieldReader circuit(RecordLine(lines, first + 3));
  circuit.Next();
  const std::optional<float> firstValue = circuit.NextNumber();
  if (!firstValue || *firstValue == 0.0f) return data;
  data.Circuit = ReadCircuit(circuit, *firstValue, lineNumber + 3, entry, kHz);
  return data;
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
    int problemLine = lineNumber;
    std::optional<TProtectorEntry> entry = ParseFrequencyLine(lines[first], problem);
    if (entry && first + kLinesPerRecord > lines.size())
      problem = "the record has fewer than four lines (the catalogue ends early)";
    if (problem.empty()) {
      entry->Index = index;
      entry->FirstLine = lineNumber;
      try {
        ReadRecord(lines, *entry);  // a record that would be refused when chosen is not listed
      } catch (const RecordFault& fault) {
        problemLine = fault.Line;
        problem = fault.Problem;
      }
    }
    if (!problem.empty()) {
      catalogue.Messages.push_back(Where(fileName, problemLine) + ": " + problem + "; record " +
                                   std::to_string(index) + " is skipped.");
      continue;
    }
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
  try {
    return ReadRecord(SplitLines(text), entry);
  } catch (const RecordFault& fault) {
    throw OrvekError(Where(fileName, fault.Line) + ": " + fault.Problem + ".");
  }
}

std::string ComposeCircuitLine(const TCircuitValues& values) {
  std::string line = "\t";
  for (const StoredField& field : kStoredFields) {
    char buffer[32];
    char* const end = std::to_chars(buffer, buffer + sizeof buffer, values.*field.Member,
                                    std::chars_format::scientific)
                          .ptr;
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

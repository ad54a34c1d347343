#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/FileNames.h"
#include "protection/CircuitValues.h"

namespace orvek {

// Most frequencies a record may hold and most records a catalogue may hold: the fixed layouts of
// the entry string (two digits) and of the menu tags.
inline constexpr int kMaxProtectorFrequencies = 51;
inline constexpr int kMaxProtectorRecords = 1001;

// Where a protector is listed under "POWER USER MODE", chosen by its kind code.
enum class PowerUserPlace {
  None,                  // unknown or empty kind code: no item
  PlugLevelIndependent,  // "P":  PLUG > LEVEL INDEPENDENT
  PlugLevelDependent,    // "N":  PLUG > LEVEL DEPENDENT
  MuffLevelIndependent,  // "M":  MUFF > LEVEL INDEPENDENT
  MuffLevelDependent,    // "Q":  MUFF > LEVEL DEPENDENT
  PlugPlusMuff,          // "D":  PLUG + MUFF
  OtherPlug,             // "OP": OTHER > PLUG
  OtherMuff,             // "OM": OTHER > MUFF
  OtherPlugPlusMuff,     // "OD": OTHER > PLUG + MUFF
};

// One catalogue record as the menus need it.
struct TProtectorEntry {
  int Index = 0;  // position of the record in the file, first record 0 (the menu items' tag)
  // Characters 1-2 the last frequency index ("08"), 3-6 the menu code padded with blanks, 7 the
  // spare code, 8-9 the kind code padded or cut to two characters, 10 on the name.
  std::string EntryString;
  std::string Name;  // upper-cased, with " * - . / : < > ? \ | replaced by _
  int LastFrequencyIndex = 0;
  std::string KindCode;  // two characters
  bool InDefaultMode = false;
  std::string PowerUserCaption;
  PowerUserPlace Place = PowerUserPlace::None;
  int FirstLine = 0;  // 1-based line of the record's frequency line in the file
};

struct ProtectorCatalogue {
  std::vector<TProtectorEntry> Entries;  // well-formed records in file order
  std::vector<std::string> Messages;     // one per skipped record, naming the file and line
};

// Reads the menu description from the text of a catalogue (4 header lines, then records of four
// lines). Malformed records are skipped with a message; `fileName` only names the file in them.
ProtectorCatalogue ParseProtectorCatalogue(std::string_view text, const std::string& fileName);
// The same from a file; throws OrvekError when it cannot be read.
ProtectorCatalogue LoadProtectorCatalogue(const std::filesystem::path& file);

// One row of the attenuation table: attenuation is a level change, negative where it protects.
struct AttenuationRow {
  float FrequencyHz = 0;
  float MeanDb = 0;
  float SpreadDb = 0;  // standard deviation
};

// Lines 2-4 of a selected record.
struct ProtectorRecordData {
  std::vector<AttenuationRow> AttenuationTable;  // LastFrequencyIndex + 1 rows
  int LastFrequencyIndex = 0;
  // The circuit values with their derived ones, when the record has been fitted (first circuit
  // value not 0, empty or text). The second material branch is not stored and stays 0.
  std::optional<TCircuitValues> Circuit;
};

// Reads the attenuation table and circuit line of `entry`'s record from the catalogue text.
// Throws OrvekError naming the file and line when the record no longer matches its entry (fewer
// lines, or fewer numbers than frequencies, or an incomplete circuit line).
ProtectorRecordData ReadProtectorRecord(std::string_view text, const TProtectorEntry& entry,
                                        const std::string& fileName);

// The circuit line as written after a fit: a tab, the fifteen stored values (Lcup, Kcup, Kskin,
// Rskin, Kcush, Rcush, Lleak, Rleak, Kmat, Lmat, Rmat, ReservedValue1, ReservedValue2,
// LleakLevelCoefficient, RleakLevelCoefficient) each right-aligned in 12 characters in
// scientific notation with the fewest digits that read back to the same float, each followed by
// a tab, then "Electro-acoustic Circuit Values". No line end.
std::string ComposeCircuitLine(const TCircuitValues& values);

// The catalogue text with line 4 of record `recordIndex` replaced by `circuitLine`; every line is
// ended by CR LF. Throws OrvekError when the record has no circuit line.
std::string ReplaceCircuitLine(std::string_view text, int recordIndex,
                               const std::string& circuitLine, const std::string& fileName);

// Stores fitted values in the catalogue file: reads it, replaces the record's circuit line and
// writes the result through WriteFileReplacing, so a failure leaves the catalogue as it was.
// Throws OrvekError on failure.
void StoreCircuitValues(const std::filesystem::path& catalogueFile, int recordIndex,
                        const TCircuitValues& values, const ReadFiles& reads);

// Reads a seed file: 14 lines, each starting with a number (the rest of the line is a comment),
// in the order Ccush, Rcush, Cskin, Rskin, Lleak, Rleak, Lcup, Ccup, Rmat, Lmat, Cmat, Rmat2,
// Lmat2, Cmat2. Compliances (cm^5/dyn) must be positive and become stiffnesses; the derived
// values are computed. Throws OrvekError naming the file and line.
TCircuitValues LoadCircuitValues(const std::filesystem::path& file);

}  // namespace orvek

#include "protection/ProtectorCatalogue.h"

#include <gmock/gmock.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "ErrorMessage.h"
#include "TempFolder.h"
#include "protection/ProtectorFit.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;
using Place = PowerUserPlace;

const std::string kHeader = "h1\r\nh2\r\nh3\r\nh4\r\n";
// Lines 2 to 4 of an unfitted record of up to 51 frequencies (values beyond its count unread).
const std::string kBody = [] {
  std::string mean = "Mean", spread = "SD";
  for (int i = 0; i < kMaxProtectorFrequencies; ++i) mean += "\t-10", spread += "\t2";
  return mean + "\r\n" + spread + "\r\nCircuit\t0\r\n";
}();

// A catalogue of records given by their first lines, each followed by kBody.
std::string Catalogue(const std::vector<std::string>& firstLines) {
  std::string text = kHeader;
  for (const auto& line : firstLines) text += line + "\r\n" + kBody;
  return text;
}

TEST(ProtectorCatalogue, FirstLineGivesEntryAndMenuPlaces) {
  // First line, entry string, in default mode, power-user caption, place.
  const std::tuple<const char*, const char*, bool, const char*, Place> cases[] = {
      {"ab\t1\t2\t\tP\tx\tM", "01P   XM AB", false, "AB", Place::MuffLevelIndependent},
      {"ab\t1\t\tPD\t1\tN", "00PD  1N AB", false, "AB: D  ", Place::PlugLevelDependent},
      {"ab\t1\t\tDD\t1\tD", "00DD  1D AB", true, "AB: D  ", Place::PlugPlusMuff},
      // Characters are skipped up to the first D or P, the menu code starts there.
      {"ab\t1\t\txyz-pd7\t1\tom", "00PD7 1OMAB", false, "AB: D7 ", Place::OtherMuff},
      {"ab\t1\tend\tD\tx\topx", "00D   XOPAB", true, "AB", Place::OtherPlug},
      {"ab\t1\t\tD\tx", "00D   X  AB", true, "AB", Place::None},
      {"a\"*-./:<>?\\|b c\t1\t\tD\tx\tP", "00D   XP A___________B C", true, "A___________B C",
       Place::PlugLevelIndependent}};
  for (const auto& [line, entryString, inDefaultMode, caption, place] : cases) {
    const ProtectorCatalogue catalogue = ParseProtectorCatalogue(Catalogue({line}), "t.txt");
    ASSERT_EQ(catalogue.Entries.size(), 1u) << line;
    const TProtectorEntry& e = catalogue.Entries[0];
    EXPECT_EQ(std::tie(e.FirstLine, e.EntryString, e.InDefaultMode, e.PowerUserCaption, e.Place),
              std::tuple(5, entryString, inDefaultMode, caption, place));
  }
}

TEST(ProtectorCatalogue, MalformedRecordsAreSkippedAndNamed) {
  std::string tooMany = "many";
  for (int i = 1; i <= 52; ++i) tooMany += "\t" + std::to_string(i);
  const std::pair<std::string, const char*> cases[] = {
      {"", "first line of the record is empty"},
      {"\t1\t\tD\tx\tP", "no protector name"},
      {"ab\t1\t\tx\ty\tz", "no menu code"},
      {"ab\t1\t2", "no menu code"},
      {tooMany + "\t\tD\tx\tP", "more than 51 frequencies"},
      {"ab\t\tD\tx\tP", "no frequencies"},
      {"ab\t2\t1\t\tD\tx\tP", "ascending"},
      {"ab\t1\t1e36\t\tD\tx\tP", "frequency 2 is too large"},
      {"ab\t1\t\tDXXXX\tx\tP", "longer than four characters"},
      {"ab\t1\t\tD\txy\tP", "exactly one character"},
      {"ab\t1\t\tD", "exactly one character"}};
  for (const auto& [line, problem] : cases) {
    // The record after the faulty one keeps its place in the file.
    const ProtectorCatalogue catalogue =
        ParseProtectorCatalogue(Catalogue({line, "ok\t1\t\tD\tx\tP"}), "HPD Atten.txt");
    ASSERT_EQ(catalogue.Messages.size(), 1u) << line;
    const std::string& said = catalogue.Messages[0];
    EXPECT_TRUE(said.find("\"HPD Atten.txt\", line 5") != std::string::npos &&
                said.find(problem) != std::string::npos)
        << said;
    ASSERT_EQ(catalogue.Entries.size(), 1u) << line;
    EXPECT_EQ(std::tie(catalogue.Entries[0].Index, catalogue.Entries[0].FirstLine),
              std::tuple(1, 9));
  }
}

TEST(ProtectorCatalogue, FileEndsAndRecordLimit) {
  const std::string record = "ab\t1\t\tD\tx\tP";
  // Trailing line ends are no record; a short last record is.
  EXPECT_EQ(ParseProtectorCatalogue(Catalogue({record}) + "\r\n\r\n", "t").Messages.size(), 0u);
  EXPECT_EQ(ParseProtectorCatalogue(kHeader, "t").Entries.size(), 0u);
  const ProtectorCatalogue shortRecord =
      ParseProtectorCatalogue(Catalogue({record}) + record + "\nMean\t-1\n", "t");
  EXPECT_EQ(shortRecord.Entries.size(), 1u);
  ASSERT_EQ(shortRecord.Messages.size(), 1u);
  EXPECT_THAT(shortRecord.Messages[0],
              ::testing::HasSubstr("line 9: the record has fewer than four lines"));

  const ProtectorCatalogue big = ParseProtectorCatalogue(
      Catalogue(std::vector<std::string>(kMaxProtectorRecords + 5, record)), "t");
  EXPECT_EQ(big.Entries.size(), static_cast<std::size_t>(kMaxProtectorRecords));
  EXPECT_EQ(big.Entries.back().Index, kMaxProtectorRecords - 1);
  ASSERT_EQ(big.Messages.size(), 1u);
  EXPECT_THAT(big.Messages[0],
              ::testing::HasSubstr("line " + std::to_string(5 + 4 * kMaxProtectorRecords)));
}

TEST(ProtectorCatalogue, ReadsAttenuationTableAndCircuitLine) {
  const std::string first = "Muff\t0.5\t1\t4\t\tD\tx\tM";
  const std::string table = "Mean (dB)\t-20\t-30.5\t-35\r\nSD (dB)\t2\t2.5\t3\r\n";
  const ProtectorCatalogue catalogue =
      ParseProtectorCatalogue(kHeader + first + "\r\n" + table + "C\t0\r\n", "t");
  ASSERT_EQ(catalogue.Entries.size(), 1u);
  const TProtectorEntry& entry = catalogue.Entries[0];
  const std::pair<const char*, bool> circuitLines[] = {
      {"C\t0", false},
      {"", false},
      {"C\tnone\t1", false},
      // The shipped default earmuff, then reserved values and leak coefficients.
      {"\t 0.06\t1e6\t3.33e5\t283\t3.33e5\t283\t28.1\t10600\t3.06e7\t0.032\t1007\t12\t13\t14\t15"
       "\tElectro-acoustic Circuit Values",
       true}};
  for (const auto& [circuitLine, fitted] : circuitLines) {
    const std::string text = kHeader + first + "\r\n" + table + circuitLine + "\r\n";
    const ProtectorRecordData data = ReadProtectorRecord(text, entry, "t");
    ASSERT_EQ(data.AttenuationTable.size(), 3u);
    const AttenuationRow& row = data.AttenuationTable[1];
    EXPECT_EQ(std::tie(row.FrequencyHz, row.MeanDb, row.SpreadDb),
              std::tuple(1000.0f, -30.5f, 2.5f));
    ASSERT_EQ(data.Circuit.has_value(), fitted) << circuitLine;
    if (!fitted) continue;
    EXPECT_EQ(std::tie(data.Circuit->Lcup, data.Circuit->Kcup, data.Circuit->RleakLevelCoefficient),
              std::tuple(0.06f, 1e6f, 15.0f));
  }
}

TEST(ProtectorCatalogue, FaultyRecordDataIsReportedWithItsLine) {
  const std::string first = "Muff\t0.5\t1\t\tD\tx\tM\r\n";
  const TProtectorEntry entry = ParseProtectorCatalogue(kHeader + first + kBody, "t").Entries.at(0);
  const std::pair<std::string, const char*> cases[] = {
      {"M\t-1\r\nS\t1\t1\r\nC\t0\r\n", "line 6: mean attenuation 2 of 2"},
      {"M\t-1\t-2\r\nS\t1\tx\r\nC\t0\r\n", "line 7: spread 2 of 2"},
      {"M\t-1\t-2\r\nS\t1\t1\r\nC\t1\t2\t3\r\n", "line 8: circuit value 4 of 15"},
      {"M\t-1\t-2\r\nS\t1\t1\r\n", "line 8: the catalogue ends"}};
  for (const auto& [rest, expected] : cases) {
    const std::string text = kHeader + first + rest;
    const std::string message = MessageOf([&] { ReadProtectorRecord(text, entry, "t"); });
    EXPECT_THAT(message, ::testing::HasSubstr(expected));
  }
}

// Data no protector can have: the record is skipped at load (the others keep their index) and
// refused when read for a prediction, naming the line.
TEST(ProtectorCatalogue, ImpossibleRecordDataIsRefusedByLine) {
  const std::string first = "Muff\t0.5\t1\t\tD\tx\tM\r\n", table = "M\t-20\t-30\r\nS\t2\t3\r\n";
  const auto circuit = [](const std::string& values) { return "C\t" + values + "\tlabel\r\n"; };
  // The shipped default earmuff with one value replaced.
  const auto muffWith = [](const std::string& kcup, const std::string& rleak) {
    return "0.06\t" + kcup + "\t3.33e5\t283\t3.33e5\t283\t28.1\t" + rleak +
           "\t3.06e7\t0.032\t1007\t0\t0\t0\t0";
  };
  std::string ones = "1", huge = "1e38";
  for (int i = 1; i < 15; ++i) ones += "\t1", huge += "\t1e38";
  const std::pair<std::string, const char*> cases[] = {
      {table + circuit(ones + "\t1"), "line 8: the circuit line holds more than 15 numbers"},
      {table + circuit(ones), "line 8: the circuit gives an insertion loss of -1"},
      {table + circuit(huge), "line 8: the circuit gives an insertion loss of"},
      {table + circuit(muffWith("0", "10600")),
       "line 8: circuit value 2 (Kcup) is 0, but must be more than 0"},
      {table + circuit(muffWith("1e6", "-1")),
       "line 8: circuit value 8 (Rleak) is -1, but must be at least 0"},
      {"M\t-20\t40\r\nS\t2\t3\r\nC\t0\r\n",
       "line 6: mean attenuation 2 of 2 is +40 dB, outside -70 dB to +20 dB"},
      {"M\t-1e30\t-30\r\nS\t2\t3\r\nC\t0\r\n", "line 6: mean attenuation 1 of 2 is -1e+30 dB"},
      {"M\t-20\t-30\r\nS\t-3\t3\r\nC\t0\r\n",
       "line 7: spread 1 of 2 is -3 dB, outside 0 to 30 dB"}};
  const TProtectorEntry entry = ParseProtectorCatalogue(kHeader + first + kBody, "t").Entries.at(0);
  for (const auto& [rest, said] : cases) {
    SCOPED_TRACE(said);
    const ProtectorCatalogue catalogue =
        ParseProtectorCatalogue(kHeader + first + rest + "Next\t1\t\tD\tx\tM\r\n" + kBody, "t");
    ASSERT_EQ(catalogue.Messages.size(), 1u);
    const std::string& skipped = catalogue.Messages[0];
    EXPECT_TRUE(skipped.starts_with("Protector catalogue \"t\", " + std::string(said)) &&
                skipped.ends_with("; record 0 is skipped."))
        << skipped;
    EXPECT_TRUE(catalogue.Entries.size() == 1 && catalogue.Entries[0].Index == 1);
    const std::string message =
        MessageOf([&] { ReadProtectorRecord(kHeader + first + rest, entry, "HPD Atten.txt"); });
    EXPECT_THAT(message, ::testing::HasSubstr(said));
  }
}

TEST(ProtectorCatalogue, CircuitLineRoundTrip) {
  TCircuitValues values;
  values.Lcup = 0.06f, values.Kcup = 1.0e6f, values.Kskin = 333521.4f, values.Rskin = 282.86f;
  values.Kcush = 3.3352e5f, values.Rcush = 1.0f / 3.0f, values.Lleak = 28.145f;
  values.Rleak = 10610.0f, values.Kmat = 3.0622777e7f, values.Lmat = 1.0e-30f;
  values.Rmat = 1006.6f, values.ReservedValue1 = 0.0f, values.ReservedValue2 = 7.0f;
  values.LleakLevelCoefficient = 1.5e-9f, values.RleakLevelCoefficient = 3.4e38f;
  const std::string line = ComposeCircuitLine(values);
  EXPECT_EQ(line.substr(0, 13), "\t" + std::string(7, ' ') + "6E-02");

  const std::string original = Catalogue({"A\t1\t\tD\tx\tP", "B\t1\t2\t\tD\tx\tM"});
  const std::string replaced = ReplaceCircuitLine(original, 1, line, "t");
  EXPECT_EQ(replaced, original.substr(0, original.rfind("Circuit\t0")) + line + "\r\n");
  const TProtectorEntry b = ParseProtectorCatalogue(replaced, "t").Entries.at(1);
  const auto read = ReadProtectorRecord(replaced, b, "t").Circuit;
  ASSERT_TRUE(read.has_value());
  DeriveCircuitValues(values);
  // Every value, the derived ones included, comes back bit for bit.
  EXPECT_EQ(std::memcmp(&*read, &values, sizeof values), 0);
  EXPECT_THAT(MessageOf([&] { ReplaceCircuitLine(original, 2, line, "t"); }),
              ::testing::HasSubstr("record 2"));
}

TEST(ProtectorCatalogue, StoreCircuitValuesRewritesOnlyTheRecord) {
  const test::TempFolder folder;
  const std::string original = Catalogue({"A\t1\t\tD\tx\tP", "B\t1\t\tD\tx\tM"});
  const fs::path file = folder.Write("HPD Atten.txt", original);
  TCircuitValues values;
  values.Lcup = 0.5f;
  StoreCircuitValues(file, 0, values, {});
  const std::string text = test::TempFolder::Read(file);
  EXPECT_EQ(text, ReplaceCircuitLine(original, 0, ComposeCircuitLine(values), "t"));
  EXPECT_THAT(MessageOf([&] { StoreCircuitValues(folder.Path() / "none.txt", 0, values, {}); }),
              ::testing::HasSubstr("Cannot open"));
}

TEST(ProtectorCatalogue, FaultySeedFilesNameTheLine) {
  const test::TempFolder folder;
  std::string good;
  for (int i = 1; i <= 14; ++i)
    good += " " + std::to_string(i) + "e-3 value " + std::to_string(i) + "\r\n";
  const TCircuitValues c = LoadCircuitValues(folder.Write("good.txt", good));
  EXPECT_FLOAT_EQ(c.Kcush, 1000.0f);      // line 1, Ccush 1e-3
  EXPECT_FLOAT_EQ(c.Kcup, 1.0f / 8e-3f);  // line 8, Ccup
  EXPECT_FLOAT_EQ(c.Lmat2, 13e-3f);
  const std::pair<std::string, const char*> cases[] = {
      {good.substr(0, good.find(" 14e-3")), "line 14: the line must start with the value of Cmat2"},
      {"x\r\n" + good, "line 1: the line must start with the value of Ccush"},
      {"inf\r\n" + good, "line 1:"},
      {"0 Ccush\r\n" + good.substr(good.find('\n') + 1),
       "line 1: the compliance Ccush must be positive"},
      {good.substr(0, good.find(" 11e-3")) + "1e-45\r\n" + good.substr(good.find(" 12e-3")),
       "line 11: Cmat is beyond the single-precision range"}};
  for (const auto& [text, expected] : cases) {
    const std::string message =
        MessageOf([&] { LoadCircuitValues(folder.Write("bad.txt", text)); });
    EXPECT_THAT(message, ::testing::HasSubstr(expected));
  }
}

}  // namespace
}  // namespace orvek

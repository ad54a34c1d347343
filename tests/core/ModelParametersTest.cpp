#include "model/ModelParameters.h"

#include <gmock/gmock.h>

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "ErrorMessage.h"
#include "TempFolder.h"
#include "base/OrvekError.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;

const fs::path kShipped = fs::path(ORVEK_DATA_DIR) / "HUMANEAR.PRM";

std::vector<std::string> ShippedLines() {
  std::ifstream in(kShipped, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// All the numbers of two records, file values and derived ones: every member ahead of Source.
bool SameNumbers(const TModelParameters& a, const TModelParameters& b) {
  const auto size = reinterpret_cast<const char*>(&a.Source) - reinterpret_cast<const char*>(&a);
  return std::memcmp(&a, &b, size) == 0;
}

class ModelParametersTest : public ::testing::Test {
 protected:
  fs::path Write(const std::string& name, const std::vector<std::string>& lines,
                 const char* end = "\r\n") const {
    std::string text;
    for (const auto& line : lines) text += line + end;
    return folder_.Write(name, text);
  }
  // The shipped parameter file with some lines (1-based) replaced.
  fs::path WriteParameters(const std::vector<std::pair<int, std::string>>& changes) {
    std::vector<std::string> lines = ShippedLines();
    for (const auto& [line, text] : changes) lines.at(line - 1) = text;
    return Write("TEST" + std::to_string(++written_) + ".PRM", lines);
  }
  static TModelParameters LoadAndDerive(const fs::path& file) {
    TModelParameters p;
    LoadModelParameters(file, p);
    DeriveModelConstants(p);
    return p;
  }

  test::TempFolder folder_;
  int written_ = 0;
};

TEST_F(ModelParametersTest, ShippedFileHasEveryLineAndManFigNamesIt) {
  ASSERT_EQ(ShippedLines().size(), static_cast<std::size_t>(ParameterLineCount));
  EXPECT_EQ(ReadManFig(fs::path(ORVEK_DATA_DIR) / "Man.Fig"), kShipped.filename());
}

TEST_F(ModelParametersTest, NumberIsReadFromTheStartOfTheLine) {
  // clang-format off
  const std::pair<const char*, float> cases[] = {
      {"  -2.5E-3 x", -0.0025f}, {"+4e2", 400.0f}, {"7.5\tcomment", 7.5f}, {"3Eq", 3.0f},
      {".5", 0.5f}, {"6.", 6.0f}};
  // clang-format on
  for (const auto& [text, value] : cases) {
    TModelParameters p;
    LoadModelParameters(WriteParameters({{2, text}}), p);
    EXPECT_FLOAT_EQ(p.SourceGainImag, value) << text;
  }
  TModelParameters crlf, lf;  // LF line ends read like CR LF
  LoadModelParameters(kShipped, crlf);
  LoadModelParameters(Write("LF.PRM", ShippedLines(), "\n"), lf);
  EXPECT_TRUE(SameNumbers(crlf, lf));
}

TEST_F(ModelParametersTest, ManFigNamesAtMostTwelveCharactersWithoutBlanks) {
  const std::pair<const char*, const char*> cases[] = {
      // first line, name
      {"HUMANEAR.PRM", "HUMANEAR.PRM"},
      {"   EAR.PRM   ", "EAR.PRM"},
      {"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKL"},
      {"  ABCDEFGHIJKLMNOP", "ABCDEFGHIJ"},  // cut to 12, then trimmed
      {"\tA.PRM", "A.PRM"}};
  for (const auto& [firstLine, name] : cases)
    EXPECT_EQ(ReadManFig(Write("Man.Fig", {firstLine, "description"})), name) << firstLine;
  for (const fs::path& bad : {folder_.Path() / "Missing.Fig", Write("Empty.Fig", {}),
                              Write("Blank.Fig", {"            x", "second"})})
    EXPECT_THAT(MessageOf([&] { ReadManFig(bad); }), ::testing::HasSubstr(bad.filename().string()));
}

// A narrowing horn, a flaring horn that makes up the whole canal, and a canal without flare:
// sections end before, straddle and start after the junction.
TEST_F(ModelParametersTest, CanalSectionsHoldTheWholeCanalVolume) {
  const std::array<const char*, 4> cases[] = {{"1.1", "1.4", "0.50", "0.30"},
                                              {"0.0", "2.5", "0.35", "0.70"},
                                              {"2.0", "0.5", "0.44", "0.44"}};
  for (const auto& [uniformLength, hornLength, uniformArea, entranceArea] : cases) {
    const TModelParameters p = LoadAndDerive(WriteParameters(
        {{7, uniformLength}, {8, hornLength}, {9, uniformArea}, {10, entranceArea}}));
    const auto& d = p.Derived;
    const double ul = p.CanalUniformLength, hl = p.CanalHornLength;
    const double ua = p.CanalUniformArea, ea = p.CanalEntranceArea;
    SCOPED_TRACE(testing::Message() << ul << " " << hl << " " << ua << " " << ea);
    // Closed form of the exponential horn: volume (EA - UA) HL / ln(EA/UA), HL UA without flare.
    const double total = ua * ul + (ea == ua ? ua * hl : (ea - ua) * hl / std::log(ea / ua));
    double sum = 0.0, inertance = 0.0, nodes = 0.0;
    for (int i = 0; i < CanalSectionCount; ++i) {
      sum += d.CanalSectionVolume[i];
      inertance += d.CanalSectionInertance[i];
      EXPECT_NEAR(d.CanalSectionStiffness[i] * d.CanalSectionVolume[i], 1424896.0, 1.5);  // rho c^2
    }
    EXPECT_NEAR(sum, total, total * 1e-5);
    // The node masses share out the section inertances without loss.
    for (float inverse : d.InverseNodeInertance) nodes += 1.0 / inverse;
    EXPECT_NEAR(nodes, inertance, inertance * 1e-5);
    // A uniform tube has acoustic mass rho L / A.
    EXPECT_TRUE(ea != ua || std::abs(inertance - 0.00115 * (ul + hl) / ua) < 1e-8);
  }
}

// Each line holds a physical quantity; a value that makes every result meaningless (no hazard at
// any level, a spring that pushes, a damping that feeds energy, a degenerate stiffening curve) is
// refused with the file, the line, the value and the range, like a file that cannot be read.
TEST_F(ModelParametersTest, BadFilesAreRejectedWithTheLineAndLeaveTheRecordAlone) {
  std::vector<std::string> ninety = ShippedLines();
  ninety.pop_back();
  const std::pair<fs::path, const char*> cases[] = {
      {folder_.Path() / "NOFILE.PRM", "Cannot open the model parameter file"},
      {Write("SHORT.PRM", ninety), "line 91 (ProtectorValue11/Cmat) is missing"},
      {WriteParameters({{37, "rest point"}}), "line 37 (NonlinRest): the line does not start"},
      {WriteParameters({{37, ""}}), "line 37 (NonlinRest): the line does not start"},
      {WriteParameters({{59, "23.5"}}), "line 59 (PlaceCount): the value must be a whole number"},
      {WriteParameters({{59, "24"}}), "line 59 (PlaceCount)"},
      {WriteParameters({{59, "0"}}), "line 59 (PlaceCount)"},
      {WriteParameters({{3, "1e999"}}), "line 3 (CanalSourceGain): the number is out of range"},
      {WriteParameters({{19, "0"}}), "line 19 (Compliance4)"},
      {WriteParameters({{21, "0.0"}}), "line 21 (LeverRatio)"},
      {WriteParameters({{27, "2.0"}, {28, "-2.0"}}), "line 28 (Mass2B): -2 is outside"},
      {WriteParameters({{91, "0"}}), "line 91 (ProtectorValue11/Cmat)"},
      {WriteParameters({{56, "0"}}),
       "line 56 (ReferencePlace): 0 is outside the allowed range, more than 0 cm ("},
      {WriteParameters({{60, "0"}}), "line 60 (HazardGain): 0 is outside"},
      {WriteParameters({{37, "1.0"}}),
       "line 37 (NonlinRest): 1 is outside the allowed range, more than 0 and less than 0.9997 x "
       "NonlinLimit (line 38), here 0.9997 ("},
      {WriteParameters({{1, "0"}}), "0 is outside the allowed range, more than 0 and at most 2"},
      {WriteParameters({{3, "2.3"}}), "2.3 is outside the allowed range, from 0 to 2"},
      {WriteParameters({{8, "0"}}), "line 8 (CanalHornLength)"},
      {WriteParameters({{12, "-4e-4"}}), "line 12 (Compliance5): -4e-04 is outside"},
      {WriteParameters({{53, "0"}}), "line 53 (WkbGainAlt)"},             // the simple form runs
      {WriteParameters({{44, "0"}, {70, "0"}}), "line 44 (WkbFactorB)"},  // the derived form runs
      {WriteParameters({{57, "2.8"}}), "at least 0 and at most LastPlace (line 58), here 2.6949"},
      {WriteParameters({{65, "0.5"}}), "0.5 is outside the allowed range, at least 1"}};
  for (const auto& [file, mustName] : cases) {
    TModelParameters p;
    LoadModelParameters(kShipped, p);
    const TModelParameters before = p;
    const std::string message = MessageOf([&] { LoadModelParameters(file, p); });
    EXPECT_THAT(message, ::testing::HasSubstr(mustName));
    EXPECT_THAT(message, ::testing::HasSubstr(file.filename().string() + "\""));
    EXPECT_TRUE(SameNumbers(p, before) && p.Source == before.Source);
  }
}

// Values a user may sensibly choose are not refused.
TEST_F(ModelParametersTest, ValuesInsideTheirPhysicalRangeAreAccepted) {
  using Changes = std::vector<std::pair<int, std::string>>;
  const Changes accepted[] = {
      {{3, "2.0"}},                 // normal incidence (at most 2)
      {{3, "0"}},                   // the far side, 270 degrees (at least 0)
      {{1, "2"}, {28, "0"}},        // pressure doubled; no fluid load
      {{37, "0.99"}, {38, "1.0"}},  // a steep stiffening curve
      {{44, "0"}, {47, "-1"}},      // lines of the derived form while the simple one runs
      {{42, "-1e30"}, {80, "7"}}};  // an unused line; any reflection selector
  for (const Changes& changes : accepted) {
    TModelParameters p;
    EXPECT_NO_THROW(LoadModelParameters(WriteParameters(changes), p)) << changes[0].first;
  }
}

// The calibration tool sets values directly and derives from them: the derivation still refuses
// what the model cannot use.
TEST_F(ModelParametersTest, DerivingRefusesUnusableGeometry) {
  const std::pair<float TModelParameters::*, const char*> cases[] = {
      {&TModelParameters::CanalHornLength, "CanalHornLength"},
      {&TModelParameters::CanalUniformArea, "CanalUniformArea"},
      {&TModelParameters::OutputArea, "OutputArea"}};
  for (const auto& [field, mustName] : cases) {
    TModelParameters p;
    LoadModelParameters(kShipped, p);
    p.*field = 0.0f;
    const TModelParameters before = p;
    const std::string message = MessageOf([&] { DeriveModelConstants(p); });
    EXPECT_THAT(message, ::testing::HasSubstr(mustName));
    EXPECT_THAT(message, ::testing::HasSubstr("HUMANEAR.PRM"));
    EXPECT_TRUE(SameNumbers(p, before));
  }
}

}  // namespace
}  // namespace orvek

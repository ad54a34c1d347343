#include "model/ModelParameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "waveform/OrvekError.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;

const fs::path kDataDir = ORVEK_DATA_DIR;

std::vector<std::string> ShippedLines() {
  std::ifstream in(kDataDir / "HUMANEAR.PRM", std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Every derived constant is a float; view them as one list.
std::vector<float> DerivedValues(const TDerivedModelConstants& d) {
  static_assert(sizeof(TDerivedModelConstants) % sizeof(float) == 0);
  std::vector<float> values(sizeof(d) / sizeof(float));
  std::memcpy(values.data(), &d, sizeof(d));
  return values;
}

class ModelParametersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           (std::string("orvek_model_") + info->test_suite_name() + "_" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Write(const std::string& name, const std::vector<std::string>& lines,
                 const char* end = "\r\n") const {
    const fs::path file = dir_ / name;
    std::ofstream out(file, std::ios::binary);
    for (const auto& line : lines) out << line << end;
    return file;
  }

  // The shipped parameter file with some lines (1-based) replaced.
  fs::path WriteParameters(const std::vector<std::pair<int, std::string>>& changes) const {
    std::vector<std::string> lines = ShippedLines();
    for (const auto& [line, text] : changes) lines.at(line - 1) = text;
    return Write("TEST" + std::to_string(++written_) + ".PRM", lines);
  }

  TModelParameters LoadAndDerive(const fs::path& file) const {
    TModelParameters p;
    LoadModelParameters(file, p);
    DeriveModelConstants(p);
    return p;
  }

  fs::path dir_;
  mutable int written_ = 0;
};

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const OrvekError& e) {
    return e.what();
  }
  ADD_FAILURE() << "no OrvekError thrown";
  return {};
}

TEST_F(ModelParametersTest, ShippedFilesLoadAndDeriveFiniteValues) {
  const std::string name = ReadManFig(kDataDir / "Man.Fig");
  ASSERT_LE(name.size(), 12u);
  ASSERT_EQ(ShippedLines().size(), static_cast<std::size_t>(ParameterLineCount));
  const TModelParameters p = LoadAndDerive(kDataDir / name);
  for (float v : DerivedValues(p.Derived)) EXPECT_TRUE(std::isfinite(v));
  EXPECT_EQ(p.PlaceCount, 23);
  EXPECT_GT(p.LastPlace, p.FirstPlace);
  // Every section and mass must be positive for a passive, stable network.
  for (float v : p.Derived.CanalSectionVolume) EXPECT_GT(v, 0.0f);
  EXPECT_GT(p.Derived.MassBlockAOverDet, 0.0f);
  EXPECT_GT(p.Derived.MassBlockCOverDet, 0.0f);
  // The default protector compliances are held as stiffnesses from here on.
  EXPECT_FLOAT_EQ(p.ProtectorValue1, 1.0f / 1.0e-5f);
  EXPECT_FLOAT_EQ(p.Derived.SkinCushionStiffness, 1.0f / 1.0e-5f + 1.0f / 2.0e-5f);
}

TEST_F(ModelParametersTest, NumberIsReadFromTheStartOfTheLine) {
  const struct {
    const char* text;
    float value;
  } cases[] = {
      {"1.25 comment", 1.25f},
      {"  -2.5E-3 x", -0.0025f},
      {"+4e2", 400.0f},
      {"7.5\tcomment", 7.5f},
      {"3Eq", 3.0f},
      {".5", 0.5f},
      {"6.", 6.0f},
      {"2e+1 dB", 20.0f},
  };
  for (const auto& c : cases) {
    TModelParameters p;
    LoadModelParameters(WriteParameters({{1, c.text}}), p);
    EXPECT_FLOAT_EQ(p.SourceGain, c.value) << c.text;
  }
}

TEST_F(ModelParametersTest, LfLineEndsReadLikeCrLf) {
  TModelParameters crlf;
  TModelParameters lf;
  LoadModelParameters(kDataDir / "HUMANEAR.PRM", crlf);
  LoadModelParameters(Write("LF.PRM", ShippedLines(), "\n"), lf);
  EXPECT_EQ(std::memcmp(&crlf.Derived, &lf.Derived, sizeof(lf.Derived)), 0);
  EXPECT_EQ(lf.ProtectorValue11, crlf.ProtectorValue11);
}

TEST_F(ModelParametersTest, ManFigNamesAtMostTwelveCharactersWithoutBlanks) {
  const struct {
    std::vector<std::string> lines;
    std::string name;
  } cases[] = {
      {{"HUMANEAR.PRM", "description"}, "HUMANEAR.PRM"},
      {{"   EAR.PRM   ", "x"}, "EAR.PRM"},
      {{"ABCDEFGHIJKLMNOPQRST"}, "ABCDEFGHIJKL"},
      {{"  ABCDEFGHIJKLMNOP"}, "ABCDEFGHIJ"},  // cut to 12, then trimmed
      {{"\tA.PRM"}, "A.PRM"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadManFig(Write("Man.Fig", c.lines)), c.name) << c.lines[0];
  }
}

TEST_F(ModelParametersTest, ManFigFailuresNameTheFile) {
  EXPECT_NE(MessageOf([&] { ReadManFig(dir_ / "Missing.Fig"); }).find("Missing.Fig"),
            std::string::npos);
  const fs::path empty = Write("Empty.Fig", {});
  EXPECT_NE(MessageOf([&] { ReadManFig(empty); }).find("Empty.Fig"), std::string::npos);
  const fs::path blank = Write("Blank.Fig", {"            x", "second"});
  EXPECT_NE(MessageOf([&] { ReadManFig(blank); }).find("Blank.Fig"), std::string::npos);
}

TEST_F(ModelParametersTest, MuscleFactorOfOneStillContractsSlightly) {
  const TModelParameters p = LoadAndDerive(WriteParameters({{65, "1.0"}, {66, "1.0"}}));
  EXPECT_FLOAT_EQ(p.MuscleStiffnessFactor, 1.001f);
  EXPECT_FLOAT_EQ(p.MuscleDampingFactor, 1.001f);
  EXPECT_NEAR(p.Derived.MuscleStiffnessIncrement, 0.001f, 1e-6f);
  EXPECT_NEAR(p.Derived.MuscleDampingIncrement, 0.001f, 1e-6f);
}

TEST_F(ModelParametersTest, AirConstants) {
  EXPECT_NEAR(AirImpedance, 40.48, 1e-9);
  EXPECT_NEAR(AirBulkModulus, 1424896.0, 1e-6);
  const TModelParameters p = LoadAndDerive(kDataDir / "HUMANEAR.PRM");
  EXPECT_NEAR(p.Derived.EntranceRadiationResistance, 2.0 * 40.48 / p.CanalEntranceArea, 1e-3);
  EXPECT_NEAR(p.Derived.StapesDisplacementScale, 10000.0 / (1.3 * 0.032), 0.05);
  EXPECT_NEAR(std::exp(20.0 * p.Derived.Ln10Over20), 10.0, 1e-5);
  EXPECT_NEAR(std::exp(10.0 * p.Derived.Ln10Over10), 10.0, 1e-5);
}

// Canal geometries: uniform part and horn of various lengths, flaring, narrowing, and a horn
// that makes up the whole canal, so that sections end before, straddle and start after the
// junction.
TEST_F(ModelParametersTest, CanalSectionsHoldTheWholeCanalVolume) {
  const struct {
    const char *uniformLength, *hornLength, *uniformArea, *entranceArea;
  } cases[] = {
      {"2.0", "0.5", "0.44", "0.60"},   {"0.3", "2.2", "0.40", "0.90"},
      {"1.1", "1.4", "0.50", "0.30"},   {"0.0", "2.5", "0.35", "0.70"},
      {"2.49", "0.01", "0.44", "0.45"},
  };
  for (const auto& c : cases) {
    const TModelParameters p = LoadAndDerive(WriteParameters(
        {{7, c.uniformLength}, {8, c.hornLength}, {9, c.uniformArea}, {10, c.entranceArea}}));
    const auto& d = p.Derived;
    const double ul = p.CanalUniformLength, hl = p.CanalHornLength;
    const double ua = p.CanalUniformArea, ea = p.CanalEntranceArea;
    // Closed form of the exponential horn: volume (EA - UA) HL / ln(EA/UA).
    const double total = ua * ul + (ea - ua) * hl / std::log(ea / ua);
    double sum = 0.0;
    double inertance = 0.0;
    for (int i = 0; i < CanalSectionCount; ++i) {
      sum += d.CanalSectionVolume[i];
      EXPECT_NEAR(d.CanalSectionStiffness[i] * d.CanalSectionVolume[i], AirBulkModulus,
                  AirBulkModulus * 1e-6);
      inertance += d.CanalSectionInertance[i];
      if (i > 0) {
        // The area, and with it the volume, changes monotonically towards the entrance.
        const double step = d.CanalSectionVolume[i] - d.CanalSectionVolume[i - 1];
        EXPECT_GE(step * (ea - ua), 0.0);
      }
    }
    EXPECT_NEAR(sum, total, total * 1e-5) << c.uniformLength << " " << c.hornLength;
    // The node masses share out the section inertances without loss.
    double nodes = 0.0;
    for (float inverse : d.InverseNodeInertance) nodes += 1.0 / inverse;
    EXPECT_NEAR(nodes, inertance, inertance * 1e-5);
  }
}

TEST_F(ModelParametersTest, HornThatDoesNotFlareLeavesEqualSections) {
  const TModelParameters p = LoadAndDerive(WriteParameters({{9, "0.44"}, {10, "0.44"}}));
  const auto& d = p.Derived;
  const double h = (2.0 + 0.5) / 16.0;
  for (int i = 0; i < CanalSectionCount; ++i) {
    EXPECT_FLOAT_EQ(d.CanalSectionVolume[i], static_cast<float>(h * 0.44));
    EXPECT_EQ(d.CanalSectionStiffness[i], d.CanalSectionStiffness[0]);
  }
  // A uniform tube has acoustic mass rho L / A.
  double inertance = 0.0;
  for (float m : d.CanalSectionInertance) inertance += m;
  EXPECT_NEAR(inertance, AirDensity * 2.5 / 0.44, 1e-8);
}

TEST_F(ModelParametersTest, MassBlockInverseSolvesBranchesFourAndSix) {
  const TModelParameters p = LoadAndDerive(kDataDir / "HUMANEAR.PRM");
  const auto& d = p.Derived;
  const double a = d.CanalSectionInertance[0] / 2.0 + p.Mass46;
  const double b = p.Mass46;
  const double c = p.Mass46 + p.Mass4;
  // Rows (c, -b) and (-b, a) times the stored inverse (a, b; b, c)/det give the identity.
  EXPECT_NEAR(c * d.MassBlockAOverDet - b * d.MassBlockBOverDet, 1.0, 1e-5);
  EXPECT_NEAR(c * d.MassBlockBOverDet - b * d.MassBlockCOverDet, 0.0,
              1e-5 * c * d.MassBlockBOverDet);
  EXPECT_NEAR(-b * d.MassBlockAOverDet + a * d.MassBlockBOverDet, 0.0,
              1e-5 * a * d.MassBlockBOverDet);
  EXPECT_NEAR(-b * d.MassBlockBOverDet + a * d.MassBlockCOverDet, 1.0, 1e-5);
}

TEST_F(ModelParametersTest, BadFilesAreRejectedWithTheLineAndLeaveTheRecordAlone) {
  std::vector<std::string> ninety = ShippedLines();
  ninety.pop_back();
  const struct {
    fs::path file;
    std::vector<std::string> mustName;
  } cases[] = {
      {dir_ / "NOFILE.PRM", {"NOFILE.PRM"}},
      {Write("SHORT.PRM", ninety), {"SHORT.PRM", "line 91"}},
      {WriteParameters({{37, "rest point"}}), {"TEST", "line 37", "NonlinRest"}},
      {WriteParameters({{37, ""}}), {"line 37"}},
      {WriteParameters({{59, "23.5"}}), {"line 59", "PlaceCount"}},
      {WriteParameters({{59, "24"}}), {"line 59"}},
      {WriteParameters({{3, "1e999"}}), {"line 3", "out of range"}},
      {WriteParameters({{19, "0"}}), {"line 19", "Compliance4"}},
      {WriteParameters({{21, "0.0"}}), {"line 21", "LeverRatio"}},
      {WriteParameters({{28, "-2.0"}}), {"Mass2A", "Mass2B"}},
      {WriteParameters({{91, "0"}}), {"line 91", "Cmat"}},
  };
  for (const auto& c : cases) {
    TModelParameters p;
    LoadModelParameters(kDataDir / "HUMANEAR.PRM", p);
    const TModelParameters before = p;
    const std::string message = MessageOf([&] { LoadModelParameters(c.file, p); });
    for (const auto& part : c.mustName) {
      EXPECT_NE(message.find(part), std::string::npos) << message;
    }
    EXPECT_EQ(p.Source, before.Source);
    EXPECT_EQ(p.NonlinRest, before.NonlinRest);
    EXPECT_EQ(p.PlaceCount, before.PlaceCount);
    EXPECT_EQ(p.ProtectorValue1, before.ProtectorValue1);
    EXPECT_EQ(std::memcmp(&p.Derived, &before.Derived, sizeof(p.Derived)), 0);
  }
}

TEST_F(ModelParametersTest, UnusableGeometryIsRejectedWhenDeriving) {
  const struct {
    std::vector<std::pair<int, std::string>> changes;
    std::string mustName;
  } cases[] = {
      {{{8, "0"}}, "CanalHornLength"},
      {{{9, "0"}}, "CanalUniformArea"},
      {{{10, "-0.5"}}, "CanalEntranceArea"},
      {{{35, "0"}}, "OutputArea"},
      {{{7, "-0.5"}, {8, "0.5"}}, "CanalUniformLength"},  // a canal of no length
  };
  for (const auto& c : cases) {
    TModelParameters p;
    LoadModelParameters(WriteParameters(c.changes), p);
    const TDerivedModelConstants before = p.Derived;
    const std::string message = MessageOf([&] { DeriveModelConstants(p); });
    EXPECT_NE(message.find(c.mustName), std::string::npos) << message;
    EXPECT_NE(message.find(".PRM"), std::string::npos) << message;
    EXPECT_EQ(std::memcmp(&p.Derived, &before, sizeof(before)), 0);
  }
}

}  // namespace
}  // namespace orvek

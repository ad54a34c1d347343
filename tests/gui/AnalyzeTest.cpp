// The two Analyze commands driven through the window.
#include <gtest/gtest.h>

#include <QMenuBar>

#include "model/Friedlander.h"
#include "model/HazardAnalysis.h"
#include "tests/gui/WindowFixture.h"
#include "waveform/OrvFile.h"

namespace orvek {
namespace {

class AnalyzeTest : public WindowTest {
 protected:
  // A rifle-like impulse, 160 dB, 0.3 ms A-duration, at the given microphone code.
  TForm1& OpenRifle(const std::string& mic = "1 ", const std::string& name = "RIFLE.ORV") {
    TForm1& w = Start();
    FriedlanderSpec spec;
    spec.Samples = 8192;
    const std::vector<float> samples = FriedlanderSamples(spec);
    WriteOrv(folder_ / "waves" / name, 8192, "200000 ", mic,
             [&](int i) { return samples[static_cast<std::size_t>(i)]; });
    w.OpenWaveform(QString::fromStdString((folder_ / "waves" / name).string()));
    return w;
  }
};

TEST_F(AnalyzeTest, WarnedAnalysisFillsRowFiveAndAddsTheResultItems) {
  TForm1& w = OpenRifle();
  w.NoProtectorWarned1->trigger();
  ASSERT_TRUE(prompts_.Errors.isEmpty()) << prompts_.Errors.join("\n").toStdString();
  ASSERT_TRUE(w.LastHazard.has_value());
  const float aru = w.LastHazard->Cochlea.Hazard;
  EXPECT_GT(aru, 0.0f);
  EXPECT_EQ(Cell(1, 5), QString::fromStdString(AllowedText(aru)));
  // A 160 dB free-field shot: above the peak limit, and the stapes at its ceiling.
  const std::string flags = ValidityFlags(w.LastHazard->Validity);
  EXPECT_EQ(flags,
            "peak above the 140 dB limit, no unprotected exposure allowed; stapes at its movement "
            "limit, hazard may not rise with level");
  EXPECT_EQ(Cell(2, 5), QString::fromStdString(AruText(aru) + " A.R.U.; " + flags));
  EXPECT_EQ(Cell(0, 5), "Number of exposures with no protector, warned");
  EXPECT_EQ(w.statusBox()->text(), QString::fromStdString(AruText(aru) + "  A.R.U.  " + flags));
  EXPECT_TRUE(w.statusBox()->toolTip().contains("no unprotected exposure is allowed"));
  EXPECT_EQ(AddedItems(), QStringList({"Movie[Cancel ,", "Stapes Displacement]"}));
  for (QAction* item : w.PopupTopItems) EXPECT_FALSE(item->isEnabled());
  EXPECT_TRUE(w.AnalyzeMenu->menuAction()->isEnabled());
  EXPECT_TRUE(w.PopupOpensAutomatically);
  EXPECT_TRUE(fs::exists(folder_ / "waves" / "RIFLE.HAZ"));
  EXPECT_EQ(w.progressBar()->value(), w.progressBar()->maximum());
}

TEST_F(AnalyzeTest, TheWindowAndTheCommandLineComputeTheSameHazard) {
  TForm1& w = OpenRifle();
  w.NoProtectorUnWarned1->trigger();
  ASSERT_TRUE(w.LastHazard.has_value());

  // What orvek-cli does: read the file afresh and run the chain with the same parameters.
  TWaveform waveform(1 << 20);
  HeaderGrid grid;
  Lcg32 random;
  OpenNewFileType5(folder_ / "waves" / "RIFLE.ORV", true, false, waveform, grid, random);
  TModelParameters p = w.ModelParameters;
  LoadModelParameters(folder_ / "startup" / w.ParameterFileName, p);
  DeriveModelConstants(p);
  const MuscleTiming timing = ComputeMuscleTiming(MuscleDelay(Listener::Unwarned, p),
                                                  waveform.SampleInterval, p.MuscleTimeConstant);
  MovieFrameStore movie;
  const HazardResult direct = CalculateHazard(waveform, 1, timing, p, movie, std::nullopt);
  EXPECT_EQ(direct.Cochlea.Hazard, w.LastHazard->Cochlea.Hazard);  // bit-identical
  EXPECT_EQ(Cell(2, 6), QString::fromStdString(AruText(direct.Cochlea.Hazard) + " A.R.U.; " +
                                               ValidityFlags(direct.Validity)));
}

TEST_F(AnalyzeTest, RunningTwiceClosesTheFirstResultAndKeepsBothRows) {
  TForm1& w = OpenRifle();
  w.NoProtectorWarned1->trigger();
  w.NoProtectorWarned1->trigger();
  ASSERT_EQ(prompts_.Informations.size(), 1);
  EXPECT_TRUE(prompts_.Informations[0].startsWith("The hazard analysis ends here"));
  EXPECT_EQ(AddedItems().size(), 2);
  w.NoProtectorUnWarned1->trigger();
  EXPECT_EQ(AddedItems().size(), 2);
  EXPECT_FALSE(Cell(1, 5).isEmpty());  // the warned result stays
  EXPECT_FALSE(Cell(1, 6).isEmpty());
  EXPECT_TRUE(prompts_.Errors.isEmpty()) << prompts_.Errors.join("\n").toStdString();

  w.menuBar()->actions()[3]->trigger();  // "Movie[Cancel ,"
  EXPECT_TRUE(AddedItems().isEmpty());
  EXPECT_FALSE(w.statusBox()->isVisible());
}

TEST_F(AnalyzeTest, ASilentRecordIsAllowedWithoutLimit) {
  TForm1& w = Start();
  WriteOrv(folder_ / "waves" / "QUIET.ORV", 4096, "200000 ", "1 ", [](int) { return 0.0f; });
  w.OpenWaveform(QString::fromStdString((folder_ / "waves" / "QUIET.ORV").string()));
  w.NoProtectorUnWarned1->trigger();
  ASSERT_TRUE(prompts_.Errors.isEmpty()) << prompts_.Errors.join("\n").toStdString();
  EXPECT_EQ(Cell(1, 6), "unlimited");
  EXPECT_EQ(Cell(2, 6), "0.0000 A.R.U.");  // nothing to qualify: no flags, no tooltip
  EXPECT_TRUE(w.statusBox()->toolTip().isEmpty());
  EXPECT_EQ(AddedItems().size(), 2);
  EXPECT_TRUE(w.AnalyzeMenu->menuAction()->isEnabled());
  EXPECT_TRUE(w.PopupOpensAutomatically);
}

TEST_F(AnalyzeTest, RowCaptionsFollowTheMicrophoneCode) {
  const std::pair<const char*, const char*> cases[] = {
      {"4 ", "Number of exposures with no protector, warned"},
      {"2 ", "Number of exposures with selected protector, warned"},
      {"3 ", "Number of exposures with selected protector, warned"},
  };
  for (const auto& [mic, caption] : cases) {
    TForm1& w = OpenRifle(mic);
    w.NoProtectorWarned1->trigger();
    EXPECT_TRUE(prompts_.Errors.isEmpty()) << mic << prompts_.Errors.join("\n").toStdString();
    EXPECT_EQ(Cell(0, 5), caption) << mic;
    window_.reset();
  }
}

TEST_F(AnalyzeTest, RefusedAnalysesRestoreTheMenusAndAddNothing) {
  TForm1& w = OpenRifle();
  w.Grid.SetCell(1, 3, "7");  // an edit the location cell would refuse, straight into the header
  w.NoProtectorWarned1->trigger();
  ASSERT_EQ(prompts_.Errors.size(), 1);
  EXPECT_TRUE(prompts_.Errors[0].contains("microphone location"))
      << prompts_.Errors[0].toStdString();
  EXPECT_TRUE(AddedItems().isEmpty());
  EXPECT_TRUE(w.AnalyzeMenu->menuAction()->isEnabled());
  EXPECT_TRUE(w.PopupOpensAutomatically);
  EXPECT_TRUE(Cell(1, 5).isEmpty());

  // A parameter file asking for more places than the cochlear results hold.
  w.Grid.SetCell(1, 3, "1");
  const fs::path parameters = folder_ / "startup" / w.ParameterFileName;
  std::ifstream in(parameters);
  std::string text, line;
  for (int n = 1; std::getline(in, line); ++n) text += (n == 59 ? std::string("0") : line) + "\n";
  in.close();
  std::ofstream(parameters, std::ios::trunc) << text;
  w.NoProtectorWarned1->trigger();
  ASSERT_EQ(prompts_.Errors.size(), 2);
  EXPECT_TRUE(prompts_.Errors[1].contains("line 59")) << prompts_.Errors[1].toStdString();
  EXPECT_TRUE(AddedItems().isEmpty());
}

}  // namespace
}  // namespace orvek

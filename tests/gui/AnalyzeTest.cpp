// The two Analyze commands driven through the window.
#include <gtest/gtest.h>

#include <QMenuBar>
#include <fstream>
#include <iterator>

#include "model/HazardAnalysis.h"
#include "tests/gui/WindowFixture.h"

namespace orvek {
namespace {

class AnalyzeTest : public WindowTest {
 protected:
  // A rifle-like impulse, 160 dB, 0.3 ms A-duration, at the given microphone location.
  TForm1& OpenRifle(int mic = 1) { return OpenShot("RIFLE.ORV", {.MicLocation = mic}); }
};

TEST_F(AnalyzeTest, WarnedAnalysisFillsRowFiveAndAddsTheResultItems) {
  TForm1& w = OpenRifle();
  Trigger("ARU(W) Auditory Risk Units, Warned");
  ExpectNoErrors();
  ASSERT_TRUE(w.Hazard().has_value());
  const float aru = w.Hazard()->Cochlea.Hazard;
  EXPECT_GT(aru, 0.0f);
  EXPECT_EQ(Cell(1, 5), QString::fromStdString(AllowedText(aru)));
  // A 160 dB free-field shot: above the peak limit, and the stapes at its ceiling.
  const std::string flags = ValidityFlags(w.Hazard()->Validity);
  EXPECT_EQ(flags,
            "peak above the 140 dB limit, no unprotected exposure allowed; stapes at its movement "
            "limit, hazard may not rise with level");
  EXPECT_EQ(Cell(2, 5), QString::fromStdString(AruText(aru) + " A.R.U.; " + flags));
  EXPECT_EQ(Cell(0, 5), "Number of exposures with no protector, warned");
  EXPECT_EQ(w.statusBox()->text(), QString::fromStdString(AruText(aru) + "  A.R.U.  " + flags));
  EXPECT_TRUE(w.statusBox()->toolTip().contains("no unprotected exposure is allowed"));
  EXPECT_EQ(AddedItems(), QStringList({"Movie[Cancel ,", "Stapes Displacement]"}));
  for (QAction* item : w.PopupMenu()->actions()) EXPECT_FALSE(item->isEnabled());
  EXPECT_TRUE(Item("&Analyze")->isEnabled());
  EXPECT_TRUE(w.PopupOpens());
  EXPECT_TRUE(fs::exists(folder_ / "waves" / "RIFLE.HAZ"));
  EXPECT_EQ(w.progressBar()->value(), w.progressBar()->maximum());
}

TEST_F(AnalyzeTest, RunningTwiceClosesTheFirstResultAndKeepsBothRows) {
  TForm1& w = OpenRifle();
  Trigger("ARU(W) Auditory Risk Units, Warned");
  Trigger("ARU(W) Auditory Risk Units, Warned");
  ASSERT_EQ(prompts_.Informations.size(), 1);
  EXPECT_TRUE(prompts_.Informations[0].startsWith("The hazard analysis ends here"));
  EXPECT_EQ(AddedItems().size(), 2);
  Trigger("ARU(U) Auditory Risk Units, Unwarned");
  EXPECT_EQ(AddedItems().size(), 2);
  EXPECT_FALSE(Cell(1, 5).isEmpty());  // the warned result stays
  EXPECT_FALSE(Cell(1, 6).isEmpty());
  ExpectNoErrors();

  w.menuBar()->actions()[3]->trigger();  // "Movie[Cancel ,"
  EXPECT_TRUE(AddedItems().isEmpty());
  EXPECT_FALSE(w.statusBox()->isVisible());
}

// The row caption follows the microphone location; a silent record is allowed without limit and
// has nothing to qualify: no flags, no tooltip.
TEST_F(AnalyzeTest, RowCaptionsFollowTheMicrophoneCode) {
  const std::tuple<int, float, const char*> cases[] = {
      {1, 0.0f, "Number of exposures with no protector, warned"},
      {4, 1.0f, "Number of exposures with no protector, warned"},
      {2, 1.0f, "Number of exposures with selected protector, warned"},
      {3, 1.0f, "Number of exposures with selected protector, warned"},
  };
  for (const auto& [mic, gain, caption] : cases) {
    SCOPED_TRACE(mic);
    TForm1& w = Start();
    Open(WriteShot("RIFLE.ORV", {.MicLocation = mic}, gain));
    Trigger("ARU(W) Auditory Risk Units, Warned");
    ExpectNoErrors();
    EXPECT_EQ(Cell(0, 5), caption);
    EXPECT_EQ(AddedItems().size(), 2);
    if (gain == 0.0f) {
      EXPECT_EQ(Cell(1, 5), "unlimited");
      EXPECT_EQ(Cell(2, 5), "0.0000 A.R.U.");
      EXPECT_TRUE(w.statusBox()->toolTip().isEmpty());
    }
    window_.reset();
  }
}

// After edits the analysis runs the edited record and leaves it intact: a 160 dB impulse at
// 25 ms, cut to 20..39 ms, halved and resampled, is analysed as the file "Save ORV waveform as"
// writes of it, and that file holds the impulse.
TEST_F(AnalyzeTest, AnAnalysisAfterEditsRunsTheEditedRecord) {
  TForm1& w = OpenShot("LATE.ORV", {.OnsetMs = 25.0});
  Trigger("Select &Segment");
  SetLines(PixelOf(4000), PixelOf(7800));  // 20 and 39 ms
  ClickToolButton();
  prompts_.Texts.push_back("0.5");
  Trigger("&Multiply data by keyboard input");
  prompts_.Answers.push_back(Prompts::Answer::Yes);
  prompts_.Texts.push_back("100000");
  Trigger("&Resample");
  Trigger("ARU(W) Auditory Risk Units, Warned");
  ExpectNoErrors();
  const float edited = w.Hazard()->Cochlea.Hazard;
  EXPECT_GT(edited, 0.01f);
  EXPECT_NEAR(Record().TimeStart, 0.020f, 1e-4f);
  EXPECT_GT(Record().DataMax, 900.0f);  // the record still holds the impulse, 1000 Pa now

  Choose(In("SEG.ORV"));
  Trigger("Save ORV waveform as");
  Open(In("SEG.ORV"));
  EXPECT_GT(Record().DataMax, 900.0f);
  Trigger("ARU(W) Auditory Risk Units, Warned");
  ExpectNoErrors();
  EXPECT_NEAR(w.Hazard()->Cochlea.Hazard, edited, 1e-3f * edited);
}

// Everything the window shows of an analysis, and what it keeps for the next command.
struct AnalysisView {
  QString Status, StatusTip;
  bool StatusShown, ProgressShown, Computed, PopupOpens;
  int Progress;
  QImage Image;
  QStringList Items, Cells;
  std::vector<bool> Enabled;
  std::optional<float> Hazard;
  std::string HazardFile;
  bool operator==(const AnalysisView&) const = default;
};

// After a result and a new rate typed into the grid, a run stopped by Esc or the Cancel button at
// its first, a middle or its last progress step leaves all of that as it was after the edit: the
// first result with its items, which still work; the next analysis is the one an uncancelled run
// gives.
TEST_F(AnalyzeTest, ACancelledAnalysisChangesNothing) {
  TForm1& w = OpenRifle();
  Trigger("ARU(W) Auditory Risk Units, Warned");
  w.gridView()->setCurrentCell(2, 1);
  w.gridView()->item(2, 1)->setText("100000");
  PressEnterInGrid();
  ASSERT_EQ(Record().SampleRate, 100000.0f);
  const auto view = [&] {
    AnalysisView v{w.statusBox()->text(),
                   w.statusBox()->toolTip(),
                   w.statusBox()->isVisible(),
                   w.progressBar()->isVisible(),
                   w.HazardIsComputed(),
                   w.PopupOpens(),
                   w.progressBar()->value(),
                   w.canvas()->Image().copy(),
                   AddedItems(),
                   {},
                   {},
                   {},
                   {}};
    for (int row = 0; row < HeaderGrid::kRows; ++row)
      for (int column = 0; column < HeaderGrid::kColumns; ++column) v.Cells << Cell(column, row);
    for (QAction* item : w.PopupMenu()->actions()) v.Enabled.push_back(item->isEnabled());
    for (QAction* item : w.menuBar()->actions()) v.Enabled.push_back(item->isEnabled());
    if (w.Hazard()) v.Hazard = w.Hazard()->Cochlea.Hazard;
    std::ifstream in(folder_ / "waves" / "RIFLE.HAZ", std::ios::binary);
    v.HazardFile.assign(std::istreambuf_iterator<char>(in), {});
    return v;
  };
  const AnalysisView before = view();
  ASSERT_TRUE(before.Hazard.has_value());

  const struct {
    std::int32_t At;
    bool ByButton;
    const char* Command;
  } kCancels[] = {{0, false, "ARU(W) Auditory Risk Units, Warned"},
                  {4000, true, "ARU(U) Auditory Risk Units, Unwarned"},
                  {8188, false, "ARU(U) Auditory Risk Units, Unwarned"}};  // 23 x 356
  for (const auto& cancel : kCancels) {
    SCOPED_TRACE(cancel.At);
    std::int32_t stoppedAt = -1;
    CancelAnalysisAt(cancel.At, cancel.ByButton, &stoppedAt);
    Trigger(cancel.Command);
    EXPECT_GE(stoppedAt, cancel.At);
    EXPECT_LT(stoppedAt, Record().Count());
    ExpectNoErrors();
    EXPECT_TRUE(view() == before);
    EXPECT_FALSE(w.cancelButton()->isVisible());
  }
  Trigger("Stapes Displacement]");
  ExpectNoErrors();
  EXPECT_EQ(AddedItems(), QStringList({"Movie[Cancel ,", "Unwrap Cochlea]"}));

  w.OnAnalysisProgress = nullptr;
  Trigger("ARU(W) Auditory Risk Units, Warned");
  ExpectNoErrors();
  TWaveform copy(1 << 20);
  w.Record().CopyForAnalysis(copy);
  TModelParameters p = w.Parameters();
  const MuscleTiming timing = ComputeMuscleTiming(MuscleDelay(Listener::Warned, p),
                                                  copy.SampleInterval, p.MuscleTimeConstant);
  MovieFrameStore movie;
  const HazardResult uncancelled = CalculateHazard(copy, 1, timing, p, movie, std::nullopt);
  EXPECT_EQ(w.Hazard()->Cochlea.Hazard, uncancelled.Cochlea.Hazard);
  EXPECT_NE(view().HazardFile, before.HazardFile);
}

// A location typed but not yet applied takes effect (or is refused) before the analysis reads
// it, so the analysis and a saved file agree; a parameter file the model cannot use stops it.
TEST_F(AnalyzeTest, RefusedAnalysesRestoreTheMenusAndAddNothing) {
  TForm1& w = OpenRifle();
  w.gridView()->setCurrentCell(3, 1);
  w.gridView()->item(3, 1)->setText("7");
  Trigger("ARU(W) Auditory Risk Units, Warned");
  ExpectNoErrors();
  EXPECT_EQ(Cell(1, 3), "1");
  EXPECT_EQ(Cell(0, 5), "Number of exposures with no protector, warned");
  Trigger("Movie[Cancel ,");

  const fs::path parameters = w.ParameterFile();
  std::ifstream in(parameters);
  std::string text, line;
  for (int n = 1; std::getline(in, line); ++n) text += (n == 59 ? std::string("0") : line) + "\n";
  in.close();
  std::ofstream(parameters, std::ios::trunc) << text;
  Trigger("ARU(U) Auditory Risk Units, Unwarned");
  ASSERT_EQ(prompts_.Errors.size(), 1);
  EXPECT_TRUE(prompts_.Errors[0].contains("line 59")) << prompts_.Errors[0].toStdString();
  EXPECT_TRUE(AddedItems().isEmpty());
  EXPECT_TRUE(Item("&Analyze")->isEnabled());
  EXPECT_TRUE(w.PopupOpens());
  EXPECT_TRUE(Cell(1, 6).isEmpty());
}

}  // namespace
}  // namespace orvek

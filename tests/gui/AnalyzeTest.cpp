// The two Analyze commands driven through the window.
#include <gtest/gtest.h>

#include <QMenuBar>

#include "model/HazardAnalysis.h"
#include "tests/gui/WindowFixture.h"

namespace orvek {
namespace {

class AnalyzeTest : public WindowTest {
 protected:
  // A rifle-like impulse, 160 dB, 0.3 ms A-duration, at the given microphone location.
  TForm1& OpenRifle(int mic = 1) { return OpenShot("RIFLE.ORV", {.MicLocation = mic}); }
};

// A second analysis closes the first result (its items go, its row stays); the cancel item
// removes the added items and the status box.
TEST_F(AnalyzeTest, WarnedAnalysisFillsRowFiveAndAddsTheResultItems) {
  TForm1& w = OpenRifle();
  Trigger("ARU(W) Auditory Risk Units, Warned");
  ExpectNoErrors();
  ASSERT_TRUE(w.Hazard().has_value());
  const float aru = w.Hazard()->Cochlea.Hazard;
  EXPECT_EQ(Cell(1, 5), QString::fromStdString(AllowedText(aru)));
  // A 160 dB free-field shot: above the peak limit, and the stapes at its ceiling.
  const std::string flags = ValidityFlags(w.Hazard()->Validity);
  EXPECT_EQ(Cell(2, 5), QString::fromStdString(AruText(aru) + " A.R.U.; " + flags));
  EXPECT_EQ(w.statusBox()->text(), QString::fromStdString(AruText(aru) + "  A.R.U.  " + flags));
  EXPECT_TRUE(w.statusBox()->toolTip().contains("no unprotected exposure is allowed"));
  EXPECT_EQ(AddedItems(), QStringList({"Movie[Cancel ,", "Stapes Displacement]"}));
  EXPECT_TRUE(fs::exists(folder_ / "waves" / "RIFLE.HAZ"));

  Trigger("ARU(U) Auditory Risk Units, Unwarned");
  ASSERT_EQ(prompts_.Informations.size(), 1);
  EXPECT_TRUE(prompts_.Informations[0].startsWith("The hazard analysis ends here"));
  EXPECT_EQ(AddedItems().size(), 2);
  EXPECT_EQ(Cell(1, 5), QString::fromStdString(AllowedText(aru)));
  EXPECT_FALSE(Cell(1, 6).isEmpty());
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
      {3, 1.0f, "Number of exposures with selected protector, warned"}};
  for (const auto& [mic, gain, caption] : cases) {
    SCOPED_TRACE(mic);
    TForm1& w = Start();
    Open(WriteShot("RIFLE.ORV", {.MicLocation = mic}, gain));
    Trigger("ARU(W) Auditory Risk Units, Warned");
    ExpectNoErrors();
    EXPECT_EQ(Cell(0, 5), caption);
    if (gain == 0.0f) {
      EXPECT_EQ(Cell(1, 5), "unlimited");
      EXPECT_EQ(Cell(2, 5), "0.0000 A.R.U.");
      EXPECT_TRUE(w.statusBox()->toolTip().isEmpty());
    }
    window_.reset();
  }
}

// Everything the window shows of an analysis, and what it keeps for the next command.
struct AnalysisView {
  QStringList Texts;  // status box and its tooltip, what is shown, progress, items, grid cells
  QImage Image;
  std::vector<bool> Enabled;
  std::optional<float> Hazard;
  std::string HazardFile;
  bool operator==(const AnalysisView&) const = default;
};

// After a result and a new rate typed into the grid, a run stopped by Esc or the Cancel button at
// its first, a middle or its last progress step leaves all of that as it was after the edit: the
// first result with its items, which still work. (The next analysis is the one an uncancelled run
// gives: CommandSequenceTest.)
TEST_F(AnalyzeTest, ACancelledAnalysisChangesNothing) {
  TForm1& w = OpenRifle();
  Trigger("ARU(W) Auditory Risk Units, Warned");
  w.gridView()->setCurrentCell(2, 1);
  w.gridView()->item(2, 1)->setText("100000");
  PressEnterInGrid();
  ASSERT_EQ(Record().SampleRate, 100000.0f);
  const auto view = [&] {
    const int shown = w.statusBox()->isVisible() + 2 * w.progressBar()->isVisible() +
                      4 * w.HazardIsComputed() + 8 * w.PopupOpens();
    AnalysisView v{{w.statusBox()->text(), w.statusBox()->toolTip(), QString::number(shown),
                    QString::number(w.progressBar()->value())},
                   w.canvas()->Image().copy(),
                   {},
                   {},
                   Bytes(folder_ / "waves" / "RIFLE.HAZ")};
    v.Texts << AddedItems();
    for (int row = 0; row < HeaderGrid::kRows; ++row)
      for (int column = 0; column < HeaderGrid::kColumns; ++column) v.Texts << Cell(column, row);
    for (QAction* item : w.PopupMenu()->actions()) v.Enabled.push_back(item->isEnabled());
    for (QAction* item : w.menuBar()->actions()) v.Enabled.push_back(item->isEnabled());
    if (w.Hazard()) v.Hazard = w.Hazard()->Cochlea.Hazard;
    return v;
  };
  const AnalysisView before = view();
  ASSERT_TRUE(before.Hazard.has_value());

  // The sample to stop at (8188: the last step, 23 x 356), by the button or by Esc, and the
  // command.
  const std::tuple<std::int32_t, bool, const char*> cancels[] = {
      {0, false, "ARU(W) Auditory Risk Units, Warned"},
      {4000, true, "ARU(U) Auditory Risk Units, Unwarned"},
      {8188, false, "ARU(U) Auditory Risk Units, Unwarned"}};
  for (const auto& [at, byButton, command] : cancels) {
    SCOPED_TRACE(at);
    std::int32_t stoppedAt = -1;
    CancelAnalysisAt(at, byButton, &stoppedAt);
    Trigger(command);
    EXPECT_GE(stoppedAt, at);
    ExpectNoErrors();
    EXPECT_TRUE(view() == before);
    EXPECT_FALSE(w.cancelButton()->isVisible());
  }
  Trigger("Stapes Displacement]");
  EXPECT_EQ(AddedItems(), QStringList({"Movie[Cancel ,", "Unwrap Cochlea]"}));
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
  EXPECT_TRUE(Cell(1, 6).isEmpty());
}

}  // namespace
}  // namespace orvek

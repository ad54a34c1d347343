// The main window driven as a user would, with scripted dialogs on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTableWidget>
#include <fstream>

#include "tests/gui/WindowFixture.h"

namespace orvek {
namespace {

using MainWindowTest = WindowTest;

TEST_F(MainWindowTest, MissingStartUpFilesAreReportedByNameAndStartUpGoesOn) {
  const char* names[] = {"Man.Fig", "EarModel.jpg", "HPD Atten.txt"};
  for (const char* name : names) fs::remove(folder_ / "startup" / name);
  Start();
  ASSERT_EQ(prompts_.Errors.size(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(prompts_.Errors[i].contains(names[i])) << names[i];
  EXPECT_FALSE(Item("&Analyze")->isEnabled());
}

TEST_F(MainWindowTest, AShortParameterFileIsReportedWithItsLine) {
  const fs::path parameters = folder_ / "startup" / "HUMANEAR.PRM";
  std::ifstream in(parameters);
  std::string text, line;
  for (int i = 0; i < 50 && std::getline(in, line); ++i) text += line + "\n";
  in.close();
  std::ofstream(parameters, std::ios::trunc) << text;
  Start();
  ASSERT_EQ(prompts_.Errors.size(), 1);
  const QString& error = prompts_.Errors[0];
  EXPECT_TRUE(error.contains("HUMANEAR.PRM") && error.contains("line 51")) << error.toStdString();
}

TEST_F(MainWindowTest, OpeningAFileFillsTheHeaderEnablesTheCommandsAndLaysOutTheWindow) {
  TForm1& w = Start();
  WriteOrv(In("Run1.orv"), 4150);
  Choose(In("Run1.orv"));
  Trigger("Open ORV waveform");
  ExpectNoErrors();
  EXPECT_EQ(prompts_.FileDialogs.back().Filter, "Prepared waveforms|*.ORV|All Files|*.*");
  EXPECT_EQ(w.windowTitle(), "ORVEK INTENSE SOUND HAZARD ANALYSIS OF: RUN1");
  EXPECT_EQ(Cell(2, 1), "TEST SHOT");
  EXPECT_EQ(Cell(1, 4), "4150");
  EXPECT_EQ(Record().Count(), 4096);  // 4150 is within 2^0.025 of 4096: cut
  EXPECT_TRUE(Item("Save WAV waveform")->isEnabled());
  EXPECT_TRUE(w.PopupOpens());
  EXPECT_EQ(w.gridView()->height(), w.ClientSize().height() / 2);  // the plot below it

  // The geometry follows the client area.
  w.resize(900, 700);
  QApplication::processEvents();
  const QSize client = w.ClientSize();
  EXPECT_EQ(w.canvas()->Image().size(), client);
  EXPECT_EQ(w.gridView()->size(), QSize(client.width(), client.height() / 2));
  EXPECT_EQ(w.Snapshot(), w.canvas()->Image());  // the redrawn plot is what erasing restores
}

TEST_F(MainWindowTest, ARefusedFileLeavesTheWindowAsItWas) {
  TForm1& w = Start();
  WriteOrv(In("BAD.ORV"), 100, "abc ");
  Choose(In("BAD.ORV"));
  Trigger("Open ORV waveform");
  ASSERT_EQ(prompts_.Errors.size(), 1);
  EXPECT_TRUE(prompts_.Errors[0].contains("BAD.ORV"));
  EXPECT_EQ(w.windowTitle(), "ORVEK INTENSE SOUND HAZARD ANALYSIS");
  EXPECT_FALSE(Item("&Analyze")->isEnabled());
}

TEST_F(MainWindowTest, AFileLongerThanTheBuffersIsCutAndTheUserIsTold) {
  TForm1& w = Start(1000);
  WriteOrv(In("LONG.ORV"), 1500);
  Open(In("LONG.ORV"));
  ASSERT_EQ(prompts_.Informations.size(), 1);
  EXPECT_TRUE(prompts_.Informations[0].contains("LONG.ORV"));
  EXPECT_EQ(w.Record().Waveform().Count(), 512);  // the largest power of two the buffers hold
}

TEST_F(MainWindowTest, DoubleClickChangesThePressureRangeOnce) {
  Start();
  DoubleClick();  // before any plot: nothing is asked
  EXPECT_TRUE(prompts_.InputPrompts.isEmpty());

  WriteOrv(In("R.ORV"), 4096);
  Open(In("R.ORV"));  // axis from -500 to 1000 Pa
  // Max: 9000 lies outside five times the range and is asked again; 2000 is taken.
  // Min: Cancel keeps the current minimum.
  prompts_.Texts = {QString("9000"), QString("2000"), std::nullopt};
  DoubleClick();
  ExpectNoErrors();
  ASSERT_EQ(prompts_.InputPrompts.size(), 3);
  EXPECT_EQ(prompts_.InputPrompts[0],
            "ENTER FLOAT POINT NUMBER|Max Pa from -2500.000 to 5000.000|1000.000");
  EXPECT_EQ(prompts_.InputPrompts[2],
            "ENTER FLOAT POINT NUMBER|Min Pa from -2500.000 to 2000.000|-500.000");
  EXPECT_FLOAT_EQ(Record().AxisMax, 2000.0f);
  EXPECT_FLOAT_EQ(Record().AxisMin, -500.0f);
  prompts_.InputPrompts.clear();
  DoubleClick();
  EXPECT_TRUE(prompts_.InputPrompts.isEmpty());

  // After an overlay, the typed limits give a fresh plot of the record alone.
  TForm1& w = *window_;
  const auto lowerHalf = [&w] {
    const QImage& i = w.canvas()->Image();
    return i.copy(0, i.height() / 2, i.width(), i.height() / 2);
  };
  const QImage plot = lowerHalf();
  Choose(In("R.ORV"));
  Trigger("Overlay ORV waveform");
  ASSERT_NE(lowerHalf(), plot);
  prompts_.Texts = {QString("2000"), QString("-500")};
  DoubleClick();
  EXPECT_EQ(lowerHalf(), plot);

  // With a cursor tool open, its lines are drawn over the new plot.
  Trigger("Select &Segment");
  prompts_.Texts = {QString("2000"), QString("-500")};
  DoubleClick();
  ExpectNoErrors();
  EXPECT_EQ(
      w.canvas()->Image().pixelColor(w.Cursors().X1, w.PlotArea().Top + w.PlotArea().Height / 2),
      QColor(Qt::red));
}

TEST_F(MainWindowTest, SavesWriteTheFileAndReturnTheWindowToItsEmptyState) {
  TForm1& w = Start();
  WriteOrv(In("run2.orv"), 4100);
  Open(In("run2.orv"));
  Choose(In("copy"));
  Trigger("Save ORV waveform as");
  ExpectNoErrors();
  EXPECT_EQ(prompts_.FileDialogs.back().ProposedName, "run2.ORV");
  EXPECT_TRUE(fs::exists(In("copy.ORV")));  // no extension typed: ".ORV" added
  EXPECT_FALSE(w.gridView()->isVisible());
  EXPECT_FALSE(w.Record().Loaded());
  EXPECT_FALSE(Item("&Analyze")->isEnabled());

  // "Save ORV waveform" rewrites the file the record belongs to (matched case-insensitively).
  Open(In("copy.ORV"));
  EXPECT_EQ(Record().Count(), 4096);
  Trigger("Save ORV waveform");
  ExpectNoErrors();
  Open(In("COPY.orv"));
  EXPECT_EQ(w.Record().File(), In("copy.ORV"));
  EXPECT_EQ(Cell(2, 1), "TEST SHOT");  // read-and-save cycles keep the cells as they were
}

TEST_F(MainWindowTest, LiveCellsApplyTheirEditsWhenAnotherCellIsSelected) {
  TForm1& w = Start();
  WriteOrv(In("E.ORV"), 4096);
  Open(In("E.ORV"));
  // Row of column 1, text typed, text shown after another cell is selected: a rate below 1 gives
  // the previous rate without decimals, a location outside 1..3 the previous one.
  const std::tuple<int, QString, QString> cases[] = {
      {2, "100000", "100000"}, {2, "0.5", "100000"}, {3, "7", "1"}, {3, "3", "3"}};
  for (const auto& [row, typed, shownAfter] : cases) {
    w.gridView()->setCurrentCell(row, 1);
    w.gridView()->item(row, 1)->setText(typed);
    w.gridView()->setCurrentCell(20, 0);
    EXPECT_EQ(Cell(1, row), shownAfter) << typed.toStdString();
  }
  EXPECT_FLOAT_EQ(Record().SampleRate, 100000.0f);
  EXPECT_FLOAT_EQ(Record().SampleInterval, 1e-5f);
  EXPECT_EQ(Record().MicLocation, 3);

  // Enter applies at once: a title edit changes the plot title.
  w.gridView()->setCurrentCell(1, 2);
  w.gridView()->item(1, 2)->setText("NEW TITLE");  // cell (2, 1): the plot title
  PressEnterInGrid();
  EXPECT_EQ(Record().PlotTitle, "NEW TITLE");
}

}  // namespace
}  // namespace orvek

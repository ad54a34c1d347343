// Import and the editing commands driven through the window, the cursor tool with synthetic mouse
// events. The edits' numbers are the core's (tests/core/WaveformEditTest.cpp): here each command
// must give what its core routine gives on the same record with the span its lines read.
#include <gtest/gtest.h>
#include <sndfile.h>

#include "tests/gui/WindowFixture.h"
#include "waveform/ImportReader.h"
#include "waveform/WaveformEdit.h"

namespace orvek {
namespace {

class ImportEditTest : public WindowTest {
 protected:
  TForm1& Import(const fs::path& file) {
    TForm1& w = window_ ? *window_ : Start();
    Choose(file);
    Trigger("Import waveform");
    return w;
  }
  fs::path WriteText(const std::string& name, const std::string& text) {
    std::ofstream(In(name), std::ios::binary) << text;
    return In(name);
  }
  // An impulse record opened as an ORV file: 2048 samples at 100 kHz, 3000 Pa (163.5 dB) peak at
  // sample 600, rising from sample 590, on a 5 Pa offset.
  TForm1& OpenImpulse() {
    TForm1& w = window_ ? *window_ : Start();
    WriteOrv(In("SHOT.ORV"), 2048, "100000 ", "1 ", [](int i) {
      const float rise = i >= 590 && i <= 600 ? 3000.0f * (i - 589) / 11.0f : 0.0f;
      const float decay = i > 600 ? 3000.0f * std::exp(-(i - 600) / 20.0f) : 0.0f;
      return 5.0f + rise + decay;
    });
    Open(In("SHOT.ORV"));
    return w;
  }
  // The record must be `expected`, sample for sample, with its count in the grid and no tool or
  // view left open.
  void ExpectRecord(const TWaveform& expected) const {
    ExpectNoErrors();
    EXPECT_FALSE(window_->Cursors().Active);
    EXPECT_FALSE(window_->Record().ViewOpen());
    ASSERT_EQ(Record().Count(), expected.Count());
    EXPECT_EQ(Cell(1, 4), QString::number(expected.Count()));
    for (std::int32_t i = 0; i < expected.Count(); ++i)
      ASSERT_EQ(Record().Samples[i], expected.Samples[i]) << i;
  }
  // The record as the window holds it now.
  TWaveform Copy() const {
    TWaveform copy(window_->Record().Capacity());
    window_->Record().CopyTo(copy);
    return copy;
  }
};

TEST_F(ImportEditTest, SpreadsheetColumnIsImportedWithTheImportHeaderAndMenuStates) {
  const fs::path csv =
      WriteText("shot.050", "Time, A, B\r\nseconds, Pa, Pa\r\n0,1,2\r\n3,4,5\r\n6,7,8\r\n");
  Start();
  prompts_.Answers.push_back(Prompts::Answer::Yes);
  prompts_.Texts.push_back("2");
  TForm1& w = Import(csv);
  ExpectNoErrors();
  ASSERT_EQ(prompts_.Questions.size(), 1);
  EXPECT_TRUE(prompts_.Questions[0].startsWith("3 columns of numbers were detected."));
  ASSERT_EQ(Record().Count(), 3);
  EXPECT_EQ(Record().Samples[2], 7.0f);
  EXPECT_EQ(Cell(2, 1), "NEW SOURCE");
  EXPECT_EQ(w.windowTitle(), "ORVEK INTENSE SOUND HAZARD IMPORTING FILE: shot.050");
  EXPECT_FALSE(Item("&Analyze")->isEnabled());
  EXPECT_FALSE(Item("Save ORV waveform")->isEnabled());
  EXPECT_TRUE(Item("Save ORV waveform as")->isEnabled());
}

// A file that fails leaves the import defaults and nothing to save. With a file loaded, a failed
// or cancelled import changes nothing: no import header in the grid, the file's rate and location
// kept, Analyze and Save still enabled, the picture as it was.
TEST_F(ImportEditTest, AFileThatFailsLeavesTheImportDefaultsAndNothingToSave) {
  prompts_.Answers = {Prompts::Answer::No, Prompts::Answer::No};
  Import(WriteText("bad.txt", "1\n2\n3.4.5\n"));
  ASSERT_EQ(prompts_.Errors.size(), 1);
  EXPECT_TRUE(prompts_.Errors[0].contains("bad.txt")) << prompts_.Errors[0].toStdString();
  EXPECT_EQ(Record().Count(), 0);
  EXPECT_FALSE(window_->gridView()->isVisible());
  EXPECT_FALSE(Item("Save ORV waveform as")->isEnabled());

  TForm1& w = OpenImpulse();
  const QImage before = w.canvas()->Image().copy();
  Import(In("bad.txt"));
  ASSERT_EQ(prompts_.Errors.size(), 2);
  prompts_.Files.push_back(std::nullopt);
  Trigger("Import waveform");
  EXPECT_EQ(Record().Count(), 2048);
  EXPECT_EQ(Cell(2, 1), "TEST SHOT");
  EXPECT_EQ(Cell(1, 2), "100000");
  EXPECT_EQ(w.Record().File(), In("SHOT.ORV"));
  EXPECT_TRUE(Item("Save ORV waveform")->isEnabled());
  EXPECT_EQ(w.windowTitle(), "ORVEK INTENSE SOUND HAZARD ANALYSIS OF: SHOT");
  EXPECT_EQ(w.canvas()->Image(), before);
}

TEST_F(ImportEditTest, SixteenBitFilesAreReadInTheByteOrderTheUserChooses) {
  // Not text (byte 1) and not float-like (high bytes 0x50): 16-bit integers.
  const fs::path raw = WriteText("probe.dat", std::string("\x01\x00\x01\x50\x02\x00\x01\x50", 8));
  // Cancel reads nothing: the record stays the one read before.
  const std::vector<float> little{1, 0x5001, 2, 0x5001}, big{0x0100, 0x0150, 0x0200, 0x0150};
  Start();
  const std::pair<Prompts::Answer, std::vector<float>> cases[] = {
      {Prompts::Answer::Yes, little}, {Prompts::Answer::No, big}, {Prompts::Answer::Cancel, big}};
  for (const auto& [answer, values] : cases) {
    prompts_.Answers.push_back(answer);
    Import(raw);
    EXPECT_TRUE(prompts_.Questions.back().startsWith("This file may contain 16 bit binary"));
    EXPECT_EQ(
        std::vector<float>(Record().Samples.begin(), Record().Samples.begin() + Record().Count()),
        values);
  }
  ExpectNoErrors();
}

TEST_F(ImportEditTest, ALargeTextFileAsksForItsChannelsAndReadsOne) {
  // Just over the in-memory limit: two multiplexed channels, the second -1 throughout; the two
  // values of the first line are proposed as the channel count.
  const std::int64_t limit = ImportLimits{}.InMemoryBytes;
  std::string text;
  text.reserve(static_cast<std::size_t>(limit) + 8);
  while (static_cast<std::int64_t>(text.size()) <= limit) text += "1,-1\n";
  const fs::path big = WriteText("big.txt", text);
  text.clear();
  text.shrink_to_fit();
  Start(1000);
  prompts_.Texts = {QString("2"), QString("1")};
  Import(big);
  ExpectNoErrors();
  ASSERT_EQ(prompts_.Informations.size(), 2);
  EXPECT_TRUE(prompts_.Informations[0].contains("Assume 2 ASCII data channels are multiplexed"));
  EXPECT_TRUE(prompts_.Informations[1].contains("the first 1000 were read"));
  EXPECT_EQ(prompts_.InputPrompts[0], "ENTER INTEGER|Number of channels from 1 to 100|2");
  EXPECT_EQ(prompts_.InputPrompts[1], "ENTER INTEGER|Channel to import from 0 to 1|0");
  ASSERT_EQ(Record().Count(), 1000);
  EXPECT_EQ(Record().DataMax, -1.0f);
}

TEST_F(ImportEditTest, TheCursorToolDrawsInXorAndMovesTheNearerLine) {
  TForm1& w = OpenImpulse();
  Trigger("Select &Segment");
  const CursorArea a = w.PlotArea();
  const CursorToolState& c = w.Cursors();
  EXPECT_EQ(c.X1, a.Left + int(std::nearbyint(0.05 * a.Width)));
  const QImage withLines = w.canvas()->Image().copy();
  EXPECT_EQ(withLines.pixelColor(c.X1, a.Top + a.Height / 2), QColor(Qt::red));

  // A press near the second line moves it; pressing back at its old place restores every pixel.
  const int second = c.X2;
  for (const int x : {second - 30, second}) {
    Mouse(QEvent::MouseButtonPress, x);
    Mouse(QEvent::MouseButtonRelease, x);
    EXPECT_EQ(c.X2, x);
  }
  EXPECT_EQ(w.canvas()->Image(), withLines);

  SetLines(PixelOf(400), PixelOf(1500));
  TWaveform expected = Copy();
  SelectSegment(expected, ReadCursors(c.X1, c.X2, a, 2047));
  ClickToolButton();
  ExpectRecord(expected);
  EXPECT_EQ(Record().TimeStart, expected.TimeStart);
  EXPECT_TRUE(w.PopupOpens());
}

// Taper, Set Baseline, Establish Start and Resample, one after the other, each change the whole
// record as their core routine does with the span their lines read; a view is never the record.
TEST_F(ImportEditTest, AViewIsNeverAnalysedOrSavedInsteadOfTheRecord) {
  TForm1& w = OpenImpulse();
  const CursorArea a = w.PlotArea();
  const CursorToolState& c = w.Cursors();
  const auto lines = [&] {
    return ReadCursors(c.X1, c.X2, a, w.Record().Shown().LastSampleIndex, true);
  };
  TWaveform expected = Copy();
  Trigger("&Taper Ends");
  EXPECT_EQ(c.X1, PixelOf(375));  // 3.75 ms at 100 kHz
  ApplyTaper(expected, lines());
  ClickToolButton();
  ExpectRecord(expected);

  // Set Baseline's lines are read in its expanded view, a view of the record, which stays whole.
  Trigger("Set &Baseline");
  const SampleSpan view = lines();
  ClickToolButton();
  const SampleSpan span = lines();
  RemoveBaseline(expected, {view.First + span.First, view.First + span.Last});
  ClickToolButton();
  ExpectRecord(expected);

  // Establish Start shows the rise up to twice the peak's index, its line at the threshold
  // crossing (590) and the level under it.
  Trigger("&Establish Start");
  EXPECT_EQ(w.Record().Shown().LastSampleIndex, 1200);
  EXPECT_LE(std::abs(CursorIndex(c.X1, a, 1200) - 590), 1);
  Drag(c.X1, PixelOf(600));
  const std::int32_t chosen = CursorIndex(c.X1, a, 1200);
  EXPECT_EQ(Cell(1, 8), QString::number(StartLevelDb(Record().Samples[chosen]), 'f', 1));
  ShiftStart(expected, chosen);
  ClickToolButton();
  EXPECT_EQ(Cell(2, 8), "dB at 5.0 msec.");
  ExpectRecord(expected);

  // Resample asks first; Cancel changes nothing.
  prompts_.Answers = {Prompts::Answer::Cancel, Prompts::Answer::Yes};
  prompts_.Texts.push_back("50000");
  Trigger("&Resample");
  EXPECT_EQ(prompts_.Questions.back(), "Sample rate = 100000 samples/sec. Change sample rate?");
  ExpectRecord(expected);
  Trigger("&Resample");
  Resample(expected, 50000);
  ExpectRecord(expected);
  EXPECT_EQ(Cell(1, 2), "50000");

  // In Set Baseline's view an open dialog cancelled leaves the tool and its view, and "Save WAV
  // waveform" and "Save ORV waveform" take the whole record (a view analysed: CommandSequenceTest).
  Trigger("Set &Baseline");
  ClickToolButton();
  prompts_.Files.push_back(std::nullopt);
  Trigger("Open ORV waveform");
  ASSERT_TRUE(w.Record().ViewOpen());
  Choose(In("VIEW.WAV"));
  Trigger("Save WAV waveform");
  SF_INFO info{};
  sf_close(sf_open(In("VIEW.WAV").c_str(), SFM_READ, &info));
  EXPECT_EQ(info.frames, expected.Count());
  Trigger("Save ORV waveform");
  TWaveform saved(4096);
  HeaderGrid grid;
  Lcg32 random;
  OpenNewFileType5(In("SHOT.ORV"), false, saved, grid, random);
  EXPECT_GE(saved.Count(), expected.Count());  // the whole record, not the view
}

// The pop-up items reach the calibration in their units (the units themselves are checked on the
// core), the axis following the new scale; a record whose largest sample is not positive cannot be
// scaled to a peak and is refused with a message.
TEST_F(ImportEditTest, PopupItemsCalibrateInTheirUnits) {
  OpenImpulse();
  TWaveform expected = Copy();
  const std::tuple<const char*, CalibrationUnit, float> items[] = {
      {"Peak Pressure &Level dB", CalibrationUnit::PeakLevelDb, 166},
      {"P.&S.I", CalibrationUnit::Psi, 1},
      {"&KiloPascals", CalibrationUnit::KiloPascal, 2},
      {"&Multiply data by keyboard input", CalibrationUnit::Factor, -1}};  // all samples negative
  for (const auto& [caption, unit, value] : items) {
    prompts_.Texts.push_back(QString::number(value));
    Trigger(caption);
    ApplyCalibration(expected, unit, value);
    EXPECT_EQ(Record().DataMax, expected.DataMax) << caption;
    EXPECT_TRUE(value < 0 || Record().AxisMax == expected.DataMax) << caption;
  }
  ExpectNoErrors();
  prompts_.Texts.push_back("166");
  Trigger("Peak Pressure &Level dB");
  ASSERT_EQ(prompts_.Errors.size(), 1);
  EXPECT_EQ(Record().DataMax, expected.DataMax);
}

}  // namespace
}  // namespace orvek

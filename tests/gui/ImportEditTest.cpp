// Import and the editing commands driven through the window, the cursor tool with synthetic mouse
// events.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <QMouseEvent>
#include <cmath>

#include "tests/gui/WindowFixture.h"
#include "waveform/ImportReader.h"
#include "waveform/OrvFile.h"

namespace orvek {
namespace {

class ImportEditTest : public WindowTest {
 protected:
  TForm1& Import(const fs::path& file) {
    TForm1& w = window_ ? *window_ : Start();
    prompts_.Files.push_back(QString::fromStdString(file.string()));
    Trigger("Import waveform");
    return w;
  }
  fs::path WriteText(const std::string& name, const std::string& text) {
    const fs::path path = folder_ / "waves" / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  // An impulse record opened as an ORV file: 2048 samples at 100 kHz, 3000 Pa (163.5 dB) peak at
  // sample 600, rising from sample 590, on a 5 Pa offset.
  TForm1& OpenImpulse() {
    TForm1& w = Start();
    WriteOrv(folder_ / "waves" / "SHOT.ORV", 2048, "100000 ", "1 ", [](int i) {
      const float rise = i >= 590 && i <= 600 ? 3000.0f * (i - 589) / 11.0f : 0.0f;
      const float decay = i > 600 ? 3000.0f * std::exp(-(i - 600) / 20.0f) : 0.0f;
      return 5.0f + rise + decay;
    });
    Open(folder_ / "waves" / "SHOT.ORV");
    return w;
  }
  // Pixel whose cursor index is `index`.
  int PixelOf(std::int32_t index) const {
    const CursorArea a = window_->PlotArea();
    return a.Left + static_cast<int>(std::nearbyint(double(index) * a.Width /
                                                    window_->Record().Shown().LastSampleIndex));
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
  EXPECT_EQ(Record().Samples[0], 1.0f);
  EXPECT_EQ(Record().Samples[2], 7.0f);
  EXPECT_EQ(Record().SampleRate, 200000.0f);
  EXPECT_EQ(Cell(2, 1), "NEW SOURCE");
  EXPECT_EQ(Cell(1, 4), "3");
  EXPECT_EQ(Cell(0, 11), "A-weighted energy");
  EXPECT_EQ(w.windowTitle(), "ORVEK INTENSE SOUND HAZARD IMPORTING FILE: shot.050");
  EXPECT_FALSE(Item("&Analyze")->isEnabled());
  EXPECT_FALSE(Item("Save ORV waveform")->isEnabled());
  EXPECT_TRUE(Item("Save ORV waveform as")->isEnabled());
  EXPECT_TRUE(w.PopupOpens());
  EXPECT_EQ(w.gridView()->columnWidth(0), 240);  // round(0.2 x 1200)
}

TEST_F(ImportEditTest, AStereoWavFileShowsItsDescriptionAndStoresLeftThenRight) {
  const fs::path wav = folder_ / "waves" / "take.wav";
  SF_INFO info{};
  info.samplerate = 48000;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* out = sf_open(wav.c_str(), SFM_WRITE, &info);
  ASSERT_NE(out, nullptr);
  std::vector<short> frames(2000);
  for (int f = 0; f < 1000; ++f) {
    frames[2 * f] = static_cast<short>(f);
    frames[2 * f + 1] = static_cast<short>(-f);
  }
  sf_writef_short(out, frames.data(), 1000);
  sf_close(out);

  Import(wav);
  ExpectNoErrors();
  EXPECT_EQ(Cell(2, 2), "PCM Data, PCM, 16 bits per sample, Stereo");
  EXPECT_EQ(Cell(1, 2), "48000");
  ASSERT_EQ(Record().Count(), 2000);
  EXPECT_EQ(Record().Samples[999], 999.0f);
  EXPECT_EQ(Record().Samples[1999], -999.0f);
}

// A file that fails, or yields nothing, leaves the record, its header and the window as they were.
TEST_F(ImportEditTest, AFileThatFailsLeavesTheRecordAsItWas) {
  // Only the column taken must be numbers: the question comes first.
  prompts_.Answers = {Prompts::Answer::No, Prompts::Answer::No};
  Import(WriteText("bad.txt", "1\n2\n3.4.5\n"));
  ASSERT_EQ(prompts_.Errors.size(), 1);
  EXPECT_TRUE(prompts_.Errors[0].contains("bad.txt")) << prompts_.Errors[0].toStdString();
  EXPECT_EQ(Record().Count(), 0);
  EXPECT_FALSE(window_->gridView()->isVisible());
  EXPECT_FALSE(Item("Save ORV waveform as")->isEnabled());

  TForm1& w = OpenImpulse();
  Import(WriteText("bad.txt", "1\n2\n3.4.5\n"));
  ASSERT_EQ(prompts_.Errors.size(), 2);
  EXPECT_EQ(Record().Count(), 2048);
  EXPECT_EQ(Cell(1, 2), "100000");
  EXPECT_EQ(w.Record().File(), folder_ / "waves" / "SHOT.ORV");
  EXPECT_TRUE(Item("&Analyze")->isEnabled());
}

TEST_F(ImportEditTest, SixteenBitFilesAreReadInTheByteOrderTheUserChooses) {
  // Not text (byte 1) and not float-like (high bytes 0x50): 16-bit integers.
  const fs::path raw = WriteText("probe.dat", std::string("\x01\x00\x01\x50\x02\x00\x01\x50", 8));
  const struct {
    Prompts::Answer Answer;
    std::vector<float> Values;
  } cases[] = {{Prompts::Answer::Yes, {1, 0x5001, 2, 0x5001}},
               {Prompts::Answer::No, {0x0100, 0x0150, 0x0200, 0x0150}},
               {Prompts::Answer::Cancel, {0x0100, 0x0150, 0x0200, 0x0150}}};  // nothing read
  Start();
  for (const auto& c : cases) {
    prompts_.Answers.push_back(c.Answer);
    Import(raw);
    EXPECT_TRUE(prompts_.Questions.back().startsWith("This file may contain 16 bit binary"));
    ASSERT_EQ(Record().Count(), static_cast<int>(c.Values.size()));
    for (std::size_t i = 0; i < c.Values.size(); ++i)
      EXPECT_EQ(Record().Samples[static_cast<int>(i)], c.Values[i]);
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
  prompts_.Texts.push_back("2");
  prompts_.Texts.push_back("1");
  Import(big);
  ExpectNoErrors();
  ASSERT_EQ(prompts_.Informations.size(), 2);
  EXPECT_TRUE(prompts_.Informations[0].startsWith(
      QString("File size of %1 bytes exceeds input buffer limit of 67108864. Assume 2 ASCII data "
              "channels are multiplexed")
          .arg(fs::file_size(big))));
  EXPECT_TRUE(prompts_.Informations[1].contains("the first 1000 were read"));
  EXPECT_TRUE(prompts_.Informations[1].contains("2 multiplexed channels from line 1 on"));
  EXPECT_EQ(prompts_.InputPrompts[0], "ENTER INTEGER|Number of channels from 1 to 100|2");
  EXPECT_EQ(prompts_.InputPrompts[1], "ENTER INTEGER|Channel to import from 0 to 1|0");
  ASSERT_EQ(Record().Count(), 1000);
  EXPECT_EQ(Record().DataMax, -1.0f);
  EXPECT_EQ(Record().DataMin, -1.0f);
}

// With a file loaded, a cancelled import changes nothing: no import header in the grid, the
// file's rate and location kept, Analyze and Save still enabled.
TEST_F(ImportEditTest, CancellingTheDialogChangesNothing) {
  TForm1& w = OpenImpulse();
  const QImage before = w.canvas()->Image().copy();
  prompts_.Files.push_back(std::nullopt);
  Trigger("Import waveform");
  EXPECT_EQ(Cell(2, 1), "TEST SHOT");
  EXPECT_EQ(Cell(1, 2), "100000");
  EXPECT_EQ(Record().SampleRate, 1e5f);
  EXPECT_EQ(Record().Count(), 2048);
  for (const char* on : {"&Analyze", "Save ORV waveform", "Overlay ORV waveform"})
    EXPECT_TRUE(Item(on)->isEnabled()) << on;
  EXPECT_EQ(w.windowTitle(), "ORVEK INTENSE SOUND HAZARD ANALYSIS OF: SHOT");
  EXPECT_EQ(w.canvas()->Image(), before);
}

TEST_F(ImportEditTest, ImportCalibrateSaveAndOpenMakesAnAnalysableFile) {
  std::string text;
  for (int i = 0; i < 4096; ++i) text += i == 100 ? "0.5\n" : i == 101 ? "-0.25\n" : "0\n";
  Start();
  prompts_.Answers.push_back(Prompts::Answer::No);  // one column: taken as it stands
  Import(WriteText("gun.100", text));
  ASSERT_EQ(Record().Count(), 4096);
  EXPECT_EQ(Record().SampleRate, 1e5f);
  EXPECT_EQ(Cell(1, 2), "100000");  // the rate the samples were read at, from ".100"

  prompts_.Texts.push_back("166");
  Trigger("Peak Pressure &Level dB");
  EXPECT_NEAR(Record().DataMax, 3981.07f, 0.01f);
  EXPECT_NEAR(Record().AxisMax, 3981.07f, 0.01f);  // the axis follows the new scale
  EXPECT_NEAR(Record().Samples[101], -3981.07f / 2, 0.01f);

  prompts_.Files.push_back(QString::fromStdString((folder_ / "waves" / "gun.ORV").string()));
  Trigger("Save ORV waveform as");
  ExpectNoErrors();
  Open(folder_ / "waves" / "gun.ORV");
  ExpectNoErrors();
  EXPECT_TRUE(Item("&Analyze")->isEnabled());
  EXPECT_NEAR(Record().DataMax, 3981.07f, 0.1f);
}

TEST_F(ImportEditTest, SaveWavWritesFloatPascalsWithTheTitle) {
  OpenImpulse();
  prompts_.Files.push_back(QString::fromStdString((folder_ / "waves" / "SHOT.WAV").string()));
  Trigger("Save WAV waveform");
  ExpectNoErrors();
  EXPECT_EQ(prompts_.FileDialogs.back().ProposedName, "SHOT.WAV");

  SF_INFO info{};
  SNDFILE* in = sf_open((folder_ / "waves" / "SHOT.WAV").c_str(), SFM_READ, &info);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  EXPECT_EQ(info.samplerate, 100000);
  std::vector<float> back(info.frames);
  sf_readf_float(in, back.data(), info.frames);
  EXPECT_STREQ(sf_get_string(in, SF_STR_TITLE), "TEST SHOT");
  sf_close(in);
  ASSERT_EQ(back.size(), static_cast<std::size_t>(Record().Count()));
  for (std::size_t i = 0; i < back.size(); ++i) ASSERT_EQ(back[i], Record().Samples[i]) << i;
}

TEST_F(ImportEditTest, TheCursorToolDrawsInXorAndMovesTheNearerLine) {
  TForm1& w = OpenImpulse();
  const QImage plain = w.canvas()->Image().copy();
  Trigger("Select &Segment");
  const CursorArea a = w.PlotArea();
  const CursorToolState& c = w.Cursors();
  EXPECT_TRUE(c.Active);
  EXPECT_FALSE(w.PopupOpens());
  ASSERT_NE(w.ToolButton(), nullptr);
  EXPECT_EQ(w.ToolButton()->text(), "&Done");
  EXPECT_EQ(w.ToolButton()->pos(), QPoint(a.Left + int(std::nearbyint(0.4 * a.Width)),
                                          int(std::nearbyint(1.05 * a.Height))));
  EXPECT_EQ(c.X1, a.Left + int(std::nearbyint(0.05 * a.Width)));
  const QImage withLines = w.canvas()->Image().copy();
  EXPECT_NE(withLines, plain);
  EXPECT_EQ(withLines.pixelColor(c.X1, a.Top + a.Height / 2), QColor(Qt::red));

  // A press near the second line moves it; pressing back at its old place restores every pixel.
  const int second = c.X2;
  Mouse(QEvent::MouseButtonPress, second - 30);
  Mouse(QEvent::MouseButtonRelease, second - 30);
  EXPECT_EQ(c.X2, second - 30);
  Mouse(QEvent::MouseButtonPress, second);
  Mouse(QEvent::MouseButtonRelease, second);
  EXPECT_EQ(w.canvas()->Image(), withLines);

  // Dragging shows the segment length live in the grid; the record keeps its count until Done.
  Drag(c.X1, PixelOf(500));
  EXPECT_EQ(Cell(1, 4).toInt(), CursorIndex(c.X2, a, 2047) - CursorIndex(c.X1, a, 2047) + 1);
  EXPECT_EQ(w.Record().Grid().Cell(1, 4), "2048");
  // A right click does not move a line but still drags.
  const int x1 = c.X1;
  Mouse(QEvent::MouseButtonPress, x1 + 5, Qt::RightButton);
  EXPECT_EQ(c.X1, x1);
  EXPECT_TRUE(c.Dragging);
  Mouse(QEvent::MouseButtonRelease, x1 + 5, Qt::RightButton);

  SetLines(PixelOf(400), PixelOf(1500));
  const SampleSpan span = ReadCursors(c.X1, c.X2, a, 2047);
  const float kept = Record().Samples[span.First];
  ClickToolButton();
  ExpectNoErrors();
  EXPECT_EQ(Record().Count(), span.Last - span.First + 1);
  EXPECT_EQ(Cell(1, 4), QString::number(span.Last - span.First + 1));
  EXPECT_EQ(Record().Samples[0], kept);
  EXPECT_NEAR(Record().TimeStart, span.First * 1e-5f, 1e-7f);
  EXPECT_FALSE(c.Active);
  EXPECT_TRUE(w.PopupOpens());
  EXPECT_EQ(w.ToolButton(), nullptr);
}

TEST_F(ImportEditTest, SetBaselineRemovesTheOffsetOfAQuietStretchFromTheWholeRecord) {
  TForm1& w = OpenImpulse();
  Trigger("Set &Baseline");
  EXPECT_EQ(w.ToolButton()->text(), "&Expand Selection");
  ClickToolButton();  // zoom into the first tenth: quiet, 5 Pa
  EXPECT_LT(w.Record().Shown().Count(), 2048);
  EXPECT_EQ(Record().Count(), 2048);  // a view: the record stays whole
  EXPECT_EQ(w.ToolButton()->text(), "&Select ");
  ClickToolButton();
  ExpectNoErrors();
  EXPECT_FALSE(w.Record().ViewOpen());
  EXPECT_EQ(Record().Count(), 2048);
  // The 5 Pa offset is gone everywhere (the ORV reader's dither is well below 0.1 Pa).
  EXPECT_NEAR(Record().Samples[10], 0.0f, 0.1f);
  EXPECT_NEAR(Record().Samples[2000], 0.0f, 0.1f);
  EXPECT_NEAR(Record().DataMax, 3000.0f, 0.2f);
  EXPECT_FALSE(w.Cursors().Active);
}

TEST_F(ImportEditTest, EstablishStartPutsTheChosenStartFiveMillisecondsIn) {
  TForm1& w = OpenImpulse();
  Trigger("&Establish Start");
  // The view ends at twice the peak's index; one line at the cross, the other beyond the edge.
  EXPECT_EQ(w.Record().Shown().LastSampleIndex, 1200);
  EXPECT_EQ(Record().LastSampleIndex, 2047);
  const CursorArea a = w.PlotArea();
  const CursorToolState& c = w.Cursors();
  EXPECT_GT(c.X2, a.Left + a.Width);
  EXPECT_EQ(Cell(0, 8), "Establish start level");
  EXPECT_EQ(Cell(2, 8), "dB at 5.0 msec");
  EXPECT_EQ(w.ToolButton()->text(), "&Done");
  // The line starts at the threshold crossing (590); moved, it shows the level under it.
  EXPECT_LE(std::abs(CursorIndex(c.X1, a, 1200) - 590), 1);
  Drag(c.X1, PixelOf(600));
  const std::int32_t chosen = CursorIndex(c.X1, a, 1200);
  EXPECT_EQ(Cell(1, 8), QString::number(StartLevelDb(Record().Samples[chosen]), 'f', 1));
  EXPECT_EQ(Cell(2, 8), "dB at " + QString::number(chosen * 0.01, 'f', 2) + " msec.");
  ClickToolButton();
  ExpectNoErrors();
  EXPECT_EQ(Cell(2, 8), "dB at 5.0 msec.");
  // Sample `chosen` now stands at 500 (5 ms at 100 kHz): the record moved by chosen - 500.
  EXPECT_EQ(Record().LastSampleIndex, 2047 - (chosen - 500));
  EXPECT_EQ(Cell(1, 4), QString::number(Record().Count()));
  // The first sample above the 100 Pa threshold stood at 590 and is within a sample of 500 now.
  const auto& p = Record().Samples;
  int first = 0;
  while (std::fabs(p[first]) < 100.0f) ++first;
  EXPECT_EQ(first, 500 + (590 - chosen));
}

// A shortened view (Establish Start's rise, Set Baseline's zoom) is never the record: the
// analysis, "Save WAV waveform" and "Save ORV waveform" take the whole record, and an open
// dialog cancelled meanwhile leaves the tool and its view as they were.
TEST_F(ImportEditTest, AViewIsNeverAnalysedOrSavedInsteadOfTheRecord) {
  TForm1& w = OpenImpulse();
  const fs::path shot = folder_ / "waves" / "SHOT.ORV";
  Trigger("ARU(W) Auditory Risk Units, Warned");
  const float whole = w.Hazard()->Cochlea.Hazard;
  Open(shot);
  Trigger("&Establish Start");
  Trigger("ARU(W) Auditory Risk Units, Warned");
  EXPECT_EQ(w.Hazard()->Cochlea.Hazard, whole);
  EXPECT_FALSE(w.Cursors().Active);

  Open(shot);
  Trigger("Set &Baseline");
  ClickToolButton();  // the view of the first tenth
  prompts_.Files.push_back(std::nullopt);
  Trigger("Open ORV waveform");
  ASSERT_TRUE(w.Record().ViewOpen());
  EXPECT_EQ(w.ToolButton()->text(), "&Select ");
  const fs::path wav = folder_ / "waves" / "VIEW.WAV";
  prompts_.Files.push_back(QString::fromStdString(wav.string()));
  Trigger("Save WAV waveform");
  SF_INFO info{};
  sf_close(sf_open(wav.c_str(), SFM_READ, &info));
  EXPECT_EQ(info.frames, 2048);
  const std::vector<float> before(Record().Samples.begin(), Record().Samples.begin() + 2048);
  Trigger("Save ORV waveform");
  ExpectNoErrors();
  TWaveform saved(4096);
  HeaderGrid grid;
  Lcg32 random;
  OpenNewFileType5(shot, false, saved, grid, random);
  ASSERT_EQ(saved.Count(), 2048);
  for (int i = 0; i < 2048; ++i) ASSERT_NEAR(saved.Samples[i], before[i], 0.2f) << i;
}

TEST_F(ImportEditTest, TaperEndsFadesBothEnds) {
  TForm1& w = OpenImpulse();
  Trigger("&Taper Ends");
  EXPECT_EQ(w.Cursors().X1, PixelOf(375));  // 3.75 ms at 100 kHz
  ClickToolButton();
  ExpectNoErrors();
  EXPECT_NEAR(Record().Samples[0], 0.0f, 1e-3f);
  EXPECT_NEAR(Record().Samples[2047], 0.0f, 1e-3f);
  EXPECT_NEAR(Record().Samples[1000], 5.0f + 3000.0f * std::exp(-400 / 20.0f), 0.1f);
}

// The pop-up items reach the calibration in their units (the units themselves are checked on the
// core) and the cursor commands; a record that cannot be scaled is refused with a message.
TEST_F(ImportEditTest, PopupItemsCalibrateAndStartTheCursorCommands) {
  TForm1& w = OpenImpulse();
  const std::tuple<const char*, const char*, float> items[] = {
      {"P.&S.I", "1", 6895.0f},
      {"&KiloPascals", "2", 2000.0f},
      {"&Multiply data by keyboard input", "0.5", 1000.0f},
      {"&Multiply data by keyboard input", "-1", -1.66f}};  // the largest sample: the baseline
  for (const auto& [caption, value, peakPa] : items) {
    prompts_.Texts.push_back(value);
    Trigger(caption);
    EXPECT_NEAR(Record().DataMax, peakPa, 0.5f) << caption;
  }
  ExpectNoErrors();
  prompts_.Texts.push_back("166");
  Trigger("Peak Pressure &Level dB");
  ASSERT_EQ(prompts_.Errors.size(), 1);
  EXPECT_NEAR(Record().Samples[600], -1000.0f, 0.5f);

  w.PopupMenu()->actions()[0]->trigger();
  EXPECT_TRUE(w.Cursors().Active);
  EXPECT_EQ(w.Cursors().Mode, 1);
}

TEST_F(ImportEditTest, ResampleAsksThenHalvesTheCount) {
  OpenImpulse();
  prompts_.Answers.push_back(Prompts::Answer::Cancel);
  Trigger("&Resample");
  EXPECT_EQ(Record().Count(), 2048);
  EXPECT_EQ(prompts_.Questions.back(), "Sample rate = 100000 samples/sec. Change sample rate?");

  prompts_.Answers.push_back(Prompts::Answer::Yes);
  prompts_.Texts.push_back("50000");
  Trigger("&Resample");
  ExpectNoErrors();
  EXPECT_EQ(Record().LastSampleIndex, 2047 / 2);
  EXPECT_EQ(Cell(1, 2), "50000");
  EXPECT_EQ(Cell(1, 4), QString::number(2047 / 2 + 1));
}

}  // namespace
}  // namespace orvek

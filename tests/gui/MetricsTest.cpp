// Statistics, the impulse criteria, the Leq300ms spectrum mode and the paired comparison driven
// through the window.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMouseEvent>
#include <cmath>
#include <map>

#include "metrics/BandComparison.h"
#include "metrics/ImpulseCriteria.h"
#include "metrics/Leq300Spectrum.h"
#include "model/Friedlander.h"
#include "tests/gui/WindowFixture.h"

namespace orvek {
namespace {

class MetricsTest : public WindowTest {
 protected:
  // A 160 dB, 0.3 ms Friedlander impulse at 200 kHz starting at 5 ms, 8192 samples (41 ms).
  fs::path WriteShot(const std::string& name) {
    FriedlanderSpec spec;
    spec.Samples = 8192;
    const std::vector<float> samples = FriedlanderSamples(spec);
    const fs::path path = folder_ / "waves" / name;
    WriteOrv(path, 8192, "200000 ", "1 ", [&](int i) { return samples[std::size_t(i)]; });
    return path;
  }
  TForm1& OpenShot(const std::string& chosen = "shot.ORV") {
    TForm1& w = Start();
    WriteShot("shot.ORV");
    Open(folder_ / "waves" / chosen);
    return w;
  }
  QStringList MenuBarItems() const {
    QStringList captions;
    for (QAction* action : window_->menuBar()->actions()) captions << action->text();
    return captions;
  }
  static std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
};

TEST_F(MetricsTest, StatisticsShowsPeakWhileDraggingMeasuresOnReleaseAndExplainsOneSample) {
  TForm1& w = OpenShot();
  Trigger("St&atistics");
  const CursorArea a = w.PlotArea();
  const CursorToolState& c = w.Cursors();
  EXPECT_EQ(c.X1, a.Left + int(std::nearbyint(0.02 * a.Width)));
  EXPECT_EQ(Cell(0, 8), "LAeq and Leq");
  ASSERT_NE(w.ToolButton(), nullptr);
  EXPECT_FALSE(w.PopupOpens());

  // Move the first line to about 4 ms: the impulse (at 5 ms) stays inside the interval.
  const int to = a.Left + int(std::nearbyint(4.0 / 40.955 * a.Width));
  Mouse(QEvent::MouseButtonPress, c.X1);
  Mouse(QEvent::MouseMove, to);
  EXPECT_TRUE(Cell(2, 7).startsWith("dB at 5.0")) << Cell(2, 7).toStdString();
  EXPECT_NEAR(Cell(1, 7).toDouble(), 160.0, 0.05);
  Mouse(QEvent::MouseButtonRelease, to);
  ExpectNoErrors();

  const TWaveform& r = Record();
  EXPECT_EQ(r.FirstIndex, CursorIndex(to, a, 8191));
  EXPECT_EQ(r.LastIndex, CursorIndex(c.X2, a, 8191));
  const TEnergyMetrics m = ComputeEnergyMetrics(r, r.FirstIndex, r.LastIndex);
  EXPECT_EQ(Cell(1, 8), QString::number(double(m.LAeq), 'f', 3));
  EXPECT_TRUE(Cell(2, 8).startsWith("dB equivalent A-wt level over time interval of "));
  EXPECT_TRUE(Cell(2, 8).endsWith(
      "Leq = equivalent Unweighted level = " + QString::number(double(m.Leq), 'f', 3) + " dB."));
  EXPECT_EQ(Cell(1, 9), QString::number(double(m.LAeq8hr), 'f', 3));
  EXPECT_EQ(Cell(2, 9), "dB equivalent A-wt level over 8 hours.");
  EXPECT_EQ(Cell(1, 10), QString::number(double(m.Na), 'f', 3));
  EXPECT_EQ(Cell(2, 10), "allowed number of rounds based on A-weighted energy.");
  EXPECT_EQ(Cell(2, 11), "joules/m^2.");
  // The unweighted energy of the impulse, P^2 T / 4 = 300 Pa^2 s, spread over 8 hours is 74.2 dB;
  // A-weighting only removes energy, and Na follows the 3 dB exchange rate from 85 dB.
  EXPECT_LT(m.LAeq8hr, 74.2f);
  EXPECT_NEAR(double(m.Na), std::pow(2.0, (85.0 - m.LAeq8hr) / 3.0), 1e-6 * double(m.Na));

  // Both lines left of the plot read one sample, which is explained instead of giving garbage.
  SetLines(a.Left - 20, a.Left - 10);
  Drag(a.Left - 10, a.Left - 10);
  EXPECT_EQ(Cell(1, 8), "-inf");
  EXPECT_TRUE(Cell(2, 8).contains("single sample"));
  EXPECT_FALSE(Cell(1, 9).contains("nan"));

  ClickToolButton();
  EXPECT_FALSE(c.Active);
  EXPECT_TRUE(w.PopupOpens());
  EXPECT_EQ(Cell(1, 4), "8192");
}

TEST_F(MetricsTest, StatisticsTakesRecordsBelowTwoToTheTwentieth) {
  TForm1& w = Start(1 << 21);
  WriteOrv(folder_ / "waves" / "S.ORV", 16);
  Open(folder_ / "waves" / "S.ORV");
  const auto count = [&](const char* text) {
    w.gridView()->setCurrentCell(4, 1);
    w.gridView()->item(4, 1)->setText(text);
    PressEnterInGrid();
  };
  count("1048577");
  Trigger("St&atistics");
  EXPECT_FALSE(w.Cursors().Active);
  EXPECT_EQ(prompts_.Informations.size(), 1);
  count("1048576");
  Trigger("St&atistics");
  EXPECT_TRUE(w.Cursors().Active);
}

TEST_F(MetricsTest, SpectrumModeWritesTheTobFileAndItsExitItemLeavesIt) {
  TForm1& w = OpenShot();
  fs::rename(folder_ / "waves" / "shot.ORV", folder_ / "waves" / "shot.1.ORV");
  Open(folder_ / "waves" / "shot.1.ORV");
  Trigger("Leq300ms spectrum");
  ExpectNoErrors();
  EXPECT_EQ(MenuBarItems(), QStringList({"&File", "&Analyze", "&Help", "[Exit Leq300 Spectrum]"}));
  for (QAction* item : w.PopupMenu()->actions()) EXPECT_FALSE(item->isEnabled());
  EXPECT_FALSE(w.gridView()->isVisible());
  ASSERT_TRUE(w.Spectrum().has_value());
  EXPECT_EQ(w.Spectrum()->FirstBand, 13);  // 8192 samples at 200 kHz: df = 24.4 Hz
  EXPECT_EQ(ReadFile(folder_ / "waves" / "shot.1.TOB"), TobFileText(*w.Spectrum()));

  const QImage before = w.Snapshot();
  Trigger("[Exit Leq300 Spectrum]");
  EXPECT_EQ(MenuBarItems(), QStringList({"&File", "&Analyze", "&Help"}));
  ASSERT_EQ(prompts_.Informations.size(), 1);
  EXPECT_TRUE(prompts_.Informations[0].startsWith(
      "A text file was just created in this folder named SHOT.1 containing 1/3 octave-band"));
  EXPECT_EQ(w.canvas()->Image(), before);
  // What lay under the grid (the start screen) does not come back with the snapshot.
  const QImage& image = w.canvas()->Image();
  QImage upper = image.copy(0, 0, image.width(), image.height() / 2 - 2);
  QImage white(upper.size(), upper.format());
  white.fill(Qt::white);
  EXPECT_EQ(upper, white);
}

TEST_F(MetricsTest, AnImportedWaveformGetsNoSpectrumAndIsToldWhy) {
  Start();
  std::ofstream(folder_ / "waves" / "raw.txt") << "0 1 2 3 2 1 0\n";
  prompts_.Files.push_back(QString::fromStdString((folder_ / "waves" / "raw.txt").string()));
  prompts_.Answers.push_back(Prompts::Answer::No);
  Trigger("Import waveform");
  Trigger("Leq300ms spectrum");
  EXPECT_EQ(prompts_.Informations.size(), 1);
  EXPECT_FALSE(fs::exists(folder_ / "waves" / "raw.TOB"));
  Trigger("[Exit Leq300 Spectrum]");
  EXPECT_TRUE(prompts_.Informations.back().startsWith("No spectrum file was created"));
}

// The TOB.txt lines after the header, split into their fields.
std::vector<QStringList> TobLines(const fs::path& startup) {
  std::ifstream in(startup / "Dat" / "Hearing Protectors" / "TOB.txt", std::ios::binary);
  const std::string results{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<QStringList> lines;
  for (std::size_t at = 0, end; (end = results.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(QString::fromStdString(results.substr(at, end - at)).split('\t'));
  if (!lines.empty()) {
    EXPECT_EQ(lines.front().join('\t').toStdString(), TobResultsHeader());
    lines.erase(lines.begin());
  }
  return lines;
}

TEST_F(MetricsTest, OverlayAppendsInsertionLossLinesUnderOneHeader) {
  TForm1& w = OpenShot();
  // A recording at the ear: the same impulse 20 dB down.
  FriedlanderSpec spec;
  spec.Samples = 8192;
  const std::vector<float> samples = FriedlanderSamples(spec);
  WriteOrv(folder_ / "waves" / "EAR.ORV", 8192, "200000 ", "2 ",
           [&](int i) { return 0.1f * samples[std::size_t(i)]; });
  for (const char* ear : {"EAR.ORV", "shot.ORV"}) {
    prompts_.Files.push_back(QString::fromStdString((folder_ / "waves" / ear).string()));
    Trigger("Overlay ORV waveform");
  }
  prompts_.Files.push_back(std::nullopt);  // cancelled: nothing is compared or appended
  Trigger("Overlay ORV waveform");
  ExpectNoErrors();

  const std::vector<QStringList> lines = TobLines(folder_ / "startup");
  ASSERT_EQ(lines.size(), 2u);
  // Bands 17..40, then the name and the three setting codes.
  ASSERT_EQ(lines[0].size(), 28);
  EXPECT_EQ(lines[0].mid(24), QStringList({"SHOT_to_EAR", "3", "1", "0"}));
  // 20 dB down in every band: IL = -20 - TFOE, e.g. -21.9 at 200 Hz and -18.7 at 10 kHz.
  EXPECT_NEAR(lines[0][23 - 17].toDouble(), -21.9, 0.15);
  EXPECT_NEAR(lines[0][40 - 17].toDouble(), -18.7, 0.15);
  // The free field compared with itself: IL = -TFOE.
  EXPECT_EQ(lines[1][24], "SHOT_to_SHOT");
  EXPECT_EQ(lines[1][30 - 17], "-6.8");
  EXPECT_FALSE(Item("Save ORV waveform as")->isEnabled());
  EXPECT_TRUE(Item("&Analyze")->isEnabled());
  // The record is still the free-field recording with its own header.
  EXPECT_EQ(Record().Count(), 8192);
  EXPECT_EQ(Cell(1, 3), "1");
  EXPECT_EQ(w.Record().Grid().Cell(1, 3), "1");
}

// Both records are taken over the free-field record's window (here a segment around the impulse
// at 5 ms), each on its own time axis and at its own length, and only at one sampling rate: an
// earlier, shorter ear record does not shorten the free field of the next comparison.
TEST_F(MetricsTest, OverlayComparesOneWindowAtOneRate) {
  TForm1& w = OpenShot();
  // Keep 4..8 ms of the free field (200 kHz: samples 800..1600).
  Trigger("Select &Segment");
  const CursorArea a = w.PlotArea();
  SetLines(a.Left + int(std::nearbyint(800.0 / 8191 * a.Width)),
           a.Left + int(std::nearbyint(1600.0 / 8191 * a.Width)));
  ClickToolButton();
  FriedlanderSpec spec;
  spec.Samples = 4096;
  const std::vector<float> samples = FriedlanderSamples(spec);
  WriteOrv(folder_ / "waves" / "SHORT.ORV", 1200, "200000 ", "2 ",
           [&](int i) { return samples[std::size_t(i)]; });
  WriteOrv(folder_ / "waves" / "SLOW.ORV", 4096, "100000 ", "2 ",
           [&](int i) { return samples[std::size_t(i)]; });
  for (const char* ear : {"SHORT.ORV", "shot.ORV", "SLOW.ORV"}) {
    prompts_.Files.push_back(QString::fromStdString((folder_ / "waves" / ear).string()));
    Trigger("Overlay ORV waveform");
  }
  ASSERT_EQ(prompts_.Errors.size(), 1);
  EXPECT_TRUE(prompts_.Errors[0].contains("200000 samples/s"));
  EXPECT_TRUE(prompts_.Errors[0].contains("SLOW.ORV\" at 100000 samples/s"))
      << prompts_.Errors[0].toStdString();

  const std::vector<QStringList> lines = TobLines(folder_ / "startup");
  ASSERT_EQ(lines.size(), 2u);  // nothing for the refused pair
  EXPECT_EQ(lines[1][24], "SHOT_to_SHOT");
  for (const auto& [band, il] : {std::pair{30, "-6.8"}, {34, "-12.5"}, {38, "-13.9"}})
    EXPECT_EQ(lines[1][band - 17], il) << band;
}

// Ta and Tb (rows 14 and 15) follow each Statistics release over its interval, and an analysis
// over the whole record; an interval from within the negative phase has no positive phase (the
// dither's blips lie far below its peak) and says why.
TEST_F(MetricsTest, ImpulseDurationsFollowStatisticsAndAnalysis) {
  TForm1& w = OpenShot();
  const std::span<const float> record(Record().Samples.data(), 8192);
  const double dt = Record().SampleInterval;
  const auto expectDurations = [&](const ImpulseCriteria& c) {
    EXPECT_EQ(Cell(0, 14), "Ta");
    EXPECT_EQ(Cell(0, 15), "Tb");
    EXPECT_EQ(Cell(1, 14), c.ADurationMs ? QString::number(*c.ADurationMs, 'f', 3) : "n/a");
    EXPECT_EQ(Cell(1, 15), QString::number(*c.BDurationMs, 'f', 3));
  };
  Trigger("St&atistics");
  const CursorArea a = w.PlotArea();
  Drag(w.Cursors().X1, a.Left + int(std::nearbyint(4.0 / 40.955 * a.Width)));
  SampleSpan span = SampleSpan{Record().FirstIndex, Record().LastIndex};
  const ImpulseCriteria around = ComputeImpulseCriteria(record, dt, span.First, span.Last);
  expectDurations(around);
  EXPECT_NEAR(*around.ADurationMs, 0.3, 0.005);  // the 0.3 ms wave, within a sample interval
  EXPECT_EQ(Cell(2, 14), "A-duration milliseconds");

  Drag(w.Cursors().X1, a.Left + int(std::nearbyint(5.5 / 40.955 * a.Width)));  // negative phase
  span = SampleSpan{Record().FirstIndex, Record().LastIndex};
  expectDurations(ComputeImpulseCriteria(record, dt, span.First, span.Last));
  EXPECT_EQ(Cell(1, 14), "n/a");
  EXPECT_TRUE(Cell(2, 14).startsWith("A-duration milliseconds: the ")) << Cell(2, 14).toStdString();

  ClickToolButton();
  Trigger("ARU(W) Auditory Risk Units, Warned");
  ExpectNoErrors();
  expectDurations(ComputeImpulseCriteria(record, dt));

  // At 10 GHz the weightings' 0.1 s of settling outgrows any transform: the rows say so.
  WriteOrv(folder_ / "waves" / "fast.ORV", 64, "10000000000 ");
  w.OpenWaveform(QString::fromStdString((folder_ / "waves" / "fast.ORV").string()));
  Trigger("St&atistics");
  Drag(w.Cursors().X1, a.Left);
  ExpectNoErrors();
  for (const int row : {14, 15}) {
    EXPECT_EQ(Cell(1, row), "n/a");
    EXPECT_TRUE(Cell(2, row).contains("too long for the impulse criteria")) << row;
  }
}

// "Impulse Criteria" shows the whole record's criteria in the upper half, copies them as
// tab-separated text with the core's numbers, takes the Statistics interval while the record is
// the one it was chosen on, and leaves through its run-time item with the grid and the picture
// as they were.
TEST_F(MetricsTest, ImpulseCriteriaTableShowsCopiesAndLeaves) {
  TForm1& w = OpenShot();
  const std::span<const float> record(Record().Samples.data(), 8192);
  const double dt = Record().SampleInterval;
  const QImage before = w.canvas()->Image();
  // Criterion -> value of the copied table, and its first line.
  const auto copied = [&] {
    Trigger("[Copy Impulse Criteria]");
    const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
    std::map<QString, QString> values;
    for (const QString& line : lines.mid(2))
      if (const QStringList cells = line.split('\t'); cells.size() == 4)
        values[cells[0]] = cells[1];
    return std::pair{lines.value(0), values};
  };

  Trigger("Impulse Criteria");
  ExpectNoErrors();
  EXPECT_EQ(MenuBarItems(), QStringList({"&File", "&Analyze", "&Help", "[Copy Impulse Criteria]",
                                         "[Exit Impulse Criteria]"}));
  EXPECT_FALSE(w.gridView()->isVisible());
  const QImage& image = w.canvas()->Image();
  const int band = image.height() / 2;
  EXPECT_NE(image.copy(0, 0, image.width(), band), before.copy(0, 0, image.width(), band));
  EXPECT_EQ(image.copy(0, band + 1, image.width(), band - 1),
            before.copy(0, band + 1, image.width(), band - 1));  // the plot stays

  const ImpulseCriteria whole = ComputeImpulseCriteria(record, dt);
  auto [title, values] = copied();
  EXPECT_TRUE(title.contains("SHOT: WHOLE RECORD, SAMPLES 0 - 8191")) << title.toStdString();
  EXPECT_EQ(values["Lpk, true peak"], QString::number(*whole.LpkTrueDb, 'f', 2));
  EXPECT_EQ(values["LCpeak, true peak"], QString::number(*whole.LCpeakTrueDb, 'f', 2));
  EXPECT_EQ(values["A-duration Ta"], QString::number(*whole.ADurationMs, 'f', 3));
  EXPECT_EQ(values["LIAeq8hr"], QString::number(*whole.LIAeq8hrDb, 'f', 2));
  EXPECT_NEAR(values["Allowed impulses per day"].toDouble(), *whole.Allowed, 1e-3 * *whole.Allowed);
  EXPECT_EQ(values["EU 2003/10/EC exposure limit value"], "exceeded");  // 160 dB
  Trigger("[Exit Impulse Criteria]");
  EXPECT_EQ(MenuBarItems(), QStringList({"&File", "&Analyze", "&Help"}));
  EXPECT_TRUE(w.gridView()->isVisible());
  EXPECT_EQ(w.canvas()->Image(), before);

  // A Statistics interval from within the negative phase: no A-duration, and the table says why.
  Trigger("St&atistics");
  const CursorArea a = w.PlotArea();
  Drag(w.Cursors().X1, a.Left + int(std::nearbyint(5.5 / 40.955 * a.Width)));
  const SampleSpan span = SampleSpan{Record().FirstIndex, Record().LastIndex};
  ClickToolButton();
  Trigger("Impulse Criteria");
  std::tie(title, values) = copied();
  EXPECT_TRUE(title.contains("STATISTICS INTERVAL, SAMPLES " + QString::number(span.First)));
  const ImpulseCriteria tail = ComputeImpulseCriteria(record, dt, span.First, span.Last);
  EXPECT_EQ(values["LAE"], QString::number(*tail.LAEDb, 'f', 2));
  EXPECT_EQ(values["A-duration Ta"], "n/a");
  EXPECT_TRUE(values.contains("Note"));

  // Calibrated meanwhile, the record is no longer the one the interval was chosen on.
  prompts_.Texts.push_back("2");
  Trigger("&Multiply data by keyboard input");
  Trigger("Impulse Criteria");
  std::tie(title, values) = copied();
  EXPECT_TRUE(title.contains("WHOLE RECORD"));
  EXPECT_EQ(values["Lpk, sample maximum"],
            QString::number(*ComputeImpulseCriteria(record, dt).LpkDb, 'f', 2));
  EXPECT_EQ(MenuBarItems().count("[Exit Impulse Criteria]"), 1);  // entered again, one exit
  Trigger("[Exit Impulse Criteria]");
  EXPECT_TRUE(w.gridView()->isVisible());

  // Off with the other measures while the spectrum shows, on again with the next open.
  Trigger("Leq300ms spectrum");
  EXPECT_FALSE(w.Command("Impulse Criteria")->isEnabled());
  Trigger("[Exit Leq300 Spectrum]");
  w.OpenWaveform(QString::fromStdString((folder_ / "waves" / "shot.ORV").string()));
  EXPECT_TRUE(w.Command("Impulse Criteria")->isEnabled());

  // A waveform opened while the table shows replaces it: no stale table to copy or redraw.
  Trigger("Impulse Criteria");
  ASSERT_TRUE(MenuBarItems().contains("[Copy Impulse Criteria]"));
  w.OpenWaveform(QString::fromStdString((folder_ / "waves" / "shot.ORV").string()));
  EXPECT_EQ(MenuBarItems(), QStringList({"&File", "&Analyze", "&Help"}));
  EXPECT_TRUE(w.gridView()->isVisible());
  ExpectNoErrors();
}

}  // namespace
}  // namespace orvek

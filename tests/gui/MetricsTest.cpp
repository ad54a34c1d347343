// Statistics, the impulse criteria, the Leq300ms spectrum mode and the paired comparison driven
// through the window: each shows what its core function gives for the record or interval chosen.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <map>

#include "metrics/BandComparison.h"
#include "metrics/ImpulseCriteria.h"
#include "metrics/Leq300Spectrum.h"
#include "tests/gui/WindowFixture.h"

namespace orvek {
namespace {

class MetricsTest : public WindowTest {
 protected:
  // Opens Statistics and drags its first line to sample `first` (200 kHz: 800 is 4 ms, before the
  // impulse at 5 ms; 1100 is 5.5 ms, in its negative phase); returns the interval measured.
  SampleSpan StatisticsFrom(std::int32_t first) {
    if (!window_->Cursors().Active) Trigger("St&atistics");
    Drag(window_->Cursors().X1, PixelOf(first));
    return {Record().FirstIndex, Record().LastIndex};
  }
  ImpulseCriteria Criteria(std::optional<SampleSpan> span = std::nullopt) const {
    const std::span<const float> samples(Record().Samples.data(), Record().Count());
    return span ? ComputeImpulseCriteria(samples, Record().SampleInterval, span->First, span->Last)
                : ComputeImpulseCriteria(samples, Record().SampleInterval);
  }
  // The criteria copied by "[Copy Impulse Criteria]": the title line and criterion -> value.
  std::pair<QString, std::map<QString, QString>> CopiedCriteria() const {
    Trigger("[Copy Impulse Criteria]");
    const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
    std::map<QString, QString> values;
    for (const QString& line : lines.mid(2))
      if (const QStringList cells = line.split('\t'); cells.size() == 4)
        values[cells[0]] = cells[1];
    return {lines.value(0), values};
  }
  // The TOB.txt lines after the header, split into their fields.
  std::vector<QStringList> TobLines() const {
    const QString text = QString::fromStdString(
        Bytes(folder_ / "startup" / "Dat" / "Hearing Protectors" / "TOB.txt"));
    std::vector<QStringList> lines;
    for (const QString& line : text.split("\r\n", Qt::SkipEmptyParts))
      if (line.toStdString() != TobResultsHeader()) lines.push_back(line.split('\t'));
    return lines;
  }
};

// The peak shows while a line is dragged; the release measures the interval with the core's
// energy metrics; an interval of one sample is explained instead of giving garbage.
TEST_F(MetricsTest, StatisticsShowsTheCoresMetricsOfTheInterval) {
  TForm1& w = OpenShot();
  Trigger("St&atistics");
  const CursorArea a = w.PlotArea();
  const CursorToolState& c = w.Cursors();
  EXPECT_EQ(c.X1, a.Left + int(std::nearbyint(0.02 * a.Width)));
  Mouse(QEvent::MouseButtonPress, c.X1);
  Mouse(QEvent::MouseMove, PixelOf(800));
  EXPECT_TRUE(Cell(2, 7).startsWith("dB at 5.0")) << Cell(2, 7).toStdString();
  EXPECT_NEAR(Cell(1, 7).toDouble(), 160.0, 0.05);
  Mouse(QEvent::MouseButtonRelease, PixelOf(800));
  ExpectNoErrors();

  const TWaveform& r = Record();
  EXPECT_EQ(r.FirstIndex, CursorIndex(PixelOf(800), a, 8191));
  const TEnergyMetrics m = ComputeEnergyMetrics(r, r.FirstIndex, r.LastIndex);
  EXPECT_EQ(Cell(1, 8), QString::number(double(m.LAeq), 'f', 3));
  EXPECT_TRUE(Cell(2, 8).endsWith(QString::number(double(m.Leq), 'f', 3) + " dB."));
  EXPECT_EQ(Cell(1, 10), QString::number(double(m.Na), 'f', 3));

  SetLines(a.Left - 20, a.Left - 10);  // both lines left of the plot read one sample
  Drag(a.Left - 10, a.Left - 10);
  EXPECT_EQ(Cell(1, 8), "-inf");
  EXPECT_TRUE(Cell(2, 8).contains("single sample"));
  EXPECT_FALSE(Cell(1, 9).contains("nan"));
}

// The spectrum is written from the name before the last dot ("shot.1.ORV" -> "shot.1.TOB");
// its exit item brings back the picture as it was.
TEST_F(MetricsTest, SpectrumModeWritesTheTobFileAndItsExitItemLeavesIt) {
  TForm1& w = OpenShot("shot.1.ORV");
  Trigger("Leq300ms spectrum");
  ExpectNoErrors();
  EXPECT_EQ(AddedItems(), QStringList({"[Exit Leq300 Spectrum]"}));
  ASSERT_TRUE(w.Spectrum().has_value());
  EXPECT_EQ(Bytes(In("shot.1.TOB")), TobFileText(*w.Spectrum()));

  const QImage before = w.Snapshot();
  Trigger("[Exit Leq300 Spectrum]");
  EXPECT_TRUE(AddedItems().isEmpty());
  ASSERT_EQ(prompts_.Informations.size(), 1);
  EXPECT_TRUE(prompts_.Informations[0].startsWith(
      "A text file was just created in this folder named SHOT.1 containing 1/3 octave-band"));
  EXPECT_EQ(w.canvas()->Image(), before);
}

// Overlays compare the free-field record's window (here a segment around the impulse at 5 ms)
// with each ear record on its own length, at one sampling rate only: an earlier, shorter ear
// record does not shorten the free field of the next comparison, and the free field compared
// with itself gives -TFOE (-6.8 dB at band 30). A refused or cancelled overlay appends nothing,
// and the record stays the free-field recording with its own header.
TEST_F(MetricsTest, OverlayComparesOneWindowAtOneRate) {
  TForm1& w = OpenShot();
  Trigger("Select &Segment");
  SetLines(PixelOf(800), PixelOf(1600));
  ClickToolButton();
  WriteShot("SHORT.ORV", {.Samples = 1200, .MicLocation = 2});
  WriteShot("SLOW.ORV", {.SampleRate = 100000, .Samples = 4096, .MicLocation = 2});
  for (const char* ear : {"SHORT.ORV", "SHOT.ORV", "SLOW.ORV"}) {
    Choose(In(ear));
    Trigger("Overlay ORV waveform");
  }
  prompts_.Files.push_back(std::nullopt);
  Trigger("Overlay ORV waveform");
  ASSERT_EQ(prompts_.Errors.size(), 1);
  EXPECT_TRUE(prompts_.Errors[0].contains("200000 samples/s"));
  EXPECT_TRUE(prompts_.Errors[0].contains("SLOW.ORV\" at 100000 samples/s"))
      << prompts_.Errors[0].toStdString();

  const std::vector<QStringList> lines = TobLines();
  ASSERT_EQ(lines.size(), 2u);
  ASSERT_EQ(lines[0].size(), 28);  // bands 17..40, the name and the three setting codes
  EXPECT_EQ(lines[0][24], "SHOT_to_SHORT");
  EXPECT_EQ(lines[1][24], "SHOT_to_SHOT");
  for (const auto& [band, il] : {std::pair{30, "-6.8"}, {34, "-12.5"}, {38, "-13.9"}})
    EXPECT_EQ(lines[1][band - 17], il) << band;
  EXPECT_FALSE(Item("Save ORV waveform as")->isEnabled());
  EXPECT_EQ(Cell(1, 3), "1");
  EXPECT_EQ(w.Record().Grid().Cell(1, 3), "1");
}

// A rate whose weighting settling outgrows any transform gives no Ta or Tb (rows 14 and 15, which
// follow each Statistics release), and the rows say why.
TEST_F(MetricsTest, ImpulseDurationsFollowStatisticsAndAnalysis) {
  Start();
  WriteOrv(In("fast.ORV"), 64, "10000000000 ");
  Open(In("fast.ORV"));
  StatisticsFrom(0);
  ExpectNoErrors();
  for (const int row : {14, 15}) {
    EXPECT_EQ(Cell(1, row), "n/a");
    EXPECT_TRUE(Cell(2, row).contains("too long for the impulse criteria")) << row;
  }
}

// "Impulse Criteria" tables the whole record's criteria and copies the core's numbers; it takes the
// Statistics interval while the record is the one it was chosen on; it leaves through its
// run-time item with the grid and picture as they were, and a waveform opened while it shows
// replaces it.
TEST_F(MetricsTest, ImpulseCriteriaTableShowsCopiesAndLeaves) {
  TForm1& w = OpenShot();
  const QImage before = w.canvas()->Image();
  Trigger("Impulse Criteria");
  ExpectNoErrors();
  EXPECT_EQ(AddedItems(), QStringList({"[Copy Impulse Criteria]", "[Exit Impulse Criteria]"}));
  EXPECT_FALSE(w.gridView()->isVisible());
  EXPECT_NE(w.canvas()->Image(), before);

  const ImpulseCriteria whole = Criteria();
  auto [title, values] = CopiedCriteria();
  EXPECT_TRUE(title.contains("SHOT: WHOLE RECORD, SAMPLES 0 - 8191")) << title.toStdString();
  EXPECT_EQ(values["LCpeak, true peak"], QString::number(*whole.LCpeakTrueDb, 'f', 2));
  EXPECT_EQ(values["EU 2003/10/EC exposure limit value"], "exceeded");
  Trigger("[Exit Impulse Criteria]");
  EXPECT_TRUE(AddedItems().isEmpty());
  EXPECT_TRUE(w.gridView()->isVisible());
  EXPECT_EQ(w.canvas()->Image(), before);

  // From within the negative phase: no A-duration, and the row says why.
  const SampleSpan span = StatisticsFrom(1100);
  EXPECT_EQ(Cell(1, 14), "n/a");
  EXPECT_TRUE(Cell(2, 14).startsWith("A-duration milliseconds: the ")) << Cell(2, 14).toStdString();
  EXPECT_EQ(Cell(1, 15), QString::number(*Criteria(span).BDurationMs, 'f', 3));
  ClickToolButton();
  Trigger("Impulse Criteria");
  std::tie(title, values) = CopiedCriteria();
  EXPECT_TRUE(title.contains("STATISTICS INTERVAL, SAMPLES " + QString::number(span.First)));
  EXPECT_EQ(values["LAE"], QString::number(*Criteria(span).LAEDb, 'f', 2));
  EXPECT_TRUE(values.contains("Note"));

  prompts_.Texts.push_back("2");  // calibrated: no longer the record the interval was chosen on
  Trigger("&Multiply data by keyboard input");
  Trigger("Impulse Criteria");
  std::tie(title, values) = CopiedCriteria();
  EXPECT_TRUE(title.contains("WHOLE RECORD"));
  EXPECT_EQ(values["Lpk, sample maximum"], QString::number(*Criteria().LpkDb, 'f', 2));
  EXPECT_EQ(AddedItems().count("[Exit Impulse Criteria]"), 1);  // entered again, one exit
  Open(In("SHOT.ORV"));
  EXPECT_TRUE(AddedItems().isEmpty());
  EXPECT_TRUE(w.gridView()->isVisible());
  ExpectNoErrors();
}

}  // namespace
}  // namespace orvek

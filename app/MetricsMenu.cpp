// Energy measures of an interval ("Statistics") and the Leq300ms spectrum.
#include <QMenuBar>
#include <QPainter>
#include <cmath>

#include "app/TForm1.h"
#include "base/Rounding.h"

namespace orvek {
namespace {

// A level or count with 3 decimals; "-inf" or "n/a" where there is no finite value.
QString Fixed3(long double value, const char* otherwise = "-inf") {
  return std::isfinite(value) ? QString::number(static_cast<double>(value), 'f', 3)
                              : QString(otherwise);
}

}  // namespace

// --- Statistics: two lines bound the interval; its energy measures follow each release ---

void TForm1::Stats1Click() {
  if (!RequireSamples()) return;
  if (record_->Waveform().LastSampleIndex > kLargestStatisticsIndex) {
    prompts_.Information(
        "Statistics are computed for records of at most 1048576 samples. Select a shorter "
        "segment first.");
    return;
  }
  cursor_.Mode = 6;
  const CursorArea a = PlotArea();
  OpenCursorTool(a.Left + Rounded(0.02 * a.Width), a.Left + a.Width - Rounded(0.02 * a.Width),
                 Button12);
  SetResultCell(HeaderColumn::Parameter, HeaderRow::LAeq, "LAeq and Leq");
}

SampleSpan TForm1::StatisticsInterval() const {
  const CursorArea a = PlotArea();
  const std::int32_t n = record_->Waveform().LastSampleIndex;
  const auto index = [&](int x) {
    return std::clamp(CursorIndex(std::max(x, a.Left), a, n), 0, n);
  };
  const std::int32_t i1 = index(cursor_.X1), i2 = index(cursor_.X2);
  return {std::min(i1, i2), std::max(i1, i2)};
}

void TForm1::ShowIntervalPeak() {
  const SampleSpan span = StatisticsInterval();
  const TWaveform& w = record_->Waveform();
  const IntervalPeak peak = FindIntervalPeak(w, span.First, span.Last);
  SetResultCell(HeaderColumn::Value, HeaderRow::PeakLevel, QString::number(peak.LevelDb, 'f', 3));
  SetResultCell(HeaderColumn::Comment, HeaderRow::PeakLevel,
                "dB at " + QString::number(peak.Index * double(w.SampleInterval) * 1000.0, 'f', 1) +
                    " milliseconds");
}

void TForm1::ShowEnergyMetrics() {
  const SampleSpan span = StatisticsInterval();
  record_->SetStatisticsInterval(span);
  const TWaveform& w = record_->Waveform();
  EnergyMetrics = ComputeEnergyMetrics(w, span.First, span.Last);
  const TEnergyMetrics& m = EnergyMetrics;

  const CursorArea a = PlotArea();
  const int x1 = std::max(std::min(cursor_.X1, cursor_.X2), a.Left);
  const int x2 = std::max(std::max(cursor_.X1, cursor_.X2), a.Left);
  const double dtMs = w.SampleInterval * 1000.0;
  const double durationMs =
      std::nearbyint(double(w.LastSampleIndex) * (x2 - x1 + 1) / a.Width) * dtMs;
  QString interval = "dB equivalent A-wt level over time interval of " +
                     QString::number(durationMs, 'f', 2) + " msec starting at " +
                     QString::number(span.First * dtMs, 'f', 2) +
                     " msec.  Leq = equivalent Unweighted level = " + Fixed3(m.Leq) + " dB.";
  if (!m.HasDuration())
    interval += "  The interval is a single sample and has no duration: move the lines apart.";
  else if (!std::isfinite(m.LAeq))
    interval += "  The interval holds no sound energy.";
  SetResultCell(HeaderColumn::Value, HeaderRow::LAeq, Fixed3(m.LAeq));
  SetResultCell(HeaderColumn::Comment, HeaderRow::LAeq, interval);
  SetResultCell(HeaderColumn::Value, HeaderRow::LAeq8hr, Fixed3(m.LAeq8hr));
  SetResultCell(HeaderColumn::Comment, HeaderRow::LAeq8hr,
                "dB equivalent A-wt level over 8 hours.");
  SetResultCell(HeaderColumn::Value, HeaderRow::Na, Fixed3(m.Na, "n/a"));
  SetResultCell(HeaderColumn::Comment, HeaderRow::Na,
                std::isfinite(m.Na)
                    ? QString("allowed number of rounds based on A-weighted energy.")
                    : QString("allowed number of rounds based on A-weighted energy: "
                              "no limit, the interval holds no A-weighted energy."));
  SetResultCell(HeaderColumn::Value, HeaderRow::AEnergy, Fixed3(m.AEnergy));
  SetResultCell(HeaderColumn::Comment, HeaderRow::AEnergy, "joules/m^2.");
  NoteStatisticsInterval(span);
}

// Measuring changes nothing in the record: its length and time axis stay as they are.
void TForm1::Button12Click() {
  CloseCursorTool();
  RedrawAfterEdit();
}

// --- "Leq300ms spectrum": a mode left through "[Exit Leq300 Spectrum]" ---

void TForm1::Leq300msspectrum1Click() {
  QAction* exit = menuBar()->addAction("[Exit Leq300 Spectrum]");
  connect(exit, &QAction::triggered, this,
          [this] { RunUserCommand([this] { CancelLeq300Click(); }); });
  Leq300ExitItems.push_back(exit);
  for (QAction* item : PopupTopItems) item->setEnabled(false);
  TobFileWritten = false;

  if (record_->Imported()) {
    prompts_.Information(
        "The Leq300ms spectrum is computed for waveforms opened from ORV files. Save the imported "
        "waveform with \"Save ORV waveform as\" and open that file.");
    return;
  }
  const TWaveform& w = record_->Waveform();
  if (w.LastSampleIndex >= 1'048'576) {
    prompts_.Information(
        "The Leq300ms spectrum is computed for records of at most 1048576 samples. Select a "
        "shorter segment first.");
    return;
  }
  LastSpectrum = ComputeLeq300Spectrum(w.Samples.data(), w.Count(), w.SampleInterval);
  gridView_->hide();
  {
    QPainter painter(&canvas_->Image());
    Leq300SpectrumPlot(painter, ClientSize(), *LastSpectrum, Plot);
  }
  canvas_->update();
  // Beside the waveform, not wherever the working folder happens to be.
  WriteTobFile(record_->File().parent_path() / TobFileName(record_->File().filename().string()),
               TobFileText(*LastSpectrum), {record_->File()});
  TobFileWritten = true;
}

void TForm1::CancelLeq300Click() {
  for (QAction* item : Leq300ExitItems) {
    menuBar()->removeAction(item);
    item->deleteLater();
  }
  Leq300ExitItems.clear();
  const QString reenable =
      "Also the Right-Click Pop-Up Menu is disabled. To re-enable the Pop-Up Menu, either return "
      "to the File | Open ORV waveform or File | Import waveform Pull-Down menu or Analyze "
      "Pull-Down Menu.";
  prompts_.Information(TobFileWritten
                           ? "A text file was just created in this folder named " +
                                 QString::fromStdString(record_->BaseName()) +
                                 " containing 1/3 octave-band 300 msec equivalent energy levels "
                                 "for this waveform.  " +
                                 reenable
                           : "No spectrum file was created for this waveform.  " + reenable);
  RestoreForm();
}

}  // namespace orvek

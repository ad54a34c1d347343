// The pop-up menu's editing commands: segment, baseline, start, taper, calibration, resampling.
#include <QPainter>

#include "app/NumberEntry.h"
#include "app/TForm1.h"
#include "base/Rounding.h"
#include "plot/PlotFrame.h"

namespace orvek {
namespace {

struct CalibrationItem {
  const char* Prompt;
  float Default, Low, High;
};

// Indexed by CalibrationUnit.
constexpr CalibrationItem kCalibrationItems[] = {
    {"Scale factor ", 6894, -1'000'000, 1'000'000},
    {"Atm", 1, 0, 100},
    {"Bar", 1, 0, 1000},
    {"PPL dB", 166, 0, 200},
    {"dynes/cm^2", 1, 0, 1000},
    {"Millibar", 1, 0, 1000},
    {"KiloPascals", 1, 0, 300},
    {"Pascals", 10'000, 0, 1'000'000},
    {"P.S.I.", 1, 0, 1000},
};

}  // namespace

// The editing commands need a record of at least two samples.
bool TForm1::RequireSamples() {
  if (record_->Waveform().Count() >= 2) return true;
  prompts_.Information("There is no waveform to edit. Open or import a waveform first.");
  return false;
}

// After an edit the grid and the plot show the record as it now is.
void TForm1::RedrawAfterEdit() {
  RefreshGridView();
  RedrawPlot();
}

void TForm1::SelectSegment1Click() {
  if (!RequireSamples()) return;
  const CursorArea a = PlotArea();
  cursor_.Mode = 1;
  OpenCursorTool(a.Left + Rounded(0.05 * a.Width), a.Left + a.Width - Rounded(0.05 * a.Width),
                 Button2);
}

void TForm1::Button2Click() {
  const CursorArea a = PlotArea();
  const SampleSpan span =
      ReadCursors(cursor_.X1, cursor_.X2, a, record_->Waveform().LastSampleIndex);
  CloseCursorTool();
  record_->SelectSegment(span);
  cursor_.X1 = a.Left + 1;
  cursor_.X2 = a.Left + a.Width - 1;
  RedrawAfterEdit();
}

// Set Baseline: the first stage shows a stretch of the record, the second picks the part of it
// whose mean is the offset removed from the whole record.
void TForm1::SetBaselineClick() {
  if (!RequireSamples()) return;
  const CursorArea a = PlotArea();
  OpenCursorTool(a.Left, a.Left + a.Width - Rounded(0.9 * a.Width), Button3);
}

void TForm1::Button3Click() {
  const CursorArea a = PlotArea();
  record_->OpenView(
      ReadCursors(cursor_.X1, cursor_.X2, a, record_->Waveform().LastSampleIndex, true));
  Button3->hide();
  cursor_.X1 = a.Left + Rounded(0.05 * a.Width);
  cursor_.X2 = a.Left + a.Width - Rounded(0.05 * a.Width);
  RedrawPlot();
  ShowToolButton(Button4);
}

void TForm1::Button4Click() {
  const CursorArea a = PlotArea();
  const SampleSpan span =
      ReadCursors(cursor_.X1, cursor_.X2, a, record_->Shown().LastSampleIndex, true);
  CloseCursorTool();
  record_->RemoveBaseline(span);
  cursor_.X1 = a.Left + 1;
  cursor_.X2 = a.Left + a.Width - 1;
  RedrawAfterEdit();
}

// Establish Start: the view ends at twice the peak's index, a cross marks the first sample above
// the threshold, and one line (the second waits beyond the right edge) picks the start.
void TForm1::EstablishStartClick() {
  if (!RequireSamples()) return;
  cursor_.Mode = 4;
  const ImpulseStart start = FindImpulseStart(record_->Waveform());
  record_->OpenView(RiseView(record_->Waveform().LastSampleIndex, start.PeakIndex));
  RedrawPlot();

  const TWaveform& shown = record_->Shown();
  float t = (start.StartIndex - 0.5f) * shown.SampleInterval * 1000.0f;
  float p = 0.001f * shown.Samples[std::min(start.StartIndex, shown.LastSampleIndex)];
  const QPoint cross = MapPoint(Plot.Main, t, p);
  {
    QPainter painter(&canvas_->Image());
    painter.setPen(QPen(Qt::red, 1));
    painter.drawLine(cross.x() - 10, cross.y(), cross.x() + 10, cross.y());
    painter.drawLine(cross.x(), cross.y() - 10, cross.x(), cross.y() + 10);
  }
  const CursorArea a = PlotArea();
  cursor_.X1 = cross.x();
  cursor_.X2 = a.Left + Rounded(2.1 * a.Width);
  SetResultCell(HeaderColumn::Parameter, HeaderRow::StartLevel, "Establish start level");
  ShowLiveCursorValue();
  SetResultCell(HeaderColumn::Comment, HeaderRow::StartLevel, "dB at 5.0 msec");
  OpenCursorTool(cursor_.X1, cursor_.X2, Button5);
}

void TForm1::Button5Click() {
  const CursorArea a = PlotArea();
  const std::int32_t n = record_->Shown().LastSampleIndex;
  const std::int32_t chosen = std::clamp(CursorIndex(std::max(cursor_.X1, a.Left), a, n), 0, n);
  CloseCursorTool();
  record_->ShiftStart(chosen);
  SetResultCell(HeaderColumn::Comment, HeaderRow::StartLevel, "dB at 5.0 msec.");
  RedrawAfterEdit();
}

// Taper Ends: the fade-in ends at the first line (3.75 ms by default), the fade-out starts at the
// second.
void TForm1::ApplyTaper1Click() {
  if (!RequireSamples()) return;
  const CursorArea a = PlotArea();
  float t = 3.75f, p = 0.0f;
  OpenCursorTool(MapPoint(Plot.Main, t, p).x(), a.Left + a.Width - Rounded(0.05 * a.Width),
                 Button6);
}

void TForm1::Button6Click() {
  const SampleSpan span =
      ReadCursors(cursor_.X1, cursor_.X2, PlotArea(), record_->Waveform().LastSampleIndex, true);
  CloseCursorTool();
  record_->ApplyTaper(span);
  RedrawAfterEdit();
}

void TForm1::Calibrate(CalibrationUnit unit) {
  if (!RequireSamples()) return;
  const CalibrationItem& item = kCalibrationItems[static_cast<int>(unit)];
  const float value = InputFloat(prompts_, item.Prompt, item.Default, item.Low, item.High);
  LastCalibrationUnit = unit;
  CalibrationValue = value;
  record_->Calibrate(unit, value);
  RedrawAfterEdit();
  PopupOpensAutomatically = true;
  cursor_.Active = false;
}

void TForm1::Resample1Click() {
  if (!RequireSamples()) return;
  const double rate = 1.0 / record_->Waveform().SampleInterval;
  if (!prompts_.OkCancel("Sample rate = " + QString::number(rate, 'f', 0) + " samples/sec. " +
                         "Change sample rate?"))
    return;
  const float newRate =
      InputFloat(prompts_, "Sample rate in samples/sec", static_cast<float>(rate), 0.1f, 1e7f);
  const bool cut = record_->Resample(newRate);
  RedrawAfterEdit();
  if (cut)
    prompts_.Information(QString("The resampled record was cut to %1 samples, as many as this "
                                 "computer's buffers take.")
                             .arg(record_->Waveform().Count()));
}

}  // namespace orvek

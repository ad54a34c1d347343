// The pressure-time plot on the window, its double-click pressure range, the clipboard copies and
// the plot export.
#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>

#include "app/NumberEntry.h"
#include "app/TForm1.h"
#include "plot/ImpulseCriteriaTable.h"
#include "plot/PictureFile.h"
#include "plot/PressureTimePlot.h"

namespace orvek {

void TForm1::DrawPressureTimePlot() { DrawPressureTimePlot(record_->Shown()); }

void TForm1::DrawPressureTimePlot(const TWaveform& waveform) {
  {
    QPainter painter(&canvas_->Image());
    PressureTimePlot(painter, ClientSize(), waveform, Plot);
  }
  // Every plot fixes the muscle timing the next ear-model run uses.
  Timing = ComputeMuscleTiming(CurrentMuscleDelay, waveform.SampleInterval,
                               ModelParameters.MuscleTimeConstant);
  canvas_->update();
}

void TForm1::RedrawPlot() {
  DrawPressureTimePlot();
  SaveForm();
  if (cursor_.Active) {
    DrawCursorLine(cursor_.X1, cursor_.Colour1);
    DrawCursorLine(cursor_.X2, cursor_.Colour2);
  }
}

// The typed limits apply to a fresh plot of the record, also after overlaid traces or spectra.
void TForm1::FormDblClick() {
  if (!Plot.PressureRangePending || record_->Waveform().Count() < 1) return;
  const TWaveform& w = record_->Waveform();
  // The boxes offer five times the current range; the current limits always lie inside it, and
  // the minimum may not exceed the new maximum, so the axis never turns upside down.
  const float low = std::min(5.0f * w.AxisMin, w.AxisMin);
  const float high = std::max(5.0f * w.AxisMax, w.AxisMax);
  const float top = InputFloat(prompts_, "Max Pa", w.AxisMax, low, high);
  const float bottom = InputFloat(prompts_, "Min Pa", w.AxisMin, low, top);
  record_->SetPressureAxis(bottom, top);
  Plot.FreshFrame = true;
  RedrawPlot();
  Plot.PressureRangePending = false;
}

void TForm1::CopyClientRect(const QRect& rect) {
  QGuiApplication::clipboard()->setImage(canvas_->grab(rect).toImage());
}

void TForm1::Copyscreentoclipboard1Click() { CopyClientRect(QRect(QPoint(0, 0), ClientSize())); }

void TForm1::Copywaveformtoclipboard1Click() {
  const QSize client = ClientSize();
  CopyClientRect(QRect(0, client.height() / 2, client.width(), client.height() / 2));
}

void TForm1::Copyospectrumtoclipboard1Click() {
  const QSize client = ClientSize();
  CopyClientRect(QRect(0, 0, client.width(), client.height() / 2));
}

void TForm1::Exportplot1Click() {
  if (!RequireSamples()) return;
  const QSize client = ClientSize();
  const bool spectrumShown = LastSpectrum && !Leq300ExitItems.empty();
  const bool upperShown = ShownCriteria || spectrumShown;
  // The renderers' lower band: top and height round(0.5 client height).
  const QSize shown =
      upperShown ? client
                 : QSize(client.width(), static_cast<int>(std::nearbyint(0.5 * client.height())));
  const std::optional<QString> sizeText =
      prompts_.InputText("Export plot", "Picture size in pixels (width x height)",
                         QString("%1x%2").arg(shown.width()).arg(shown.height()));
  if (!sizeText) return;
  const QSize size = ParsePictureSize(sizeText->trimmed().toStdString());
  FileDialogOptions dialog;
  dialog.Title = "Export plot";
  dialog.Filter = "PNG picture|*.png|SVG drawing|*.svg|PDF document|*.pdf";
  dialog.InitialFolder = QString::fromStdString(LastOpenFolder.string());
  dialog.DefaultExtension = "png";
  dialog.ProposedName = QString::fromStdString(record_->BaseName()) + ".png";
  const std::optional<QString> chosen = prompts_.SaveFile(dialog);
  if (!chosen) return;
  const PlotBand band = upperShown ? PlotBand::Whole : PlotBand::Lower;
  // Cursor lines, overlays and traces drawn over the plot are not part of the renderers' plot.
  WritePlotPicture(chosen->toStdString(), size, band, QString::fromStdString(record_->BaseName()),
                   [&](QPainter& painter, QSize picture) {
                     PlotState state;
                     PressureTimePlot(painter, picture, record_->Shown(), state);
                     if (ShownCriteria)
                       ImpulseCriteriaTable(painter, picture, ImpulseCriteriaRows(*ShownCriteria),
                                            CriteriaTitle);
                     else if (spectrumShown)
                       Leq300SpectrumPlot(painter, picture, *LastSpectrum, state);
                   },
                   {record_->File()});
}

}  // namespace orvek

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

void TForm1::DrawPressureTimePlot() {
  {
    QPainter painter(&canvas_->Image());
    PressureTimePlot(painter, ClientSize(), *Waveform, Plot);
  }
  // Every plot fixes the muscle timing the next ear-model run uses.
  Timing = ComputeMuscleTiming(CurrentMuscleDelay, Waveform->SampleInterval,
                               ModelParameters.MuscleTimeConstant);
  canvas_->update();
}

void TForm1::FormDblClick() {
  if (!Plot.PressureRangePending || !Waveform) return;
  float& top = Waveform->AxisMax;
  float& bottom = Waveform->AxisMin;
  // The boxes offer five times the current range; the current limits always lie inside it, and
  // the minimum may not exceed the new maximum, so the axis never turns upside down.
  const float low = std::min(5.0f * bottom, bottom);
  const float high = std::max(5.0f * top, top);
  top = InputFloat(prompts_, "Max Pa", top, low, high);
  bottom = InputFloat(prompts_, "Min Pa", bottom, low, top);
  DrawPressureTimePlot();
  SaveForm();
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
  dialog.ProposedName = CurrentBaseName + ".png";
  const std::optional<QString> chosen = prompts_.SaveFile(dialog);
  if (!chosen) return;
  const PlotBand band = upperShown ? PlotBand::Whole : PlotBand::Lower;
  // Cursor lines, overlays and traces drawn over the plot are not part of the renderers' plot.
  WritePlotPicture(chosen->toStdString(), size, band, CurrentBaseName,
                   [&](QPainter& painter, QSize picture) {
                     PlotState state;
                     PressureTimePlot(painter, picture, *Waveform, state);
                     if (ShownCriteria)
                       ImpulseCriteriaTable(painter, picture, ImpulseCriteriaRows(*ShownCriteria),
                                            CriteriaTitle);
                     else if (spectrumShown)
                       Leq300SpectrumPlot(painter, picture, *LastSpectrum, state);
                   },
                   {LastOpenFolder / ChosenFileName.toStdString()});
}

}  // namespace orvek

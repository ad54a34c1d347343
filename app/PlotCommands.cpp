// The pressure-time plot on the window, its double-click pressure range and the clipboard copies.
#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>

#include "app/NumberEntry.h"
#include "app/TForm1.h"
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

}  // namespace orvek

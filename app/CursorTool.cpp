// The two-cursor tool: two vertical lines drawn in XOR mode over the pressure-time plot, moved
// with the mouse, with a live display in the header grid and a Done button that applies an edit.
#include <QMouseEvent>
#include <QPainter>

#include "app/TForm1.h"
#include "base/Rounding.h"
#include "plot/PressureTimePlot.h"

namespace orvek {

CursorArea TForm1::PlotArea() const {
  TPlotFrame frame;
  const PlotLayout layout = LayOutPressureTimePlot(ClientSize(), record_->Shown(), frame);
  return {layout.FrameLeft, layout.BandTop, layout.FrameWidth, layout.FrameHeight};
}

QPushButton* TForm1::AddToolButton(const QString& caption, void (TForm1::*handler)()) {
  auto* button = new QPushButton(caption, canvas_);
  button->hide();
  connect(button, &QPushButton::clicked, this,
          [this, handler] { RunUserCommand([=, this] { (this->*handler)(); }); });
  return button;
}

// Drawing a line twice at the same place restores the pixels under it.
void TForm1::DrawCursorLine(int x, const QColor& colour) {
  const CursorArea area = PlotArea();
  {
    QPainter painter(&canvas_->Image());
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setPen(QPen(QColor::fromRgb(colour.rgb() ^ 0x00FFFFFFu), 1));
    painter.drawLine(x, area.Top + area.Height - 1, x, area.Top + 1);
  }
  canvas_->update();
}

void TForm1::ShowToolButton(QPushButton* button) {
  const CursorArea area = PlotArea();
  button->adjustSize();
  button->move(area.Left + Rounded(0.4 * area.Width), Rounded(1.05 * area.Height));
  button->raise();
  button->show();
}

void TForm1::OpenCursorTool(int x1, int x2, QPushButton* done) {
  cursor_.Colour1 = cursor_.Colour2 = Qt::red;
  cursor_.X1 = x1;
  cursor_.X2 = x2;
  DrawCursorLine(cursor_.X1, cursor_.Colour1);
  DrawCursorLine(cursor_.X2, cursor_.Colour2);
  PopupOpensAutomatically = false;
  cursor_.Active = true;
  cursor_.Dragging = false;
  ShowToolButton(done);
}

void TForm1::CloseCursorTool() {
  PopupOpensAutomatically = true;
  for (QPushButton* button : {Button2, Button3, Button4, Button5, Button6, Button12})
    button->hide();
  cursor_.Active = false;
  cursor_.Dragging = false;
}

void TForm1::LeaveCursorTool() {
  if (!cursor_.Active) return;
  CloseCursorTool();
  record_->CloseView();
  if (screen_ != Screen::Plot) return;
  Plot.FreshFrame = true;
  RedrawPlot();
}

// The nearer line follows the mouse; at equal distances the first one does.
void TForm1::MoveNearerLine(int x) {
  const bool first = std::abs(x - cursor_.X2) >= std::abs(x - cursor_.X1);
  int& line = first ? cursor_.X1 : cursor_.X2;
  const QColor& colour = first ? cursor_.Colour1 : cursor_.Colour2;
  DrawCursorLine(line, colour);
  line = x;
  DrawCursorLine(line, colour);
}

void TForm1::FormMouseDown(QPoint at, Qt::MouseButton button) {
  if (HelpPictureShown) {
    RestoreForm();
    HelpPictureShown = false;
    return;
  }
  if (!cursor_.Active) return;
  cursor_.Dragging = true;
  if (button == Qt::LeftButton) MoveNearerLine(at.x());
}

void TForm1::FormMouseMove(QPoint at) {
  if (!cursor_.Active || !cursor_.Dragging) return;
  MoveNearerLine(at.x());
  ShowLiveCursorValue();
}

void TForm1::FormMouseUp(QPoint at) {
  if (!cursor_.Active || !cursor_.Dragging) return;
  MoveNearerLine(at.x());
  cursor_.Dragging = false;
  if (cursor_.Mode == 6) ShowEnergyMetrics();
}

// Segment length (mode 1), the level under the first line (mode 4) or the interval's peak
// (mode 6), as the lines move.
// The segment length (mode 1) is shown in the view of the grid only: the record keeps its count
// until Done.
void TForm1::ShowLiveCursorValue() {
  const CursorArea area = PlotArea();
  const TWaveform& shown = record_->Shown();
  const std::int32_t n = shown.LastSampleIndex;
  const auto index = [&](int x) { return std::clamp(CursorIndex(x, area, n), 0, n); };
  if (cursor_.Mode == 1) {
    const QSignalBlocker block(gridView_);
    gridView_->item(HeaderRow::SampleCount, HeaderColumn::Value)
        ->setText(QString::number(index(cursor_.X2) - index(cursor_.X1) + 1));
  } else if (cursor_.Mode == 4) {
    const std::int32_t i = index(std::max(cursor_.X1, area.Left));
    SetResultCell(HeaderColumn::Value, HeaderRow::StartLevel,
                  QString::number(StartLevelDb(shown.Samples[i]), 'f', 1));
    SetResultCell(
        HeaderColumn::Comment, HeaderRow::StartLevel,
        "dB at " + QString::number(double(i) * shown.SampleInterval * 1000.0, 'f', 2) + " msec.");
  } else if (cursor_.Mode == 6) {
    ShowIntervalPeak();
  }
}

void TForm1::SetResultCell(int column, int row, const QString& text) {
  record_->SetResultCell(column, row, text.toStdString());
  const QSignalBlocker block(gridView_);
  gridView_->item(row, column)->setText(text);
}

}  // namespace orvek

// The two-cursor tool: two vertical lines drawn in XOR mode over the pressure-time plot, moved
// with the mouse, with a live display in the header grid and a Done button that applies an edit.
#include <QMouseEvent>
#include <QPainter>

#include "app/TForm1.h"
#include "plot/PressureTimePlot.h"

namespace orvek {
namespace {

int Rounded(double x) { return static_cast<int>(std::nearbyint(x)); }

}  // namespace

CursorArea TForm1::PlotArea() const {
  TPlotFrame frame;
  const PlotLayout layout = LayOutPressureTimePlot(ClientSize(), *Waveform, frame);
  return {layout.FrameLeft, layout.BandTop, layout.FrameWidth, layout.FrameHeight};
}

QPushButton* TForm1::AddToolButton(const QString& caption, void (TForm1::*handler)()) {
  auto* button = new QPushButton(caption, canvas_);
  button->hide();
  connect(button, &QPushButton::clicked, this,
          [this, handler] { RunCommand([=, this] { (this->*handler)(); }); });
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
  CursorColor1 = CursorColor2 = Qt::red;
  CursorX1 = x1;
  CursorX2 = x2;
  DrawCursorLine(CursorX1, CursorColor1);
  DrawCursorLine(CursorX2, CursorColor2);
  PopupOpensAutomatically = false;
  CursorsActive = true;
  CursorDragging = false;
  ShowToolButton(done);
}

void TForm1::CloseCursorTool() {
  PopupOpensAutomatically = true;
  for (QPushButton* button : {Button2, Button3, Button4, Button5, Button6, Button12})
    button->hide();
  CursorsActive = false;
  CursorDragging = false;
}

// The nearer line follows the mouse; at equal distances the first one does.
void TForm1::MoveNearerLine(int x) {
  const bool first = std::abs(x - CursorX2) >= std::abs(x - CursorX1);
  int& line = first ? CursorX1 : CursorX2;
  const QColor& colour = first ? CursorColor1 : CursorColor2;
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
  if (!CursorsActive) return;
  CursorDragging = true;
  if (button == Qt::LeftButton) MoveNearerLine(at.x());
}

void TForm1::FormMouseMove(QPoint at) {
  if (!CursorsActive || !CursorDragging) return;
  MoveNearerLine(at.x());
  ShowLiveCursorValue();
}

void TForm1::FormMouseUp(QPoint at) {
  if (!CursorsActive || !CursorDragging) return;
  MoveNearerLine(at.x());
  CursorDragging = false;
  if (CursorMode == 6) ShowEnergyMetrics();
}

// Segment length (mode 1), the level under the first line (mode 4) or the interval's peak
// (mode 6), as the lines move.
void TForm1::ShowLiveCursorValue() {
  const CursorArea area = PlotArea();
  const std::int32_t n = Waveform->LastSampleIndex;
  const auto index = [&](int x) { return std::clamp(CursorIndex(x, area, n), 0, n); };
  if (CursorMode == 1) {
    SetGridCell(HeaderColumn::Value, HeaderRow::SampleCount,
                QString::number(index(CursorX2) - index(CursorX1) + 1));
  } else if (CursorMode == 4) {
    const std::int32_t i = index(std::max(CursorX1, area.Left));
    SetGridCell(HeaderColumn::Value, HeaderRow::StartLevel,
                QString::number(StartLevelDb(Waveform->Samples[i]), 'f', 1));
    SetGridCell(HeaderColumn::Comment, HeaderRow::StartLevel,
                "dB at " + QString::number(double(i) * Waveform->SampleInterval * 1000.0, 'f', 2) +
                    " msec.");
  } else if (CursorMode == 6) {
    ShowIntervalPeak();
  }
}

void TForm1::SetGridCell(int column, int row, const QString& text) {
  Grid.SetCell(column, row, text.toStdString());
  const QSignalBlocker block(gridView_);
  gridView_->item(row, column)->setText(text);
}

}  // namespace orvek

#pragma once
// What the renderer tests draw on and count: a 1200 x 800 canvas whose pressure-time band starts at
// y = 400 with the frame from x = 84 and 348 pixels high, so that an axis from -2 to 2 kPa (87
// pixels a kPa) puts +1 kPa on row 487, 0 on row 574 and -1 kPa on row 661.
#include <QImage>
#include <QRect>
#include <cstdint>

#include "waveform/Waveform.h"

namespace orvek {

constexpr QSize kClient(1200, 800);
constexpr int kRowPlus1kPa = 487, kRowZero = 574, kRowMinus1kPa = 661;
const QRgb kBlack = qRgb(0, 0, 0), kBlue = qRgb(0, 0, 255);

// A record filling its buffers at 100 kHz from `startS`, on a +-axisLimit Pa axis, whose `buffer`
// (one of its sample buffers) steps from +level to -level Pa half-way.
inline void FillStep(TWaveform& waveform, SampleBuffer& buffer, float level,
                     float axisLimit = 2000.0f, float startS = 0.0f) {
  waveform.LastSampleIndex = waveform.Capacity() - 1;
  waveform.SampleRate = 100000;
  waveform.SampleInterval = 1e-5f;
  waveform.TimeStart = startS;
  waveform.TimeEnd = startS + waveform.LastSampleIndex * waveform.SampleInterval;
  waveform.AxisMax = axisLimit;
  waveform.AxisMin = -axisLimit;
  for (std::int32_t i = 0; i <= waveform.LastSampleIndex; ++i)
    buffer[i] = i <= waveform.LastSampleIndex / 2 ? level : -level;
}

// Pixels of `colour` within `area` (the whole image by default).
inline int Count(const QImage& image, QRgb colour, QRect area = {}) {
  if (area.isNull()) area = image.rect();
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = area.left(); x <= area.right(); ++x) n += line[x] == colour;
  }
  return n;
}

// ... of row y from x0 to x1.
inline int CountInRow(const QImage& image, int y, int x0, int x1, QRgb colour) {
  return Count(image, colour, QRect(x0, y, x1 - x0 + 1, 1));
}

}  // namespace orvek

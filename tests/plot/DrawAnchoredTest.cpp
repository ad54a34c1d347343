#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include "plot/AxisRenderer.h"

namespace orvek {
namespace {

constexpr int kCentre = 150;

struct Drawn {
  QRect box;       // where the anchor should place the text
  QRect ink;       // bounding box of the non-white pixels
  double meanRow;  // of the non-white pixels
};

// Draws `text` in 24-pixel Arial at the centre of a white image.
Drawn Draw(const QString& text, int anchor, bool rotated) {
  QImage image(2 * kCentre, 2 * kCentre, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(24);
  painter.setFont(font);
  painter.setPen(Qt::black);
  DrawAnchored(painter, text, kCentre, kCentre, anchor, rotated);
  const QFontMetrics metrics = painter.fontMetrics();
  painter.end();
  const int w = metrics.horizontalAdvance(text), h = metrics.height();
  const int boxW = rotated ? h : w, boxH = rotated ? w : h;
  Drawn drawn{
      {kCentre - (anchor % 3) * (boxW / 2), kCentre - (anchor / 3) * (boxH / 2), boxW, boxH},
      {},
      0};
  long long rows = 0, count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != qRgb(255, 255, 255)) {
        drawn.ink |= QRect(x, y, 1, 1);
        rows += y;
        ++count;
      }
  drawn.meanRow = count ? double(rows) / count : 0;
  return drawn;
}

// Glyphs sit inside their advance and line height, give or take a pixel of overhang, and the box
// is tight enough that a neighbouring anchor would miss. Rotated text runs upward: a heavy first
// glyph and light ones after it put the ink's mass below the centre.
TEST(DrawAnchoredTest, InkLiesInTheBoxPlacedByTheAnchor) {
  for (bool rotated : {false, true}) {
    for (int anchor = 0; anchor < 9; ++anchor) {
      SCOPED_TRACE(testing::Message() << "anchor " << anchor << (rotated ? " rotated" : ""));
      const Drawn d = Draw(QStringLiteral("H0H"), anchor, rotated);
      EXPECT_TRUE(d.box.adjusted(-1, -1, 1, 1).contains(d.ink));
      EXPECT_GT(d.ink.width(), d.box.width() / 2);
      EXPECT_GT(d.ink.height(), d.box.height() / 2);
    }
  }
  const Drawn d = Draw(QStringLiteral("W..."), 4, true);
  EXPECT_GT(d.meanRow, d.box.center().y());
}

}  // namespace
}  // namespace orvek

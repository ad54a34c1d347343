#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include "plot/AxisRenderer.h"

namespace orvek {
namespace {

// Bounding box of the non-white pixels.
QRect InkBox(const QImage& image) {
  QRect box;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) != qRgb(255, 255, 255)) box |= QRect(x, y, 1, 1);
    }
  }
  return box;
}

class DrawAnchoredTest : public ::testing::Test {
 protected:
  void SetUp() override {
    image_.fill(Qt::white);
    font_.setPixelSize(24);
  }
  // Draws `text` at the image centre and returns the ink box and the anchored text box.
  std::pair<QRect, QRect> Draw(const QString& text, int anchor, bool rotated) {
    image_.fill(Qt::white);
    QPainter painter(&image_);
    painter.setFont(font_);
    painter.setPen(Qt::black);
    DrawAnchored(painter, text, kCentre, kCentre, anchor, rotated);
    const QFontMetrics metrics = painter.fontMetrics();
    const int w = metrics.horizontalAdvance(text), h = metrics.height();
    const int boxW = rotated ? h : w, boxH = rotated ? w : h;
    painter.end();
    const QRect expected(kCentre - (anchor % 3) * (boxW / 2), kCentre - (anchor / 3) * (boxH / 2),
                         boxW, boxH);
    return {InkBox(image_), expected};
  }

  static constexpr int kCentre = 150;
  QImage image_{300, 300, QImage::Format_RGB32};
  QFont font_{QStringLiteral("Arial")};
};

TEST_F(DrawAnchoredTest, InkLiesInTheBoxPlacedByTheAnchor) {
  for (bool rotated : {false, true}) {
    for (int anchor = 0; anchor < 9; ++anchor) {
      SCOPED_TRACE(testing::Message() << "anchor " << anchor << (rotated ? " rotated" : ""));
      const auto [ink, box] = Draw(QStringLiteral("H0H"), anchor, rotated);
      ASSERT_FALSE(ink.isEmpty());
      // Glyphs sit inside their advance and line height, give or take a pixel of overhang.
      EXPECT_TRUE(box.adjusted(-1, -1, 1, 1).contains(ink))
          << "ink " << ink.x() << "," << ink.y() << " " << ink.width() << "x" << ink.height();
      // The box is tight enough that a neighbouring anchor would miss.
      EXPECT_GT(ink.width(), box.width() / 2);
      EXPECT_GT(ink.height(), box.height() / 2);
    }
  }
}

TEST_F(DrawAnchoredTest, RotatedTextRunsUpward) {
  // A heavy first glyph and light ones after it: the ink's mass lies where the text starts.
  const auto [ink, box] = Draw(QStringLiteral("W..."), 4, true);
  ASSERT_FALSE(ink.isEmpty());
  long long sumY = 0, count = 0;
  for (int y = ink.top(); y <= ink.bottom(); ++y) {
    for (int x = ink.left(); x <= ink.right(); ++x) {
      if (image_.pixel(x, y) != qRgb(255, 255, 255)) {
        sumY += y;
        ++count;
      }
    }
  }
  EXPECT_GT(double(sumY) / count, box.center().y());  // below the centre: starts at the bottom
}

}  // namespace
}  // namespace orvek

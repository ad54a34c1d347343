// The hazard movie's drawing on an offscreen canvas.
#include "plot/HazardMovie.h"
#include "tests/plot/StepPlot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace orvek {
namespace {

// An analysis' results made up: `places` places from 0.7 to 2.7 cm, each ringing at its own
// phase (+-5 um), the pressure a decaying oscillation, frames 0 .. last; the hazard rule counts
// every positive half-cycle (threshold 0, exponent 1).
class HazardMovieTest : public ::testing::Test {
 protected:
  void Prepare(int places, std::int32_t last) {
    p_.PlaceCount = places;
    p_.FirstPlace = 0.7f;
    p_.LastPlace = 2.7f;
    p_.ReferencePlace = 1.0f;
    p_.HazardGain = 1.0f;
    p_.HazardGainRatio = 1.0f;
    p_.HazardThreshold = 0.0f;
    p_.HazardExponent = 1.0f;
    for (std::int32_t f = 0; f <= last; ++f) {
      store_->Frame(f, 0) = static_cast<float>(1500.0 * std::exp(-f / 20.0) * std::cos(0.3 * f));
      for (int place = 1; place <= places; ++place)
        store_->Frame(f, 1 + place) = static_cast<float>(5.0 * std::sin(0.4 * f + 0.7 * place));
    }
    for (int place = 1; place <= places; ++place) {
      store_->PlaceDisplacementMax(place) = 5.0f;
      store_->PlaceDisplacementMin(place) = -5.0f;
      store_->PlaceHazard(place) = static_cast<float>(last) * 5.0f / 15.0f;
    }
    waveform_.LastSampleIndex = last;
    waveform_.SampleInterval = 1e-4f;
    waveform_.TimeEnd = last * waveform_.SampleInterval;
    waveform_.AxisMax = 2000.0f;
    waveform_.AxisMin = -2000.0f;
    canvas_.fill(Qt::white);
    QPainter painter(&canvas_);
    PlotMovieAxes(painter, kClient, waveform_, HazardPlaces(p_), FindMovieExtremes(*store_, places),
                  plot_);
  }

  HazardMovie Movie(std::int32_t last) {
    return HazardMovie(*store_, p_, waveform_, last, 1, plot_);
  }

  TModelParameters p_;
  std::unique_ptr<MovieFrameStore> store_ = std::make_unique<MovieFrameStore>();
  TWaveform waveform_{256};
  PlotState plot_;
  QImage canvas_{kClient, QImage::Format_RGB32};
};

// Profiles cross the axes, their labels and each other; erasing one leaves exactly what the other
// alone would have left, erasing both the canvas as it was.
TEST_F(HazardMovieTest, XorEraseRestoresTheCanvasBitForBit) {
  Prepare(23, 40);
  {
    HazardMovie movie = Movie(40);
    QPainter painter(&canvas_);
    movie.Start(painter);  // the envelope and the first profiles
  }
  const QImage before = canvas_.copy();
  QPolygon zigzag, across;
  for (int x = 0; x < kClient.width(); x += 37) {
    zigzag << QPoint(x, 380 + (x / 37 % 2) * 400);
    across << QPoint(x, 420 + x / 4);
  }
  QImage acrossAlone = before.copy();
  {
    QPainter painter(&acrossAlone);
    DrawXorPolyline(painter, across, Qt::red);
  }
  QPainter painter(&canvas_);
  DrawXorPolyline(painter, zigzag, QColor(0, 255, 0));
  DrawXorPolyline(painter, across, Qt::red);
  DrawXorPolyline(painter, zigzag, QColor(0, 255, 0));
  EXPECT_TRUE(canvas_ == acrossAlone);
  DrawXorPolyline(painter, across, Qt::red);
  EXPECT_TRUE(canvas_ == before);
  EXPECT_TRUE(DrawXorPolyline(painter, QPolygon({QPoint(5, 5)}), Qt::red).isEmpty());
  EXPECT_TRUE(canvas_ == before);
}

}  // namespace
}  // namespace orvek

#include "plot/HazardMovie.h"

#include <QLine>
#include <QPen>
#include <algorithm>
#include <string>

#include "base/OrvekError.h"
#include "plot/ResultPlots.h"

namespace orvek {
namespace {

const QColor kEnvelope(0, 0, 255);
const QColor kDisplacementProfile(0, 255, 0);
const QColor kHazardProfile(255, 0, 0);
const QColor kPressureTrace(0, 128, 0);
const QColor kRunningHazard(255, 0, 0);

// Room for a one-pixel pen on either side of the drawn points.
QRect Around(const QRect& box) { return box.adjusted(-1, -1, 1, 1); }

QRect DrawCopyLine(QPainter& painter, QPoint from, QPoint to, const QColor& colour) {
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setPen(QPen(colour, 1, Qt::SolidLine));
  painter.drawLine(from, to);
  return Around(QRect(from, to).normalized());
}

void BandPlot(QPainter& painter, QSize client, const std::vector<HazardPlace>& places,
              const MovieExtremes& extremes, PlotState& state) {
  float nearest = 0.0f, farthest = 0.0f;
  if (!places.empty()) {
    const auto [first, last] = std::minmax_element(
        places.begin(), places.end(),
        [](const auto& a, const auto& b) { return a.DistanceCm < b.DistanceCm; });
    nearest = static_cast<float>(first->DistanceCm);
    farthest = static_cast<float>(last->DistanceCm);
  }
  PlotBMDispSpace(painter, client, nearest, farthest, extremes.DisplacementMin,
                  extremes.DisplacementMax, 0.0f, extremes.HazardMax, state);
}

}  // namespace

void PlotUnwrappedCochlea(QPainter& painter, QSize client, const TWaveform& waveform,
                          const std::vector<HazardPlace>& places, const MovieExtremes& extremes,
                          PlotState& state) {
  BandPlot(painter, client, places, extremes, state);
  PressureTimePlot2(painter, client, waveform, 0.0f, extremes.HazardMax, state);
}

void PlotMovieAxes(QPainter& painter, QSize client, const TWaveform& waveform,
                   const std::vector<HazardPlace>& places, const MovieExtremes& extremes,
                   PlotState& state) {
  PressureTimePlot2(painter, client, waveform, 0.0f, extremes.HazardMax, state);
  BandPlot(painter, client, places, extremes, state);
}

QRect DrawXorPolyline(QPainter& painter, const QPolygon& points, const QColor& seen) {
  if (points.size() < 2) return {};
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  painter.setPen(QPen(QColor::fromRgb(seen.rgb() ^ 0x00FFFFFFu), 1, Qt::SolidLine));
  painter.drawPolyline(points);
  return Around(points.boundingRect());
}

HazardMovie::HazardMovie(const MovieFrameStore& store, const TModelParameters& p,
                         const TWaveform& waveform, std::int32_t lastFrame, int worstPlace,
                         const PlotState& plot)
    : store_(store),
      hazard_(p),
      last_(lastFrame),
      worst_(std::clamp(worstPlace, 1, hazard_.PlaceCount())),
      sampleIntervalS_(waveform.SampleInterval),
      timeStartS_(waveform.TimeStart),
      displacement_(plot.Main),
      hazardScale_(plot.RightScale),
      pressure_(plot.Waveform),
      hazardTime_(plot.SecondRightScale) {
  if (lastFrame < 0 || lastFrame >= MovieFrameStore::kFrames)
    throw OrvekError("The movie cannot show frame " + std::to_string(lastFrame) +
                     "; the store holds frames 0 to " +
                     std::to_string(MovieFrameStore::kFrames - 1) + ".");
}

QPolygon HazardMovie::DisplacementProfile(std::int32_t frame) const {
  QPolygon profile(hazard_.PlaceCount());
  for (int place = 1; place <= hazard_.PlaceCount(); ++place)
    profile[place - 1] =
        PointAt(displacement_, hazard_.DistanceCm(place), store_.Frame(frame, 1 + place));
  return profile;
}

QPolygon HazardMovie::HazardProfile() const {
  QPolygon profile(hazard_.PlaceCount());
  for (int place = 1; place <= hazard_.PlaceCount(); ++place)
    profile[place - 1] = PointAt(hazardScale_, hazard_.DistanceCm(place), hazard_.Sum(place));
  return profile;
}

double HazardMovie::TimeMs(std::int32_t frame) const {
  return (frame * sampleIntervalS_ + timeStartS_) * 1000.0;
}

QRect HazardMovie::Start(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setPen(QPen(kEnvelope, 1, Qt::SolidLine));
  QPolygon largest(hazard_.PlaceCount()), smallest(hazard_.PlaceCount());
  for (int place = 1; place <= hazard_.PlaceCount(); ++place) {
    const double x = hazard_.DistanceCm(place);
    largest[place - 1] = PointAt(displacement_, x, store_.PlaceDisplacementMax(place));
    smallest[place - 1] = PointAt(displacement_, x, store_.PlaceDisplacementMin(place));
  }
  painter.drawPolyline(largest);
  painter.drawPolyline(smallest);
  QRect changed = Around(largest.boundingRect() | smallest.boundingRect());

  hazard_.Reset();
  shownDisplacement_ = DisplacementProfile(std::min<std::int32_t>(1, last_));
  shownHazard_ = HazardProfile();
  changed |= DrawXorPolyline(painter, shownDisplacement_, kDisplacementProfile);
  changed |= DrawXorPolyline(painter, shownHazard_, kHazardProfile);
  return changed;
}

QRect HazardMovie::Step(QPainter& painter, std::int32_t f) {
  if (f < 1 || f >= last_) return {};
  QRect changed;
  // Drawing a profile again erases it; an unchanged profile is left as it is.
  const auto replace = [&](QPolygon& shown, QPolygon next, const QColor& seen) {
    if (next == shown) return;
    changed |= DrawXorPolyline(painter, shown, seen);
    changed |= DrawXorPolyline(painter, next, seen);
    shown = std::move(next);
  };
  replace(shownDisplacement_, DisplacementProfile(f + 1), kDisplacementProfile);
  hazard_.Advance(store_, f);
  replace(shownHazard_, HazardProfile(), kHazardProfile);

  const double before = TimeMs(f - 1), now = TimeMs(f);
  changed |= DrawCopyLine(painter, PointAt(pressure_, before, 0.001 * store_.Frame(f - 1, 0)),
                          PointAt(pressure_, now, 0.001 * store_.Frame(f, 0)), kPressureTrace);
  changed |= DrawCopyLine(painter, PointAt(hazardTime_, before, hazard_.PreviousSum(worst_)),
                          PointAt(hazardTime_, now, hazard_.Sum(worst_)), kRunningHazard);
  return changed;
}

void RecordMovie(QImage& canvas, HazardMovie& movie, std::int32_t every,
                 const std::function<void(std::int32_t frame, const QImage& canvas)>& shown) {
  every = std::max<std::int32_t>(every, 1);
  {
    QPainter painter(&canvas);
    movie.Start(painter);
  }
  shown(1, canvas);
  for (std::int32_t f = 1; f < movie.LastFrame(); ++f) {
    {
      QPainter painter(&canvas);
      movie.Step(painter, f);
    }
    if (f % every == 0) shown(f + 1, canvas);
  }
}

}  // namespace orvek

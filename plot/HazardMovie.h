#pragma once
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <functional>
#include <vector>

#include "model/MovieFrameStore.h"
#include "model/MovieHazard.h"
#include "plot/PlotFrame.h"
#include "waveform/Waveform.h"

namespace orvek {

// "Unwrap Cochlea": the frame of basilar-membrane displacement against distance over the places,
// then over it the pressure-time plot with the hazard scale (0 .. extremes.HazardMax).
void PlotUnwrappedCochlea(QPainter& painter, QSize client, const TWaveform& waveform,
                          const std::vector<HazardPlace>& places, const MovieExtremes& extremes,
                          PlotState& state);
// The movie's plot: the same two plots in the other order. The pressure-time plot only lays out
// the time mappings of the traces (state.Waveform, state.SecondRightScale); the displacement
// frame then clears the band and sets the mappings of the profiles (state.Main,
// state.RightScale).
void PlotMovieAxes(QPainter& painter, QSize client, const TWaveform& waveform,
                   const std::vector<HazardPlace>& places, const MovieExtremes& extremes,
                   PlotState& state);

// Draws the polyline through `points` with the exclusive-or pen that shows as `seen` on white;
// drawing the same polyline again restores every pixel. Fewer than two points draw nothing.
// Returns the area that may have changed.
QRect DrawXorPolyline(QPainter& painter, const QPolygon& points, const QColor& seen);

// The hazard movie's drawing, frame by frame, on any painter: the envelope of the displacement,
// the displacement and hazard profiles along the cochlea (exclusive-or, so that each frame erases
// only its own lines), and the pressure trace and the running hazard of the worst place against
// time. The window and the command line draw through it.
class HazardMovie {
 public:
  // `plot` holds the mappings PlotMovieAxes set. lastFrame is the analysis' MovieLastFrame (0 ..
  // 2^20 - 1; OrvekError otherwise); worstPlace its place of largest hazard (0 when no place is
  // hazardous: place 1 is traced, whose running hazard then stays 0).
  HazardMovie(const MovieFrameStore& store, const TModelParameters& p, const TWaveform& waveform,
              std::int32_t lastFrame, int worstPlace, const PlotState& plot);

  // The envelope, the hazard reset, the profile of frame 1 and the zero hazard profile.
  // Returns the area drawn.
  QRect Start(QPainter& painter);
  // Frame f -> f + 1 for 1 <= f < LastFrame() (nothing otherwise): the displacement profile of
  // f + 1 replaces the one shown, frame f enters the running hazard and its profile replaces the
  // previous one, and the pressure and the worst place's running hazard are traced from f - 1 to
  // f. Returns the area that may have changed.
  QRect Step(QPainter& painter, std::int32_t f);

  std::int32_t LastFrame() const { return last_; }
  const MovieHazard& Hazard() const { return hazard_; }

 private:
  QPolygon DisplacementProfile(std::int32_t frame) const;
  QPolygon HazardProfile() const;
  double TimeMs(std::int32_t frame) const;

  const MovieFrameStore& store_;
  MovieHazard hazard_;
  std::int32_t last_;
  int worst_;
  double sampleIntervalS_, timeStartS_;
  TPlotFrame displacement_, hazardScale_, pressure_, hazardTime_;
  QPolygon shownDisplacement_, shownHazard_;
};

// Plays `movie` to its end on `canvas` without pauses; `shown` gets the canvas each time it
// shows frame 1, 1 + every, 1 + 2 every, ... (every >= 1).
void RecordMovie(QImage& canvas, HazardMovie& movie, std::int32_t every,
                 const std::function<void(std::int32_t frame, const QImage& canvas)>& shown);

}  // namespace orvek

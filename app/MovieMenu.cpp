// The result displays of an analysis and the hazard movie: the run-time items of the main menu
// bar ("Stapes Displacement]", "Unwrap Cochlea]", "Hazard Animation]", "Movie[Cancel]" and
// "Movie[Cancel ,"), the movie loop and its keys.
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <utility>

#include "app/TForm1.h"
#include "plot/HazardMovie.h"
#include "plot/ResultPlots.h"

namespace orvek {

QAction* TForm1::AddMenuBarItem(const QString& caption, void (TForm1::*handler)()) {
  QAction* item = menuBar()->addAction(caption);
  connect(item, &QAction::triggered, this,
          [this, handler] { RunUserCommand([this, handler] { (this->*handler)(); }); });
  return item;
}

// The item that is replaced may be the one whose click is running: it is deleted afterwards.
void TForm1::ReplaceLastMenuItem(const QString& caption, void (TForm1::*handler)()) {
  QAction* old = AddedMenuItems.back();
  menuBar()->removeAction(old);
  old->deleteLater();
  AddedMenuItems.back() = AddMenuBarItem(caption, handler);
}

void TForm1::AnimateClick() {
  if (!LastHazard) return;
  progress_->hide();
  gridView_->hide();
  QApplication::processEvents();
  // The cochlear run left the last place's displacement in WorkSamples; frames beyond its
  // transform were not written, and there WorkSamples still holds the stapes displacement.
  const std::int32_t last =
      MovieLastFrame(Analysed->LastSampleIndex, LastHazard->Cochlea.TransformLength);
  for (std::int32_t i = 0; i <= last; ++i) Analysed->WorkSamples[i] = MovieFrames->Frame(i, 1);
  {
    QPainter painter(&canvas_->Image());
    PlotStDispTime(painter, ClientSize(), *Analysed, MovieFrames->StapesMin(),
                   MovieFrames->StapesMax(), Plot);
  }
  canvas_->update();
  ReplaceLastMenuItem("Unwrap Cochlea]", &TForm1::UnwrapCochleaClick);
}

void TForm1::UnwrapCochleaClick() {
  if (!LastHazard) return;
  UnwrapExtremes = FindMovieExtremes(*MovieFrames, ModelParameters.PlaceCount);
  {
    QPainter painter(&canvas_->Image());
    PlotUnwrappedCochlea(painter, ClientSize(), *Analysed, HazardPlaces(ModelParameters),
                         UnwrapExtremes, Plot);
  }
  canvas_->update();
  ReplaceLastMenuItem("Hazard Animation]", &TForm1::MovieStartClick);
}

void TForm1::MovieStartClick() {
  if (!LastHazard) return;
  Movie.ClearRestart();
  for (QAction* item : AddedMenuItems) {
    menuBar()->removeAction(item);
    item->deleteLater();
  }
  AddedMenuItems = {AddMenuBarItem("Movie[Cancel]", &TForm1::CancelMovieClick)};
  setFocus();  // the movie keys go to the window
  do {
    Movie.ClearRestart();
    {
      QPainter painter(&canvas_->Image());
      PlotMovieAxes(painter, ClientSize(), *Analysed, HazardPlaces(ModelParameters), UnwrapExtremes,
                    Plot);
    }
    canvas_->update();
    if (!PlayMovie()) return;  // the window is gone
  } while (Movie.RestartPending());
}

// One run of the movie; false when the window was destroyed while it processed messages (then
// nothing of it may be touched). Every message may start another command: open, import, an
// analysis and the cancel item end this run, and so does a movie started from inside it.
bool TForm1::PlayMovie() {
  const QPointer<TForm1> alive(this);
  HazardMovie movie(*MovieFrames, ModelParameters, *Analysed,
                    MovieLastFrame(Analysed->LastSampleIndex, LastHazard->Cochlea.TransformLength),
                    LastHazard->Cochlea.WorstPlace, Plot);
  const std::uint64_t run = Movie.Begin(movie.LastFrame());
  MovieRunning = true;
  {
    // One painter per frame: a message in between may resize the canvas.
    QPainter painter(&canvas_->Image());
    canvas_->update(movie.Start(painter));
  }
  while (Movie.Playing(run)) {
    HazardTimer.StartTimer();
    const std::int32_t f = Movie.Frame();
    {
      QPainter painter(&canvas_->Image());
      canvas_->update(movie.Step(painter, f));
    }
    if (OnMovieFrame) OnMovieFrame(f);
    if (Movie.DelayMs() != 0) QApplication::processEvents();
    if (!alive) return false;
    HazardTimer.WaitPast(Movie.DelayMs());
    while (Movie.Paused() && Movie.Playing(run)) {
      QApplication::processEvents(QEventLoop::WaitForMoreEvents);
      if (!alive) return false;
    }
    Movie.Advance();
  }
  MovieRunning = false;
  return true;
}

void TForm1::keyPressEvent(QKeyEvent* event) {
  static constexpr std::pair<int, MovieKey> kKeys[] = {
      {Qt::Key_Up, MovieKey::Up},        {Qt::Key_Down, MovieKey::Down},
      {Qt::Key_Return, MovieKey::Enter}, {Qt::Key_Enter, MovieKey::Enter},
      {Qt::Key_End, MovieKey::End},      {Qt::Key_Home, MovieKey::Home}};
  if (MovieRunning)
    for (const auto& [key, movieKey] : kKeys)
      if (event->key() == key) {
        Movie.Key(movieKey);
        return;
      }
  QMainWindow::keyPressEvent(event);
}

// The movie ends at its next test, so the program's event loop can finish after the window.
void TForm1::closeEvent(QCloseEvent* event) {
  Movie.Cancel();
  QMainWindow::closeEvent(event);
}

void TForm1::CancelMovieClick() {
  Movie.Cancel();
  // The items this analysis added, not the last ones of the bar: another mode's item may follow.
  for (QAction* item : AddedMenuItems) {
    menuBar()->removeAction(item);
    item->deleteLater();
  }
  AddedMenuItems.clear();
  statusBox_->hide();
  QApplication::processEvents();
  prompts_.Information(
      "The hazard analysis ends here with the Right-Click Pop-Up Menu disabled. To re-enable the "
      "Pop-Up Menu, return to the File | Open ORV waveform or File | Import waveform Pull-Down "
      "menu. To analyze a different warned response, return to the Analyze Pull-Down Menu.");
  HazardComputed = false;
  MovieAvailable = false;
  RestoreForm();
}

}  // namespace orvek

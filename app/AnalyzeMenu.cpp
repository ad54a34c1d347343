// "Analyze": the warned and unwarned hazard of the loaded waveform, and the items it adds.
#include <QApplication>
#include <QMenuBar>
#include <QPainter>
#include <QStringList>
#include <utility>

#include "app/CancelWatch.h"
#include "app/TForm1.h"
#include "base/Cancelled.h"
#include "base/FileNames.h"
#include "plot/ResultPlots.h"

namespace orvek {

void TForm1::NoProtectorWarned1Click() { RunAnalysis(Listener::Warned); }

void TForm1::NoProtectorUnWarned1Click() { RunAnalysis(Listener::Unwarned); }

void TForm1::ReloadModelParameters() {
  if (ParameterFileName.empty())
    ParameterFileName = ReadManFig(ResolveInFolder(StartupFolder, "Man.Fig"));
  LoadModelParameters(ResolveInFolder(StartupFolder, ParameterFileName), ModelParameters);
  DeriveModelConstants(ModelParameters);
}

// The analysis runs the whole record as it stands, edits included, as "Save ORV waveform as"
// would write it; an open tool is left. Esc or the Cancel button stop it while the ear model
// runs, and the window is then as it was before the command, the tool still open.
void TForm1::RunAnalysis(Listener listener) {
  AnalysisStart start;
  KeepAnalysisStart(start);
  CloseCursorTool();  // its view goes only when the run can no longer be cancelled
  const auto leaveView = [&] {
    if (start.Tool.Active) record_->CloseView();
  };
  try {
    Analyse(listener, start);
  } catch (const Cancelled&) {
    PutBack(start);
    return;
  } catch (...) {
    leaveView();
    throw;
  }
  leaveView();
}

void TForm1::KeepAnalysisStart(AnalysisStart& start) {
  start.Image = canvas_->Image().copy();
  start.Snapshot = ScreenSnapshot;
  start.Shown = screen_;
  start.Plot = Plot;
  start.Timing = Timing;
  start.MuscleDelay = CurrentMuscleDelay;
  start.Parameters = ModelParameters;
  start.HazardComputed = HazardComputed;
  start.MovieAvailable = MovieAvailable;
  start.PopupOpens = PopupOpensAutomatically;
  start.AnalyzeOn = AnalyzeMenu->menuAction()->isEnabled();
  for (std::size_t i = 0; i < PopupTopItems.size(); ++i)
    start.PopupEnabled[i] = PopupTopItems[i]->isEnabled();
  start.Status = statusBox_->text();
  start.StatusTip = statusBox_->toolTip();
  start.StatusShown = statusBox_->isVisibleTo(canvas_);
  start.ProgressShown = progress_->isVisibleTo(canvas_);
  start.ProgressValue = progress_->value();
  start.Tool = cursor_;
  start.ToolButton = ToolButton();
}

void TForm1::PutBack(AnalysisStart& start) {
  canvas_->Image() = std::move(start.Image);
  canvas_->update();
  ScreenSnapshot = std::move(start.Snapshot);
  screen_ = start.Shown;
  Plot = start.Plot;
  Timing = start.Timing;
  CurrentMuscleDelay = start.MuscleDelay;
  ModelParameters = start.Parameters;
  std::swap(Analysed, SpareAnalysed);
  LastHazard = std::move(start.Hazard);
  HazardComputed = start.HazardComputed;
  MovieAvailable = start.MovieAvailable;
  PopupOpensAutomatically = start.PopupOpens;
  AnalyzeMenu->menuAction()->setEnabled(start.AnalyzeOn);
  for (std::size_t i = 0; i < PopupTopItems.size(); ++i)
    PopupTopItems[i]->setEnabled(start.PopupEnabled[i]);
  for (QAction* item : start.MenuItems) menuBar()->insertAction(start.FollowingItem, item);
  AddedMenuItems = std::exchange(start.MenuItems, {});
  statusBox_->setText(start.Status);
  statusBox_->setToolTip(start.StatusTip);
  statusBox_->setCursorPosition(0);
  statusBox_->setVisible(start.StatusShown);
  progress_->setValue(start.ProgressValue);
  progress_->setVisible(start.ProgressShown);
  cursor_ = start.Tool;
  cursor_.Dragging = false;  // no button release reached it during the run
  if (start.ToolButton) ShowToolButton(start.ToolButton);
}

void TForm1::Analyse(Listener listener, AnalysisStart& start) {
  const bool warned = listener == Listener::Warned;
  for (QAction* item : PopupTopItems) item->setEnabled(false);  // until the next open
  RestoreForm();
  // Whatever stops the analysis, the menus come back; a failed run adds no result items.
  struct MenusBack {
    TForm1& form;
    ~MenusBack() {
      form.PopupOpensAutomatically = true;
      form.AnalyzeMenu->menuAction()->setEnabled(true);
      QApplication::processEvents();
    }
  } menusBack{*this};

  ReloadModelParameters();
  if (warned) AnalyzeMenu->menuAction()->setEnabled(false);

  // The run fills the spare copy; the earlier one stays whole until this run cannot be cancelled.
  if (!SpareAnalysed) SpareAnalysed = std::make_unique<TWaveform>(record_->Capacity());
  std::swap(Analysed, SpareAnalysed);
  record_->CopyForAnalysis(*Analysed);
  Plot.FreshFrame = true;
  DrawPressureTimePlot(*Analysed);
  HazardComputed = false;
  if (MovieAvailable) {
    // Off the bar as the movie's cancel takes them, but kept until the run has a result.
    const QList<QAction*> bar = menuBar()->actions();
    if (!AddedMenuItems.empty()) {
      const qsizetype after = bar.indexOf(AddedMenuItems.back()) + 1;
      start.FollowingItem = after > 0 && after < bar.size() ? bar[after] : nullptr;
    }
    for (QAction* item : AddedMenuItems) menuBar()->removeAction(item);
    start.MenuItems = std::exchange(AddedMenuItems, {});
    CancelMovieClick();
  }

  progress_->setValue(0);
  progress_->show();
  statusBox_->setText(warned ? "WARNED" : "UNWARNED");
  statusBox_->show();
  QApplication::processEvents();
  // A result of an earlier run never stands for this one (after a save there is nothing loaded).
  start.Hazard = std::exchange(LastHazard, std::nullopt);
  if (!record_->Loaded()) return;

  PopupOpensAutomatically = false;
  CurrentMuscleDelay = MuscleDelay(listener, ModelParameters);
  CalculateHazard2();
  MovieAvailable = true;
  WriteHazardRows(MicrophoneCode(record_->Grid()), listener);
  ShowImpulseDurations({0, record_->Waveform().LastSampleIndex});
  QApplication::processEvents();
  AddMovieItems();
  if (LastHazard->Cochlea.HazardFileError)
    prompts_.Error(QString::fromStdString(*LastHazard->Cochlea.HazardFileError));
}

void TForm1::CalculateHazard2() {
  LastHazard.reset();
  HazardComputed = true;
  DrawPressureTimePlot(*Analysed);
  {
    QPainter painter(&canvas_->Image());
    DrawMuscleCurve(painter, *Analysed, Timing, Plot);
  }
  canvas_->update();
  SaveForm();

  const int micLocation = MicrophoneCode(record_->Grid());
  std::optional<OutputFile> hazardFile;
  if (record_->WritableMedia())
    hazardFile =
        OutputFile{ResolveInFolder(record_->File().parent_path(), record_->BaseName() + ".HAZ"),
                   {record_->File(), ModelParameters.Source}};
  {
    // Repaints go on while the model runs, but no click can reach a command until it is done.
    const CancelWatch watch(*cancelButton_);
    const ProgressCallback progress = [this, &watch](std::int32_t sample) {
      progress_->setValue(std::min(progress_->value() + 1, progress_->maximum()));
      QApplication::processEvents();
      if (OnAnalysisProgress) OnAnalysisProgress(sample);
      if (watch.Requested())
        throw Cancelled("The analysis was cancelled at sample " + std::to_string(sample) + ".");
    };
    LastHazard = CalculateHazard(*Analysed, micLocation, Timing, ModelParameters, *MovieFrames,
                                 hazardFile, progress);
  }
  // The hazard says where it stands: in a few words beside it, in sentences on the tooltip.
  const std::string flags = ValidityFlags(LastHazard->Validity);
  statusBox_->setText(QString::fromStdString(AruText(LastHazard->Cochlea.Hazard) + "  A.R.U." +
                                             (flags.empty() ? "" : "  " + flags)));
  QStringList notes;
  for (const std::string& note : ValidityNotes(LastHazard->Validity))
    notes << QString::fromStdString(note);
  statusBox_->setToolTip(notes.join("\n"));
  statusBox_->setCursorPosition(0);  // the ARU first when the words do not fit
}

// The warned or unwarned exposures row: allowed exposures and hazard; the captions of both rows say
// whether the recording was made without a protector (free field) or under one.
void TForm1::WriteHazardRows(int micLocation, Listener listener) {
  const bool open = micLocation == 1 || micLocation == 4;
  const std::string kind = open ? "no protector" : "selected protector";
  record_->SetResultCell(HeaderColumn::Parameter, HeaderRow::WarnedExposures,
                         "Number of exposures with " + kind + ", warned");
  record_->SetResultCell(HeaderColumn::Parameter, HeaderRow::UnwarnedExposures,
                         "Number of exposures with " + kind + ", unwarned");
  const int row =
      listener == Listener::Warned ? HeaderRow::WarnedExposures : HeaderRow::UnwarnedExposures;
  const float hazard = LastHazard->Cochlea.Hazard;
  record_->SetResultCell(HeaderColumn::Value, row, AllowedText(hazard));
  const std::string flags = ValidityFlags(LastHazard->Validity);
  record_->SetResultCell(HeaderColumn::Comment, row,
                         AruText(hazard) + " A.R.U." + (flags.empty() ? "" : "; " + flags));
  RefreshGridView();
}

void TForm1::AddMovieItems() {
  AddedMenuItems = {AddMenuBarItem("Movie[Cancel ,", &TForm1::CancelMovieClick),
                    AddMenuBarItem("Stapes Displacement]", &TForm1::AnimateClick)};
}

}  // namespace orvek

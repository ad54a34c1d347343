// "Analyze": the warned and unwarned hazard of the loaded waveform, and the items it adds.
#include <QApplication>
#include <QPainter>
#include <QStringList>

#include "app/TForm1.h"
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
// would write it; an open tool's view is left first.
void TForm1::RunAnalysis(Listener listener) {
  const bool warned = listener == Listener::Warned;
  LeaveCursorTool();
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

  if (!Analysed) Analysed = std::make_unique<TWaveform>(record_->Capacity());
  record_->CopyForAnalysis(*Analysed);
  Plot.FreshFrame = true;
  DrawPressureTimePlot(*Analysed);
  HazardComputed = false;
  if (MovieAvailable) CancelMovieClick();

  progress_->setValue(0);
  progress_->show();
  statusBox_->setText(warned ? "WARNED" : "UNWARNED");
  statusBox_->show();
  QApplication::processEvents();
  // A result of an earlier run never stands for this one (after a save there is nothing loaded).
  LastHazard.reset();
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
  // Repaints go on while the model runs, but no click can reach a command until it is done.
  const ProgressCallback progress = [this](std::int32_t) {
    progress_->setValue(std::min(progress_->value() + 1, progress_->maximum()));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
  LastHazard = CalculateHazard(*Analysed, micLocation, Timing, ModelParameters, *MovieFrames,
                               hazardFile, progress);
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

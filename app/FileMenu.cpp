// "File" menu: open and save ORV waveform files, and the paired free-field / at-ear comparison
// ("Overlay ORV waveform").
#include <QFileInfo>
#include <QPainter>

#include "app/TForm1.h"
#include "base/FileNames.h"
#include "metrics/BandComparison.h"
#include "metrics/PairedRecords.h"
#include "waveform/OrvFile.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kLargestSaveAsCount = 1'048'576;

int Rounded(double x) { return static_cast<int>(std::nearbyint(x)); }

std::filesystem::path PathOf(const QString& text) {
  return std::filesystem::path(text.toStdString());
}

// Colours of the ear spectra, by the overlay colour of their trace.
QColor EarSpectrumColour(int traceColour) {
  switch (traceColour - 1) {
    case 1:
      return {255, 0, 0};
    case 2:
    case 5:
      return {0, 128, 0};
    case 3:
      return {255, 0, 255};
    case 4:
      return {0, 255, 255};
    default:
      return {128, 0, 0};
  }
}

}  // namespace

void TForm1::OpenORVwaveform1Click() {
  if (CursorsActive) CloseCursorTool();
  for (QAction* item : PopupTopItems) item->setEnabled(true);
  Plot.TraceColour = 1;
  Plot.PressureRangePending = false;
  RestoreForm();
  Plot.FreshFrame = true;
  Plot.LogClearPending = true;
  if (MovieRunning) CancelMovieClick();

  FileDialogOptions dialog;
  dialog.Title = "Orvek Files";
  dialog.Filter = "Prepared waveforms|*.ORV|All Files|*.*";
  dialog.InitialFolder = QString::fromStdString(LastOpenFolder.string());
  const auto chosen = prompts_.OpenFile(dialog);
  RestoreForm();
  if (!chosen) return;
  OpenWaveform(*chosen);
}

void TForm1::OpenWaveform(const QString& chosenFile) {
  const std::filesystem::path chosen = std::filesystem::absolute(PathOf(chosenFile));
  const std::filesystem::path folder = chosen.parent_path();
  const QString baseName = QString::fromStdString(UpperBaseName(chosen));
  const QString fileName = baseName + ".ORV";
  const bool writable = FolderWritable(folder);

  // The reader checks the whole file before it replaces anything, so a refused file leaves the
  // current waveform, its header and the window as they were.
  const OrvReadReport report =
      OpenNewFileType5(ResolveInFolder(folder, fileName.toStdString()), writable,
                       Plot.PressureRangePending, *Waveform, Grid, DitherRandom);

  LastOpenFolder = folder;
  PopupOpensAutomatically = true;
  WritableMedia = writable;
  ExtensionTag = QString::fromStdString(orvek::ExtensionTag(chosen));
  CurrentBaseName = baseName;
  CurrentFileName = fileName;
  ChosenFileName = QString::fromStdString(chosen.filename().string());
  setWindowTitle("ORVEK INTENSE SOUND HAZARD ANALYSIS OF: " + CurrentBaseName);
  for (QAction* item : PopupTopItems) item->setEnabled(true);
  EditPending.fill(false);
  WaveformImported = false;
  OverlayAxes.reset();
  OverlayFormPending = true;
  LeaveImpulseCriteria();

  LayOutForWaveform();
  RefreshGridView();
  gridView_->show();
  screen_ = Screen::Plot;
  // The grid covers the upper half now; what lies under it (the start screen, an earlier
  // spectrum) must not reappear when a spectrum hides the grid or the snapshot is restored.
  canvas_->Image().fill(Qt::white);
  DrawPressureTimePlot();
  Waveform->WindowStart = Waveform->TimeStart;
  Waveform->WindowEnd = Waveform->TimeEnd;

  AnalyzeMenu->menuAction()->setEnabled(true);
  for (QAction* item :
       {OverlayORVwaveform1, SaveORVwaveform1, SaveORVwaveformas1, SaveWAVwaveform1})
    item->setEnabled(true);
  SaveForm();

  if (report.TruncatedAtCapacity)
    prompts_.Information(QString("\"%1\" holds more samples than this computer's buffers take; "
                                 "the first %2 samples were read.")
                             .arg(chosenFile)
                             .arg(Waveform->Count()));
}

// Header grid over the upper half, progress bar and status box at the bottom left.
void TForm1::LayOutForWaveform() {
  const QSize client = ClientSize();
  const int w = client.width();
  LayOutGrid(0.3, 0.1, 0.56);

  const int h = Rounded(0.03 * client.height());
  const int barWidth = Rounded(0.2 * w);
  const int top = client.height() - Rounded(1.25 * h);
  progress_->setGeometry(0, top, barWidth, h);
  progress_->setRange(0, 23);
  progress_->setValue(0);
  progress_->hide();
  statusBox_->setGeometry(Rounded(1.1 * barWidth), top, Rounded(0.75 * barWidth), h);
  statusBox_->hide();
}

void TForm1::SaveORVwaveform1Click() {
  // The file the record was opened from is replaced on purpose.
  SaveOrvFile(ResolveInFolder(LastOpenFolder, CurrentFileName.toStdString()), false, Grid,
              *Waveform, {});
  ClearAfterSave();
}

void TForm1::SaveORVwaveformas1Click() {
  if (Waveform->Count() > kLargestSaveAsCount) {
    prompts_.Information(
        "An ORV file holds at most 1048576 samples; select a shorter segment before saving.");
    return;
  }
  FileDialogOptions dialog;
  dialog.Title = "Save ORV waveform as";
  dialog.Filter = "Auditorialy hazardous waveforms (*.ORV)|*.ORV";
  dialog.InitialFolder = QString::fromStdString(LastOpenFolder.string());
  dialog.DefaultExtension = "ORV";
  dialog.ProposedName = ChosenFileName.section('.', 0, 0) + ".ORV";
  const auto chosen = prompts_.SaveFile(dialog);
  if (!chosen) {
    AnalyzeMenu->menuAction()->setEnabled(false);
    progress_->hide();
    return;
  }
  const std::filesystem::path typed = PathOf(*chosen);
  const QString typedName = QString::fromStdString(typed.filename().string());
  const std::filesystem::path target =
      typed.parent_path() / (typedName.section('.', 0, 0) + ".ORV").toStdString();
  // The dialog asked about the name as typed; the file written always ends in ".ORV", so a
  // different existing file is only replaced when the user agrees.
  if (target != typed && std::filesystem::exists(target) &&
      prompts_.YesNoCancel(QString("\"%1\" already exists. Replace it?")
                               .arg(QString::fromStdString(target.string()))) !=
          Prompts::Answer::Yes)
    return;
  ExtensionTag = QString::fromStdString(orvek::ExtensionTag(typed));
  // An imported recording is never replaced by its ORV copy.
  ReadFiles source;
  if (WaveformImported) source.push_back(LastOpenFolder / ChosenFileName.toStdString());
  SaveOrvFile(target, true, Grid, *Waveform, source);
  ClearAfterSave();
}

// After a save the waveform stays in memory, but the window returns to its empty state: opening a
// file again is the way back to the plot and the analyses.
void TForm1::ClearAfterSave() {
  canvas_->Image().fill(Qt::white);
  canvas_->update();
  gridView_->hide();
  Waveform->WaveformLoaded = false;
  AnalyzeMenu->menuAction()->setEnabled(false);
  progress_->hide();
  screen_ = Screen::Blank;
  SaveForm();
}

// --- "Overlay ORV waveform": free field (the current record) against a recording at the ear ---

void TForm1::OverlayORVwaveform1Click() {
  if (MovieRunning) CancelMovieClick();
  gridView_->hide();
  if (OverlayFormPending) {
    SaveForm();
    OverlayFormPending = false;
  }
  TWaveform& w = *Waveform;
  const std::int32_t freeFieldCount = w.Count();
  std::copy(w.ReferenceSamples.begin(), w.ReferenceSamples.begin() + freeFieldCount,
            w.Samples.begin());
  const Leq300Spectrum freeField =
      ComputeLeq300Spectrum(w.Samples.data(), freeFieldCount, w.SampleInterval);

  FileDialogOptions dialog;
  dialog.Title = "Orvek Files";
  dialog.Filter = "Prepared waveforms|*.ORV|All Files|*.*";
  dialog.InitialFolder = QString::fromStdString(LastOpenFolder.string());
  if (const auto chosenText = prompts_.OpenFile(dialog)) {
    PopupOpensAutomatically = false;
    const fs::path chosen = fs::absolute(fs::path(chosenText->toStdString()));
    ExtensionTag = QString::fromStdString(orvek::ExtensionTag(chosen));
    CurrentFileName = QString::fromStdString(UpperBaseName(chosen)) + ".ORV";
    const float windowStart = w.WindowStart, windowEnd = w.WindowEnd;
    OpenNewFileType6(ResolveInFolder(chosen.parent_path(), CurrentFileName.toStdString()), w, Grid,
                     DitherRandom);
    CutToComparisonWindow(w, windowStart, windowEnd);
    AnalyzeMenu->menuAction()->setEnabled(true);
    SaveORVwaveform1->setEnabled(false);
    SaveORVwaveformas1->setEnabled(false);

    RestoreForm();
    Plot.TracePenWidth = Plot.TraceColour == 1 ? 3 : 1;
    Plot.FreshFrame = false;
    DrawPressureTimePlot();
    Plot.TracePenWidth = 1;
  }
  const QString name = CurrentBaseName + "_to_" + CurrentFileName.section('.', 0, 0);

  const Leq300Spectrum ear = ComputeLeq300Spectrum(w.Samples.data(), w.Count(), w.SampleInterval);
  if (!OverlayAxes) {
    SpectrumAxes axes = AxesFor(ear, 90.0f);
    axes.YMax = std::max(AxesFor(freeField, 0.0f).YMax, axes.YMax);
    axes.YMin = axes.YMax - 90.0f;
    OverlayAxes = axes;
  }
  FreeFieldAtEarLength(w, freeFieldCount);
  const Leq300Spectrum freeFieldAtEar =
      ComputeLeq300Spectrum(w.Samples.data(), w.Count(), w.SampleInterval);
  {
    QPainter painter(&canvas_->Image());
    const TPlotFrame frame = DrawSpectrumAxes(painter, ClientSize(), *OverlayAxes, Plot);
    DrawNarrowBandCurve(painter, frame, ear, EarSpectrumColour(Plot.TraceColour));
    DrawSpectrumAxes(painter, ClientSize(), *OverlayAxes, Plot);
    DrawNarrowBandCurve(painter, frame, freeFieldAtEar, QColor(0, 0, 255));
  }
  canvas_->update();

  const fs::path results = ResolveInFolder(StartupFolder, "Dat\\Hearing Protectors\\TOB.txt");
  std::error_code ignored;  // a folder that cannot be made is reported by the write
  fs::create_directories(results.parent_path(), ignored);
  AppendTobResults(results, TobResultsLine(CompareBands(freeFieldAtEar, ear), name.toStdString()),
                   {ResolveInFolder(LastOpenFolder, CurrentFileName.toStdString())});
  SaveForm();
}

}  // namespace orvek

// "File" menu: open and save ORV waveform files, and the paired free-field / at-ear comparison
// ("Overlay ORV waveform").
#include <QFileInfo>
#include <QPainter>

#include "app/TForm1.h"
#include "base/FileNames.h"
#include "base/Rounding.h"
#include "metrics/BandComparison.h"
#include "metrics/PairedRecords.h"
#include "waveform/OrvFile.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kLargestSaveAsCount = 1'048'576;

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

// A cancelled dialog changes nothing; an open tool stays as it was.
void TForm1::OpenORVwaveform1Click() {
  FileDialogOptions dialog;
  dialog.Title = "Orvek Files";
  dialog.Filter = "Prepared waveforms|*.ORV|All Files|*.*";
  dialog.InitialFolder = QString::fromStdString(LastOpenFolder.string());
  const auto chosen = prompts_.OpenFile(dialog);
  if (!chosen) return;
  OpenWaveform(*chosen);
}

// The file chosen is the file read, whatever dots its name holds.
void TForm1::OpenWaveform(const QString& chosenFile) {
  const std::filesystem::path typed = std::filesystem::absolute(PathOf(chosenFile));
  const std::filesystem::path chosen =
      ResolveInFolder(typed.parent_path(), typed.filename().string());
  // The reader checks the whole file before it replaces anything, so a refused file leaves the
  // current waveform, its header and the window as they were.
  const OrvReadReport report = record_->Open(chosen, false, DitherRandom);

  CloseCursorTool();
  Plot.TraceColour = 1;
  Plot.PressureRangePending = false;
  Plot.FreshFrame = true;
  Plot.LogClearPending = true;
  if (MovieRunning) CancelMovieClick();
  LastOpenFolder = chosen.parent_path();
  PopupOpensAutomatically = true;
  setWindowTitle("ORVEK INTENSE SOUND HAZARD ANALYSIS OF: " +
                 QString::fromStdString(record_->BaseName()));
  for (QAction* item : PopupTopItems) item->setEnabled(true);
  EditPending.fill(false);
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

  AnalyzeMenu->menuAction()->setEnabled(true);
  for (QAction* item :
       {OverlayORVwaveform1, SaveORVwaveform1, SaveORVwaveformas1, SaveWAVwaveform1})
    item->setEnabled(true);
  SaveForm();

  if (report.TruncatedAtCapacity)
    prompts_.Information(QString("\"%1\" holds more samples than this computer's buffers take; "
                                 "the first %2 samples were read.")
                             .arg(chosenFile)
                             .arg(record_->Waveform().Count()));
}

// Header grid over the upper half, progress bar, status box and the analysis' Cancel button at
// the bottom left.
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
  cancelButton_->setGeometry(Rounded(1.9 * barWidth), top, Rounded(0.35 * barWidth), h);
}

// The whole record goes back to the file it was opened from (or last saved as); an imported
// recording is saved with "Save ORV waveform as" only, so that it is never overwritten.
void TForm1::SaveORVwaveform1Click() {
  if (record_->Imported() || record_->File().empty()) {
    prompts_.Information(
        "This waveform has no ORV file yet. Save it with \"Save ORV waveform as\".");
    return;
  }
  record_->Save(record_->File(), false);
  CloseCursorTool();
  ClearAfterSave();
}

// The file written is the name typed; ".ORV" is added only to a name without an extension.
void TForm1::SaveORVwaveformas1Click() {
  if (record_->Waveform().Count() > kLargestSaveAsCount) {
    prompts_.Information(
        "An ORV file holds at most 1048576 samples; select a shorter segment before saving.");
    return;
  }
  FileDialogOptions dialog;
  dialog.Title = "Save ORV waveform as";
  dialog.Filter = "Auditorialy hazardous waveforms (*.ORV)|*.ORV";
  dialog.InitialFolder = QString::fromStdString(LastOpenFolder.string());
  dialog.DefaultExtension = "ORV";
  dialog.ProposedName = QString::fromStdString(record_->File().stem().string()) + ".ORV";
  const auto chosen = prompts_.SaveFile(dialog);
  if (!chosen) return;
  const std::filesystem::path typed = PathOf(*chosen);
  std::filesystem::path target = typed;
  if (!typed.has_extension()) target += ".ORV";
  // The dialog asked about the name as typed; a different existing file is only replaced when
  // the user agrees.
  if (target != typed && std::filesystem::exists(target) &&
      prompts_.YesNoCancel(QString("\"%1\" already exists. Replace it?")
                               .arg(QString::fromStdString(target.string()))) !=
          Prompts::Answer::Yes)
    return;
  record_->Save(target, true);
  CloseCursorTool();
  ClearAfterSave();
}

// After a save the waveform stays in memory, but the window returns to its empty state: opening a
// file again is the way back to the plot and the analyses.
void TForm1::ClearAfterSave() {
  canvas_->Image().fill(Qt::white);
  canvas_->update();
  gridView_->hide();
  AnalyzeMenu->menuAction()->setEnabled(false);
  progress_->hide();
  screen_ = Screen::Blank;
  SaveForm();
}

// --- "Overlay ORV waveform": free field (the current record) against a recording at the ear ---

// Both records are taken over the free-field record's comparison window, each on its own time
// axis, at one sampling rate. The record itself is not changed. A cancelled dialog changes
// nothing and appends nothing.
void TForm1::OverlayORVwaveform1Click() {
  FileDialogOptions dialog;
  dialog.Title = "Orvek Files";
  dialog.Filter = "Prepared waveforms|*.ORV|All Files|*.*";
  dialog.InitialFolder = QString::fromStdString(LastOpenFolder.string());
  const auto chosenText = prompts_.OpenFile(dialog);
  if (!chosenText) return;

  // Everything that can fail comes before the window changes.
  const fs::path chosen = fs::absolute(PathOf(*chosenText));
  if (!EarRecord) EarRecord = std::make_unique<TWaveform>(record_->Capacity());
  TWaveform& ear = *EarRecord;
  HeaderGrid earHeader;
  OpenNewFileType6(chosen, ear, earHeader, DitherRandom);
  const TWaveform& freeField = record_->Waveform();
  RequireSameRate(freeField, ear, record_->File(), chosen);
  const SampleSpan freeSpan =
      ComparisonWindow(freeField, freeField.WindowStart, freeField.WindowEnd).Span;
  CutToComparisonWindow(ear, freeField.WindowStart, freeField.WindowEnd);
  const float dt = freeField.SampleInterval;
  const Leq300Spectrum freeFieldAlone = ComputeLeq300Spectrum(
      freeField.Samples.data() + freeSpan.First, freeSpan.Last - freeSpan.First + 1, dt);
  const Leq300Spectrum earSpectrum = ComputeLeq300Spectrum(ear.Samples.data(), ear.Count(), dt);
  const std::vector<float> atEar = FreeFieldAtEarLength(freeField, freeSpan, ear.Count());
  const Leq300Spectrum freeFieldAtEar =
      ComputeLeq300Spectrum(atEar.data(), static_cast<std::int32_t>(atEar.size()), dt);
  const std::string name = record_->BaseName() + "_to_" + UpperBaseName(chosen);
  const BandComparison comparison = CompareBands(freeFieldAtEar, earSpectrum);

  if (MovieRunning) CancelMovieClick();
  LeaveCursorTool();
  gridView_->hide();
  if (OverlayFormPending) {
    SaveForm();
    OverlayFormPending = false;
  }
  PopupOpensAutomatically = false;
  AnalyzeMenu->menuAction()->setEnabled(true);
  SaveORVwaveform1->setEnabled(false);
  SaveORVwaveformas1->setEnabled(false);

  RestoreForm();
  Plot.TracePenWidth = Plot.TraceColour == 1 ? 3 : 1;
  Plot.FreshFrame = false;
  DrawPressureTimePlot(ear);
  Plot.TracePenWidth = 1;

  if (!OverlayAxes) {
    SpectrumAxes axes = AxesFor(earSpectrum, 90.0f);
    axes.YMax = std::max(AxesFor(freeFieldAlone, 0.0f).YMax, axes.YMax);
    axes.YMin = axes.YMax - 90.0f;
    OverlayAxes = axes;
  }
  {
    QPainter painter(&canvas_->Image());
    const TPlotFrame frame = DrawSpectrumAxes(painter, ClientSize(), *OverlayAxes, Plot);
    DrawNarrowBandCurve(painter, frame, earSpectrum, EarSpectrumColour(Plot.TraceColour));
    DrawSpectrumAxes(painter, ClientSize(), *OverlayAxes, Plot);
    DrawNarrowBandCurve(painter, frame, freeFieldAtEar, QColor(0, 0, 255));
  }
  canvas_->update();

  const fs::path results = ResolveInFolder(StartupFolder, "Dat\\Hearing Protectors\\TOB.txt");
  std::error_code ignored;  // a folder that cannot be made is reported by the write
  fs::create_directories(results.parent_path(), ignored);
  AppendTobResults(results, TobResultsLine(comparison, name), {record_->File()});
  SaveForm();
}

}  // namespace orvek

// "File" > "Import waveform" and "Save WAV waveform": recordings from any common source in, the
// current samples out as a WAV file.
#include <QStringList>
#include <algorithm>

#include "app/NumberEntry.h"
#include "app/TForm1.h"
#include "base/FileNames.h"
#include "waveform/ImportReader.h"
#include "waveform/WavWriter.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kInMemoryBytes = ImportLimits{}.InMemoryBytes;

// The reader's questions, asked with the window's dialogs.
ImportChoices DialogChoices(Prompts& prompts) {
  ImportChoices choices;
  choices.Int16Order = [&prompts]() -> std::optional<ByteOrder> {
    switch (prompts.YesNoCancel(
        "This file may contain 16 bit binary integers. \r\nClick YES if it is a standard binary "
        "file.\r\nClick NO  if it is a byte-reversed binary file.\r\nClick Cancel otherwise to "
        "examine the file with a HEXADECIMAL editor.")) {
      case Prompts::Answer::Yes:
        return ByteOrder::LittleEndian;
      case Prompts::Answer::No:
        return ByteOrder::BigEndian;
      default:
        return std::nullopt;
    }
  };
  choices.SpreadsheetColumn = [&prompts](std::int32_t columns) -> std::optional<std::int32_t> {
    const QString text =
        QString::number(columns) +
        " columns of numbers were detected.  This could be interpreted as a spread-sheet "
        "with the waveform as one of the columns.  It could also be a single row of numbers "
        "which may be word-wrapped into multiple lines.\r\n"
        "Click YES if this is a spread-sheet.\r\n"
        "Click NO  if this is a word-wrapped waveform.\r\n"
        "Click Cancel otherwise to examine the file with a word-processor.";
    if (prompts.YesNoCancel(text) != Prompts::Answer::Yes) return std::nullopt;
    return InputInteger(prompts, "Spreadsheet column number", 1, columns, columns);
  };
  // The proposed channel count is the number of values on the first line of numbers: 1 for a
  // one-column recording, which a fixed 4 would cut to every fourth value.
  choices.MultiplexedChannels = [&prompts](std::int64_t bytes, std::int32_t firstLineValues) {
    const int proposed = std::clamp(firstLineValues, 1, 100);
    prompts.Information(
        "File size of " + QString::number(bytes) + " bytes exceeds input buffer limit of " +
        QString::number(kInMemoryBytes) + ". Assume " + QString::number(proposed) +
        " ASCII data channels are multiplexed at each time point and are separated by "
        "delimiters such as comma, tab, space, CR or LF characters.  The default channel number "
        "is 0. The data will be read directly from the disk and only the selected channel will be "
        "saved. Hit OK to edit these values.\r\n");
    ImportChoices::Channels channels;
    channels.Count = InputInteger(prompts, "Number of channels", 1, 100, proposed);
    channels.Chosen = InputInteger(prompts, "Channel to import", 0, channels.Count - 1, 0);
    return channels;
  };
  return choices;
}

}  // namespace

// The dialog comes first: a cancelled import changes nothing. A file that yields no samples or
// fails leaves the record, its header and the window as they were.
void TForm1::Importwaveform1Click() {
  FileDialogOptions dialog;
  dialog.Title = "Import waveform";
  dialog.Filter = "All files *.*|*.*|WAV files|*.WAV";
  dialog.InitialFolder = QString::fromStdString(LastOpenFolder.string());
  const auto chosenText = prompts_.OpenFile(dialog);
  if (!chosenText) return;

  const fs::path chosen = fs::absolute(fs::path(chosenText->toStdString()));
  const ImportReport report = record_->Import(chosen, DialogChoices(prompts_));
  QStringList notices;
  for (const std::string& notice : report.Notices) notices << QString::fromStdString(notice);
  if (!report.Decoded) {
    prompts_.Information(notices.isEmpty() ? "Nothing was imported from \"" + *chosenText + "\"."
                                           : notices.join("\r\n"));
    return;
  }

  CloseCursorTool();
  for (QAction* item : PopupTopItems) item->setEnabled(true);
  Plot.TraceColour = 1;
  Plot.FreshFrame = true;
  if (MovieRunning) CancelMovieClick();
  LastOpenFolder = chosen.parent_path();
  EditPending.fill(false);
  setWindowTitle("ORVEK INTENSE SOUND HAZARD IMPORTING FILE: " +
                 QString::fromStdString(chosen.filename().string()));
  PopupOpensAutomatically = true;
  AnalyzeMenu->menuAction()->setEnabled(false);
  SaveORVwaveform1->setEnabled(false);
  SaveORVwaveformas1->setEnabled(true);
  SaveWAVwaveform1->setEnabled(true);
  OverlayORVwaveform1->setEnabled(false);

  screen_ = Screen::Plot;
  LeaveImpulseCriteria();
  canvas_->Image().fill(Qt::white);
  LayOutForWaveform();
  LayOutGrid(0.2, 0.1, 0.66);
  gridView_->show();
  RefreshGridView();
  DrawPressureTimePlot();
  SaveForm();
  if (!notices.isEmpty()) prompts_.Information(notices.join("\r\n"));
}

// The whole record, also while a tool shows a stretch of it.
void TForm1::SaveWAVwaveform1Click() {
  FileDialogOptions dialog;
  dialog.Title = "Save WAV waveform";
  dialog.Filter = "WAV files (*.WAV)|*.WAV";
  dialog.InitialFolder = QString::fromStdString(LastOpenFolder.string());
  dialog.DefaultExtension = "WAV";
  dialog.ProposedName = QString::fromStdString(record_->BaseName()) + ".WAV";
  const auto chosen = prompts_.SaveFile(dialog);
  if (!chosen) return;
  const TWaveform& w = record_->Waveform();
  SaveWavFile(fs::path(chosen->toStdString()), w,
              QString::fromStdString(w.PlotTitle).trimmed().toStdString(), {record_->File()});
}

}  // namespace orvek

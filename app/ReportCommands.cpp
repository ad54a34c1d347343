// "Save report": the analysis report of the current file as a PDF document.
#include <QApplication>

#include "app/TForm1.h"
#include "base/FileNames.h"
#include "report/AnalysisReport.h"

namespace orvek {

// The report reads the file as saved, so that it shows what anyone opening the file finds; the
// protector is the one last chosen from the catalogue.
void TForm1::Savereport1Click() {
  if (!RequireSamples()) return;
  FileDialogOptions dialog;
  dialog.Title = "Save report";
  dialog.Filter = "PDF document|*.pdf";
  dialog.InitialFolder = QString::fromStdString(LastOpenFolder.string());
  dialog.DefaultExtension = "pdf";
  dialog.ProposedName = QString::fromStdString(record_->BaseName()) + ".pdf";
  const std::optional<QString> chosen = prompts_.SaveFile(dialog);
  if (!chosen) return;
  const std::string protector =
      SelectedProtector >= 0 && SelectedProtector < static_cast<int>(Catalogue.Entries.size())
          ? Catalogue.Entries[SelectedProtector].Name
          : std::string();

  struct HideProgress {
    QProgressBar* bar;
    ~HideProgress() { bar->hide(); }
  } hide{progress_};
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->show();
  // Repaints go on while the report is made, but no click can reach a command until it is done.
  const ReportContent content = AnalyseForReport(
      record_->File(), StartupFolder, protector, [this](int percent, const QString&) {
        progress_->setValue(percent);
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
      });
  WriteReportFile(chosen->toStdString(), ReportPdf(content), content.Reads);
}

}  // namespace orvek

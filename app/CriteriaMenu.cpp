// Impulse criteria: the A- and B-duration in header rows 14 and 15, and the table of every
// criterion shown by the pop-up command "Impulse Criteria" until "[Exit Impulse Criteria]".
#include <QClipboard>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPainter>
#include <cstring>

#include "app/TForm1.h"
#include "base/OrvekError.h"
#include "plot/ImpulseCriteriaTable.h"

namespace orvek {
namespace {

std::span<const float> RecordOf(const TWaveform& w) {
  return {w.Samples.data(), static_cast<std::size_t>(w.Count())};
}

// FNV-1a over the record's length, sample interval and samples: any edit, open or import changes
// it, so a remembered interval is used only on the record it was chosen on.
std::uint64_t RecordFingerprint(const TWaveform& w) {
  std::uint64_t hash = 14695981039346656037ull;
  const auto mix = [&hash](std::uint32_t word) { hash = (hash ^ word) * 1099511628211ull; };
  mix(static_cast<std::uint32_t>(w.Count()));
  std::uint32_t bits = 0;
  std::memcpy(&bits, &w.SampleInterval, sizeof bits);
  mix(bits);
  for (const float sample : RecordOf(w)) {
    std::memcpy(&bits, &sample, sizeof bits);
    mix(bits);
  }
  return hash;
}

// Why a duration is undefined: its own note, else the first (an interval of one sample, silence).
QString ReasonFor(const ImpulseCriteria& c, const std::string& prefix) {
  for (const std::string& note : c.Notes)
    if (note.rfind(prefix, 0) == 0) return QString::fromStdString(note.substr(prefix.size()));
  return c.Notes.empty() ? QString() : QString::fromStdString(c.Notes.front());
}

QString Milliseconds(double ms) { return QString::number(ms, 'f', 3); }

}  // namespace

void TForm1::NoteStatisticsInterval(SampleSpan span) {
  StatisticsCriteriaInterval = {span, RecordFingerprint(record_->Waveform())};
  ShowImpulseDurations(span);
}

void TForm1::ShowImpulseDurations(SampleSpan span) {
  ImpulseCriteria c;
  try {
    c = ComputeImpulseCriteria(RecordOf(record_->Waveform()), record_->Waveform().SampleInterval,
                               span.First, span.Last);
  } catch (const OrvekError& error) {
    // The rows say why instead of keeping an earlier record's durations, and the command that
    // asked for them (an analysis) still completes.
    c.Notes = {error.what()};
  }
  for (const auto& [row, label, name, value, prefix] :
       {std::tuple{HeaderRow::ADuration, "Ta", "A-duration milliseconds", c.ADurationMs, "Ta: "},
        std::tuple{HeaderRow::BDuration, "Tb", "B-duration milliseconds", c.BDurationMs, "Tb: "}}) {
    SetResultCell(HeaderColumn::Parameter, row, label);
    SetResultCell(HeaderColumn::Value, row, value ? Milliseconds(*value) : "n/a");
    SetResultCell(HeaderColumn::Comment, row,
                  value ? QString(name) : QString(name) + ": " + ReasonFor(c, prefix));
  }
}

std::optional<SampleSpan> TForm1::CriteriaIntervalOfRecord() const {
  if (!StatisticsCriteriaInterval ||
      StatisticsCriteriaInterval->Record != RecordFingerprint(record_->Waveform()))
    return std::nullopt;
  return StatisticsCriteriaInterval->Span;
}

void TForm1::ImpulseCriteria1Click() {
  if (!RequireSamples()) return;
  const std::optional<SampleSpan> interval = CriteriaIntervalOfRecord();
  const SampleSpan span = interval.value_or(SampleSpan{0, record_->Waveform().LastSampleIndex});
  const double dtMs = record_->Waveform().SampleInterval * 1000.0;
  ShownCriteria = ComputeImpulseCriteria(RecordOf(record_->Waveform()),
                                         record_->Waveform().SampleInterval, span.First, span.Last);
  CriteriaTitle = "IMPULSE CRITERIA OF " + QString::fromStdString(record_->BaseName()) + ": " +
                  (interval ? "STATISTICS INTERVAL" : "WHOLE RECORD") + ", SAMPLES " +
                  QString::number(span.First) + " - " + QString::number(span.Last) + " (" +
                  Milliseconds(span.First * dtMs) + " - " + Milliseconds(span.Last * dtMs) + " MS)";
  if (CriteriaModeItems.empty()) {
    GridShownBeforeCriteria = gridView_->isVisible();
    CriteriaModeItems = {
        AddMenuBarItem("[Copy Impulse Criteria]", &TForm1::CopyImpulseCriteriaClick),
        AddMenuBarItem("[Exit Impulse Criteria]", &TForm1::ExitImpulseCriteriaClick)};
  }
  gridView_->hide();
  DrawImpulseCriteriaTable();
}

void TForm1::DrawImpulseCriteriaTable() {
  {
    QPainter painter(&canvas_->Image());
    ImpulseCriteriaTable(painter, ClientSize(), ImpulseCriteriaRows(*ShownCriteria), CriteriaTitle);
  }
  canvas_->update();
}

void TForm1::CopyImpulseCriteriaClick() {
  if (!ShownCriteria) return;
  QGuiApplication::clipboard()->setText(CriteriaTitle + '\n' +
                                        ImpulseCriteriaText(ImpulseCriteriaRows(*ShownCriteria)));
}

void TForm1::LeaveImpulseCriteria() {
  for (QAction* item : CriteriaModeItems) {
    menuBar()->removeAction(item);
    item->deleteLater();
  }
  CriteriaModeItems.clear();
  ShownCriteria.reset();
}

void TForm1::ExitImpulseCriteriaClick() {
  LeaveImpulseCriteria();
  RestoreForm();
  // A waveform opened meanwhile showed the grid already; the table never hides it for good.
  if (GridShownBeforeCriteria) gridView_->show();
}

}  // namespace orvek

#include "waveform/CurrentRecord.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/FileNames.h"
#include "base/OrvekError.h"

namespace orvek {
namespace fs = std::filesystem;
namespace {

// The header values of `from` (everything but the samples and the length) into `to`.
void CopyHeaderValues(const TWaveform& from, TWaveform& to) {
  to.SampleRate = from.SampleRate;
  to.SampleInterval = from.SampleInterval;
  to.MicLocation = from.MicLocation;
  to.PlotTitle = from.PlotTitle;
  to.DataMax = from.DataMax;
  to.DataMin = from.DataMin;
  to.AxisMax = from.AxisMax;
  to.AxisMin = from.AxisMin;
  to.TimeStart = from.TimeStart;
  to.TimeEnd = from.TimeEnd;
  to.WindowStart = from.WindowStart;
  to.WindowEnd = from.WindowEnd;
  to.FirstIndex = from.FirstIndex;
  to.LastIndex = from.LastIndex;
  to.WaveformLoaded = from.WaveformLoaded;
  to.FlatEnergy = from.FlatEnergy;
  to.PaddedLength = from.PaddedLength;
}

std::string WholeNumber(double value) {
  char text[64];
  return std::string(text, std::to_chars(text, text + sizeof text, std::nearbyint(value),
                                         std::chars_format::fixed, 0)
                               .ptr);
}

}  // namespace

CurrentRecord::CurrentRecord(std::int32_t capacity)
    : record_(std::make_unique<TWaveform>(capacity)) {}

CurrentRecord::~CurrentRecord() = default;

std::string CurrentRecord::BaseName() const { return UpperBaseName(file_); }

OrvReadReport CurrentRecord::Open(const fs::path& file, bool pressureRangePending, Lcg32& rng) {
  const bool writable = FolderWritable(fs::absolute(file).parent_path());
  const OrvReadReport report = OpenNewFileType5(file, pressureRangePending, *record_, grid_, rng);
  record_->WindowStart = record_->TimeStart;
  record_->WindowEnd = record_->TimeEnd;
  file_ = file;
  imported_ = false;
  writableMedia_ = writable;
  view_.reset();
  return report;
}

ImportReport CurrentRecord::Import(const fs::path& file, const ImportChoices& choices) {
  if (!staged_) staged_ = std::make_unique<TWaveform>(Capacity());
  HeaderGrid grid;
  FillDefaultHeader(grid);
  grid.HeaderLastRow = HeaderRow::AEnergy;
  ImportReport report = OpenNewFileType4(file, ExtensionTag(file), choices, *staged_, grid);
  if (!report.Decoded || staged_->Count() < 1) return report;
  // The staging record last held an earlier record: the location is the import header's.
  staged_->MicLocation = static_cast<std::int32_t>(
      CellWholeNumber(grid.Cell(HeaderColumn::Value, HeaderRow::MicLocation)).value_or(1));
  std::swap(record_, staged_);
  grid_ = std::move(grid);
  record_->WindowStart = record_->TimeStart;
  record_->WindowEnd = record_->TimeEnd;
  file_ = file;
  imported_ = true;
  writableMedia_ = FolderWritable(fs::absolute(file).parent_path());
  view_.reset();
  Changed();
  return report;
}

void CurrentRecord::TypeCell(int column, int row, std::string text) {
  grid_.SetCell(column, row, std::move(text));
}

CellEditResult CurrentRecord::ApplyCellEdit(LiveCell cell) {
  const CellEditResult result = orvek::ApplyCellEdit(cell, grid_, *record_);
  if (result.Accepted) Changed();
  return result;
}

void CurrentRecord::SetResultCell(int column, int row, std::string text) {
  if (row <= HeaderRow::SampleCount)
    throw OrvekError("Header row " + std::to_string(row) +
                     " belongs to the waveform header; results go to row 5 on.");
  grid_.SetCell(column, row, std::move(text));
}

void CurrentRecord::SelectSegment(SampleSpan span) {
  orvek::SelectSegment(*record_, span);
  grid_.SetCell(HeaderColumn::Value, HeaderRow::SampleCount, std::to_string(record_->Count()));
  Changed();
}

void CurrentRecord::ApplyTaper(SampleSpan span) {
  orvek::ApplyTaper(*record_, span);
  Changed();
}

void CurrentRecord::Calibrate(CalibrationUnit unit, float value) {
  ApplyCalibration(*record_, unit, value);
  // A new pressure scale makes the old axis limits meaningless (counts or full-scale units).
  record_->AxisMax = record_->DataMax;
  record_->AxisMin = record_->DataMin;
  Changed();
}

bool CurrentRecord::Resample(double rate) {
  const bool cut = orvek::Resample(*record_, rate);
  grid_.SetCell(HeaderColumn::Value, HeaderRow::SampleCount, std::to_string(record_->Count()));
  grid_.SetCell(HeaderColumn::Value, HeaderRow::SampleRate,
                WholeNumber(1.0 / record_->SampleInterval));
  Changed();
  return cut;
}

void CurrentRecord::SetPressureAxis(float bottom, float top) {
  record_->AxisMin = bottom;
  record_->AxisMax = top;
  Changed();
}

void CurrentRecord::SetStatisticsInterval(SampleSpan span) {
  record_->FirstIndex = span.First;
  record_->LastIndex = span.Last;
}

void CurrentRecord::OpenView(SampleSpan span) {
  viewSpan_ = span;
  MakeView();
}

void CurrentRecord::CloseView() { view_.reset(); }

void CurrentRecord::MakeView() {
  const TWaveform& w = *record_;
  const std::int32_t n = std::max(w.LastSampleIndex, 0);
  const std::int32_t first = std::clamp(viewSpan_.First, 0, n);
  const std::int32_t last = std::clamp(viewSpan_.Last, first, n);
  const std::int32_t count = last - first + 1;
  if (!view_ || view_->Capacity() < count) view_ = std::make_unique<TWaveform>(count);
  TWaveform& v = *view_;
  CopyHeaderValues(w, v);
  std::copy_n(w.Samples.begin() + first, count, v.Samples.begin());
  v.LastSampleIndex = count - 1;
  v.TimeStart = 0.0f;
  v.TimeEnd = static_cast<float>(static_cast<double>(v.LastSampleIndex) * v.SampleInterval);
}

float CurrentRecord::RemoveBaseline(SampleSpan spanInView) {
  const std::int32_t first = view_ ? std::clamp(viewSpan_.First, 0, record_->LastSampleIndex) : 0;
  view_.reset();
  const float mean =
      orvek::RemoveBaseline(*record_, {first + spanInView.First, first + spanInView.Last});
  Changed();
  return mean;
}

void CurrentRecord::ShiftStart(std::int32_t chosenStart) {
  view_.reset();
  orvek::ShiftStart(*record_, chosenStart);
  grid_.SetCell(HeaderColumn::Value, HeaderRow::SampleCount, std::to_string(record_->Count()));
  Changed();
}

void CurrentRecord::Save(const fs::path& file, bool saveAs) {
  // "Save" replaces the record's own file on purpose; an imported recording is never replaced
  // by its ORV copy.
  ReadFiles reads;
  if (imported_) reads.push_back(file_);
  SaveOrvFile(file, saveAs, grid_, *record_, reads);
  view_.reset();
  if (saveAs) {
    file_ = file;
    imported_ = false;
    writableMedia_ = FolderWritable(fs::absolute(file).parent_path());
  }
  record_->WaveformLoaded = false;
  Changed();
}

void CurrentRecord::CopyTo(TWaveform& into) const {
  const TWaveform& w = *record_;
  CopyHeaderValues(w, into);
  const std::int32_t count = std::min(w.Count(), into.Capacity());
  std::copy_n(w.Samples.begin(), count, into.Samples.begin());
  into.LastSampleIndex = count - 1;
}

void CurrentRecord::CopyForAnalysis(TWaveform& into) const {
  const TWaveform& w = *record_;
  CopyHeaderValues(w, into);
  const std::int32_t count = std::min(SavedCount(w.Count(), w.Capacity()), into.Capacity());
  const std::int32_t kept = std::min(w.Count(), count);
  std::copy_n(w.ReferenceSamples.begin(), kept, into.Samples.begin());
  std::fill(into.Samples.begin() + kept, into.Samples.begin() + count, 0.0f);
  into.LastSampleIndex = count - 1;
  into.TimeEnd =
      static_cast<float>(w.TimeStart + static_cast<double>(count - 1) * w.SampleInterval);
}

void CurrentRecord::Changed() {
  TWaveform& w = *record_;
  std::copy_n(w.Samples.begin(), std::max(w.Count(), 0), w.ReferenceSamples.begin());
  if (view_) MakeView();
}

}  // namespace orvek

#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "base/Lcg32.h"
#include "waveform/HeaderEdit.h"
#include "waveform/HeaderGrid.h"
#include "waveform/ImportReader.h"
#include "waveform/OrvFile.h"
#include "waveform/Waveform.h"
#include "waveform/WaveformEdit.h"

namespace orvek {

// The one current record: its samples and header values, its header grid, the file it came from,
// and the reference copy the analysis starts from. Every command reads and changes the record
// through here, so that samples, grid and file identity always describe the same record.
//
// A shortened view (the zoom of "Set Baseline", the rise shown by "Establish Start") is a copy of
// a stretch of the record made for display; the record stays whole while it is open, so a save
// or an analysis in between always takes the whole record.
class CurrentRecord {
 public:
  explicit CurrentRecord(std::int32_t capacity);
  ~CurrentRecord();
  CurrentRecord(const CurrentRecord&) = delete;
  CurrentRecord& operator=(const CurrentRecord&) = delete;

  const TWaveform& Waveform() const { return *record_; }
  const HeaderGrid& Grid() const { return grid_; }
  std::int32_t Capacity() const { return record_->Capacity(); }
  bool Loaded() const { return record_->WaveformLoaded; }
  // The file the record was opened or imported from, or last saved as; empty before the first.
  const std::filesystem::path& File() const { return file_; }
  bool Imported() const { return imported_; }
  // The folder of File() takes result files (".HAZ"): it exists and can be written.
  bool WritableMedia() const { return writableMedia_; }
  // Upper-cased name of File() up to its last dot ("SHOT.1" for "shot.1.ORV"); the files derived
  // from the record are named from it, so records of different files never share a result file.
  std::string BaseName() const;

  // --- reading: nothing changes unless the file is read ---
  // "Open ORV waveform": the main reader. The comparison window becomes the record's time span.
  OrvReadReport Open(const std::filesystem::path& file, bool pressureRangePending, Lcg32& rng);
  // "Import waveform": the import reader with the import's default header. A file that yields
  // no samples (nothing decoded, the 16-bit question cancelled) or fails leaves everything as it
  // was; the report says why.
  ImportReport Import(const std::filesystem::path& file, const ImportChoices& choices);

  // --- header cells ---
  // Text typed into a cell; a live cell takes effect through ApplyCellEdit.
  void TypeCell(int column, int row, std::string text);
  CellEditResult ApplyCellEdit(LiveCell cell);
  // A result (or its caption) written by a command into a row after the live cells.
  void SetResultCell(int column, int row, std::string text);

  // --- edits of the whole record; each keeps the reference copy and an open view up to date ---
  void SelectSegment(SampleSpan span);
  void ApplyTaper(SampleSpan span);
  // The pressure axis follows the calibrated data.
  void Calibrate(CalibrationUnit unit, float value);
  // Returns true when the resampled record was cut at the end of the buffers.
  bool Resample(double rate);
  void SetPressureAxis(float bottom, float top);
  void SetStatisticsInterval(SampleSpan span);

  // --- views ---
  // Shows samples first..last of the record from time 0 (Set Baseline, Establish Start).
  void OpenView(SampleSpan span);
  void CloseView();
  bool ViewOpen() const { return view_ != nullptr; }
  // What the pressure-time plot shows: the open view, or the record.
  const TWaveform& Shown() const { return view_ ? *view_ : *record_; }
  // Set Baseline's second stage: removes the mean of `span` of the view from the whole record
  // and closes the view; returns the mean (Pa).
  float RemoveBaseline(SampleSpan spanInView);
  // Establish Start's second stage: sample `chosenStart` of the view (the same index in the
  // record) moves to 5 ms; closes the view.
  void ShiftStart(std::int32_t chosenStart);

  // --- writing ---
  // "Save ORV waveform" (saveAs false) and "... as": writes the whole record (padded with zeros or
  // cut to a power of two, in memory too); after "as" the record belongs to the file written.
  // Closes a view. The record stays in memory but is no longer loaded for analysis.
  void Save(const std::filesystem::path& file, bool saveAs);

  // The whole record as a copy into `into` (capacity at least Capacity()), header values included.
  void CopyTo(TWaveform& into) const;
  // The record as the analysis takes it, from the reference copy: the samples a saved file would
  // hold (padded with zeros or cut to a power of two), so that an analysis here and one of the
  // file "Save ORV waveform as" writes run the same samples.
  void CopyForAnalysis(TWaveform& into) const;

 private:
  // After every edit: the reference copy follows the record, an open view is made again.
  void Changed();
  void MakeView();

  std::unique_ptr<TWaveform> record_;
  std::unique_ptr<TWaveform> staged_;  // an import reads into it; swapped in on success
  HeaderGrid grid_;
  std::filesystem::path file_;
  bool imported_ = false;
  bool writableMedia_ = true;
  std::unique_ptr<TWaveform> view_;
  SampleSpan viewSpan_;
};

}  // namespace orvek

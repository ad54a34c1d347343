#pragma once
#include <array>
#include <string>

namespace orvek {

// The columns of the header grid.
namespace HeaderColumn {
inline constexpr int Parameter = 0;  // the row's label
inline constexpr int Value = 1;
inline constexpr int Comment = 2;
}  // namespace HeaderColumn

// What the rows of the header grid hold. Rows 0 to 4 are the waveform header a file supplies; from
// row 5 on the readers write labels and the analysis and metrics commands their results.
namespace HeaderRow {
inline constexpr int Captions = 0;     // "PARAMETER", "VALUE", "COMMENT"
inline constexpr int Title = 1;        // the plot title, in the comment column
inline constexpr int SampleRate = 2;   // samples/s
inline constexpr int MicLocation = 3;  // 1 free field, 2 ear-canal entrance, 3 eardrum (4: as 1)
inline constexpr int SampleCount = 4;
// Allowed number of exposures and hazard of the warned and the unwarned analysis (the import
// labels them "Nu" and "Nw" the other way round; an analysis writes its own labels).
inline constexpr int WarnedExposures = 5;
inline constexpr int UnwarnedExposures = 6;
inline constexpr int PeakLevel = 7;   // dB, of the Statistics interval
inline constexpr int LAeq = 8;        // LAeq and Leq of the Statistics interval, dB
inline constexpr int StartLevel = 8;  // the same row while "Establish Start" shows the level, dB
inline constexpr int LAeq8hr = 9;     // dB
inline constexpr int Na = 10;         // allowed number of exposures by A-weighted energy
inline constexpr int AEnergy = 11;    // A-weighted energy, J/m^2
// Labels the overlay reader writes: allowed exposures with single and double hearing protection,
// and the A- and B-durations in ms.
inline constexpr int SingleProtectedExposures = 12;
inline constexpr int DoubleProtectedExposures = 13;
inline constexpr int ADuration = 14;
inline constexpr int BDuration = 15;
}  // namespace HeaderRow

// The PARAMETER / VALUE / COMMENT table of the waveform header and results: 3 columns x 30 rows.
class HeaderGrid {
 public:
  static constexpr int kColumns = 3;
  static constexpr int kRows = 30;

  const std::string& Cell(int column, int row) const { return cells_.at(row).at(column); }
  void SetCell(int column, int row, std::string text) {
    cells_.at(row).at(column) = std::move(text);
  }
  void SetRow(int row, std::string c0, std::string c1, std::string c2);
  void ClearRow(int row);
  bool RowEmpty(int row) const;

  // Last header row supplied by the file last read (rows 0..HeaderLastRow are written by "Save").
  int HeaderLastRow = HeaderRow::SampleCount;

 private:
  // Strings start empty without an initializer; "{}" here crashes clang 14 (the fuzzing build).
  std::array<std::array<std::string, kColumns>, kRows> cells_;
};

// The header a new recording gets: rows 0..11 with their labels, rate 200000, free field, title
// "NEW SOURCE"; rows 12..29 emptied.
void FillDefaultHeader(HeaderGrid& grid);

}  // namespace orvek

#pragma once
#include <array>
#include <string>

namespace orvek {

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
  int HeaderLastRow = 4;

 private:
  // Strings start empty without an initializer; "{}" here crashes clang 14 (the fuzzing build).
  std::array<std::array<std::string, kColumns>, kRows> cells_;
};

// The header a new recording gets: rows 0..11 with their labels, rate 200000, free field, title
// "NEW SOURCE"; rows 12..29 emptied.
void FillDefaultHeader(HeaderGrid& grid);

}  // namespace orvek

#include "waveform/HeaderGrid.h"

namespace orvek {

void HeaderGrid::SetRow(int row, std::string c0, std::string c1, std::string c2) {
  SetCell(0, row, std::move(c0));
  SetCell(1, row, std::move(c1));
  SetCell(2, row, std::move(c2));
}

void HeaderGrid::ClearRow(int row) { SetRow(row, {}, {}, {}); }

bool HeaderGrid::RowEmpty(int row) const {
  for (int c = 0; c < kColumns; ++c)
    if (!Cell(c, row).empty()) return false;
  return true;
}

}  // namespace orvek

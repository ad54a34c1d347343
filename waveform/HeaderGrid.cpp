#include "waveform/HeaderGrid.h"

namespace orvek {

void HeaderGrid::SetRow(int row, std::string c0, std::string c1, std::string c2) {
  SetCell(HeaderColumn::Parameter, row, std::move(c0));
  SetCell(HeaderColumn::Value, row, std::move(c1));
  SetCell(HeaderColumn::Comment, row, std::move(c2));
}

void HeaderGrid::ClearRow(int row) { SetRow(row, {}, {}, {}); }

bool HeaderGrid::RowEmpty(int row) const {
  for (int c = 0; c < kColumns; ++c)
    if (!Cell(c, row).empty()) return false;
  return true;
}

void FillDefaultHeader(HeaderGrid& grid) {
  static constexpr int kLabelledRows = HeaderRow::AEnergy + 1;
  static constexpr const char* kRows[kLabelledRows][3] = {
      {"PARAMETER", "VALUE", "COMMENT"},
      {"Title for waveform plot", "", "NEW SOURCE"},
      {"Sampling rate", "200000",
       "(samples/sec = 1e6/Dt, Dt=time/sample (microseconds) 44100 for WAV files)"},
      {"Microphone relative to ear", "1", "1: Free-field, 2: Ear-canal entrance, 3: Eardrum"},
      {"Number of Samples", "",
       "typically 4096 or 8192 rounded to nearest power of two during analysis"},
      {"Nu", "", "allowed number of unwarned exposures"},
      {"Nw", "", "allowed number of warned exposures"},
      {"Peak pressure level", "", "dB"},
      {"Establish start level", "", "dB"},
      {"LAeq8hr", "", "dB"},
      {"Na", "", "allowed number of exposures based on A-weight energy at eardrum of manikin"},
      {"A-weighted energy", "", "joules per square meter"},
  };
  for (int row = 0; row < kLabelledRows; ++row)
    grid.SetRow(row, kRows[row][0], kRows[row][1], kRows[row][2]);
  for (int row = kLabelledRows; row < HeaderGrid::kRows; ++row) grid.ClearRow(row);
}

}  // namespace orvek

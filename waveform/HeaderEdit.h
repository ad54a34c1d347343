#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "waveform/HeaderGrid.h"
#include "waveform/Waveform.h"

namespace orvek {

// Numbers in header cells, converted after dropping leading and trailing blanks: a real number
// in decimal notation, or a whole number (optional sign and digits, saturated at the 64-bit
// limits). Any other text gives no value.
std::optional<double> CellReal(std::string_view text);
std::optional<std::int64_t> CellWholeNumber(std::string_view text);

// A sampling rate as the rate cell holds it: the shortest decimal text without an exponent that
// reads back as the same single-precision rate ("200000", "33333.334"), so that a saved file
// reopens at the rate its samples were taken at.
std::string RateText(float rate);

// The four live header cells and what applying an edit to each does to the record.
enum class LiveCell { Title, SampleRate, MicLocation, SampleCount };

// Outcome of applying an edit: whether it was accepted (pending flag cleared) and whether the
// pressure-time plot must be redrawn.
struct CellEditResult {
  bool Accepted = false;
  bool Redraw = false;
};

// Reads the cell's text from the grid and applies it to the record; a refused rate or location is
// written back to the grid (previous rate without decimals, previous location); the sample-count
// cell is rewritten with the count actually applied.
CellEditResult ApplyCellEdit(LiveCell cell, HeaderGrid& grid, TWaveform& waveform);

// The live cell at (column, row), if any.
bool LiveCellAt(int column, int row, LiveCell& cell);

}  // namespace orvek

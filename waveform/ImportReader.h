#pragma once
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "waveform/HeaderGrid.h"
#include "waveform/Waveform.h"

namespace orvek {

// How the import reader took the file (by its content, not its extension).
enum class ImportKind {
  Wav,         // RIFF signature (also RIFX, big-endian, and RF64, the 64-bit form)
  RawFloat32,  // not text; every fourth byte fits little-endian singles below about 2^20
  Int16,       // not text, not float: 16-bit integers (the caller chose the byte order)
  Text,      // text (8-bit, UTF-8 with or without a byte-order mark, or UTF-16 with one) in memory
  LargeText  // text file above the in-memory limit: one channel of a multiplexed recording
};

enum class ByteOrder { LittleEndian, BigEndian };

// The decisions the reader needs from the user while it reads. The window asks them with its
// dialogs, the command line takes them from its options. Each is called at most once.
struct ImportChoices {
  // A binary file that is neither WAV nor float: the order of its 16-bit values, or nullopt to
  // read nothing.
  std::function<std::optional<ByteOrder>()> Int16Order;
  // A text file whose values end a line: the spreadsheet column (1..columnCount) holding the
  // waveform, or nullopt to take all values in reading order (a word-wrapped waveform).
  std::function<std::optional<std::int32_t>(std::int32_t columnCount)> SpreadsheetColumn;
  // A text file above the in-memory limit of `bytes` bytes: the number of multiplexed channels
  // and the channel (0-based) to import. `firstLineValues` is the number of values on the first
  // line of numbers, the channel count of a file that puts each time point on a line of its own
  // (1 for a one-column recording).
  struct Channels {
    std::int32_t Count = 1;
    std::int32_t Chosen = 0;
  };
  std::function<Channels(std::int64_t bytes, std::int32_t firstLineValues)> MultiplexedChannels;
};

struct ImportLimits {
  std::int64_t InMemoryBytes = 67'108'864;  // larger text files are read in blocks
  std::int64_t BlockBytes = 67'108'864;     // block size of that path
};

struct ImportReport {
  ImportKind Kind = ImportKind::Text;
  std::string WavDescription;    // the text written to cell (2, 2); empty for other kinds
  std::int32_t WavChannels = 0;  // channels in the WAV format chunk
  std::int32_t FramesPerChannel =
      0;                         // WAV frames stored per channel (channel blocks follow each other)
  std::int32_t ColumnCount = 0;  // values on the first data line of a text file
  bool Decoded = true;           // false: nothing was read (undecoded WAV, no data, cancelled)
  bool TruncatedAtCapacity = false;  // the file held more values than the buffers take
  // The extension read as 0 (or as an interval beyond the single-precision range): 200,000
  // samples/s was kept.
  bool RateFromExtensionZero = false;
  // Sentences for the user (truncation, channels and rate of a large file, undecoded WAV).
  std::vector<std::string> Notices;
};

// The import reader. Reads `file` into waveform.Samples from index 0 and sets LastSampleIndex,
// SampleRate, SampleInterval, DataMax/DataMin, AxisMax/AxisMin, FirstIndex/LastIndex,
// TimeStart/TimeEnd, PlotTitle (cell (2, 1)) and WaveformLoaded, and cells (1, 2), (2, 2) and
// (1, 4) of `grid`, which holds the import defaults. `extensionTag` (".050") carries the sample
// interval of files without a header, in tenths of a microsecond. Values are stored as coded
// (counts or full-scale units); no dither, padding or reference copy. When nothing is read the
// record is left empty (LastSampleIndex -1) and the report says why. A file that cannot be read,
// or whose values to be imported include a token that is not a number, throws OrvekError naming
// the file, the line and the token; the record is then empty too. Tokens in spreadsheet columns
// that were not chosen (or in other channels of a large file) are not read as numbers.
ImportReport OpenNewFileType4(const std::filesystem::path& file, const std::string& extensionTag,
                              const ImportChoices& choices, TWaveform& waveform, HeaderGrid& grid,
                              const ImportLimits& limits = {});

}  // namespace orvek

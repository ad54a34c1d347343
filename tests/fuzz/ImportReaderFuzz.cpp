// The import reader on every path: RIFF/WAV, raw float32, 16-bit, text in memory and large text
// tokenized in blocks. The input starts with three control bytes and the extension tag:
//   byte 0  the user's answers: bits 0-1 the 16-bit byte order (little, big, cancel, little),
//           bits 2-3 the spreadsheet column (all values, 1, the last, one past the last),
//           bits 4-5 the multiplexed channel count less one, bit 6 the last channel, not the first
//   byte 1  the limits: bits 0-3 the block size less one; bits 4-7 the in-memory limit in
//           16-byte steps, 15 for the default limits
//   byte 2  the length of the extension tag (modulo 8), whose bytes follow;
// the rest is the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "FuzzInput.h"
#include "base/OrvekError.h"
#include "waveform/HeaderGrid.h"
#include "waveform/ImportReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvek;
  if (size < 3) return 0;
  const std::uint8_t answers = data[0];
  const std::uint8_t limitBits = data[1];
  const std::size_t tagLength = std::min<std::size_t>(data[2] % 8, size - 3);
  const std::string tag(reinterpret_cast<const char*>(data) + 3, tagLength);
  const std::size_t header = 3 + tagLength;

  ImportChoices choices;
  choices.Int16Order = [answers]() -> std::optional<ByteOrder> {
    const std::optional<ByteOrder> orders[] = {ByteOrder::LittleEndian, ByteOrder::BigEndian,
                                               std::nullopt, ByteOrder::LittleEndian};
    return orders[answers & 3];
  };
  choices.SpreadsheetColumn = [answers](std::int32_t columns) -> std::optional<std::int32_t> {
    const std::optional<std::int32_t> picks[] = {std::nullopt, 1, columns, columns + 1};
    return picks[answers >> 2 & 3];
  };
  choices.MultiplexedChannels = [answers](std::int64_t, std::int32_t) {
    const std::int32_t count = 1 + (answers >> 4 & 3);
    return ImportChoices::Channels{count, (answers & 0x40) ? count - 1 : 0};
  };
  ImportLimits limits;
  if (limitBits >> 4 != 15) limits = {16 * (limitBits >> 4), 1 + (limitBits & 15)};

  TWaveform waveform(fuzz::kSampleCapacity);
  HeaderGrid grid;
  FillDefaultHeader(grid);
  try {
    const ImportReport report =
        OpenNewFileType4(fuzz::InputFile::Holding(data + header, size - header), tag, choices,
                         waveform, grid, limits);
    if (report.Decoded) {
      fuzz::ExpectStoredRecord(waveform);
      fuzz::Expect(waveform.SampleRate > 0.0f && waveform.DataMin <= waveform.DataMax);
    } else {
      fuzz::Expect(waveform.LastSampleIndex == -1 && !waveform.WaveformLoaded);
    }
  } catch (const OrvekError&) {
    fuzz::Expect(waveform.LastSampleIndex == -1 && !waveform.WaveformLoaded);
  }
  return 0;
}

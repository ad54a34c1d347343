#include "waveform/ImportReader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <new>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "base/DecimalNumber.h"
#include "base/ErrorText.h"
#include "base/FileNames.h"
#include "base/LargePages.h"
#include "base/OrvekError.h"
#include "waveform/TextTokenizer.h"

namespace orvek {
namespace fs = std::filesystem;
namespace {

constexpr float kDefaultRate = 200000.0f;  // samples/s when the extension gives no interval
constexpr std::int64_t kBinaryBlockBytes = 1 << 21;  // binary samples are decoded in cache
constexpr std::uint16_t kPcm = 1, kIeeeFloat = 3, kExtensible = 65534;

// A rate as the shortest decimal text that reads back as the same single-precision value, so
// that the header cell and the samples agree; rates reach the single-precision limit (39 digits),
// far beyond the 64-bit integers.
std::string RateText(float rate) {
  char text[64];
  return std::string(text,
                     std::to_chars(text, text + sizeof text, rate, std::chars_format::fixed).ptr);
}

// Byte classes of the content test.
enum : unsigned char { kTextByte = 1, kNumericByte = 2, kLineEndByte = 4 };
constexpr std::array<unsigned char, 256> kByteClass = [] {
  std::array<unsigned char, 256> byteClass{};
  for (int b = 0; b < 256; ++b) {
    const bool control = (b >= 8 && b <= 13) || b == 26;
    if (b == 0 || control || (b >= 32 && b <= 127)) byteClass[b] |= kTextByte;
    if (control || (b >= '0' && b <= '9') ||
        std::string_view(" +,-./Ee").find(char(b)) != std::string_view::npos)
      byteClass[b] |= kNumericByte;
    if (b == '\n' || b == '\r' || b == 26) byteClass[b] |= kLineEndByte;
  }
  return byteClass;
}();

bool Is(unsigned char byteClass, char c) {
  return (kByteClass[static_cast<unsigned char>(c)] & byteClass) != 0;
}

// Read buffers are anonymous mappings that ask for 2 MB pages, so that a buffer of tens of
// megabytes costs a few dozen page faults rather than thousands.
struct PagesRelease {
  std::size_t Bytes = 0;
  void operator()(char* pages) const { FreeLargePages(pages, Bytes); }
};
using ReadBuffer = std::unique_ptr<char, PagesRelease>;

ReadBuffer Allocate(std::size_t bytes, const fs::path& file) {
  if (bytes == 0) return {};
  try {
    return ReadBuffer(static_cast<char*>(AllocateLargePages(bytes)), PagesRelease{bytes});
  } catch (const std::bad_alloc&) {
    throw OrvekError("Import file " + Quoted(file) + ": no memory for a read buffer of " +
                     std::to_string(bytes) + " bytes.");
  }
}

// The file being imported: its first bytes (all of it when it is small enough) in memory, the
// rest read from disk when needed, so that a large file never has to fit in memory.
class ImportFile {
 public:
  ImportFile(const fs::path& file, std::int64_t inMemoryBytes);

  std::int64_t Size() const { return size_; }
  bool Whole() const { return imageSize_ == size_; }
  std::string_view Image() const { return {image_.get(), static_cast<std::size_t>(imageSize_)}; }
  // The `count` bytes at `offset`, which lie inside the file.
  void Read(std::int64_t offset, std::size_t count, char* out);
  // Passes the bytes [first, last) to visit(const char*, std::size_t) in blocks of `blockBytes`
  // (the last may be shorter) while it returns true.
  template <typename Visit>
  void ForEachBlock(std::int64_t first, std::int64_t last, std::int64_t blockBytes, Visit visit);

 private:
  struct Closer {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
  };
  void ReadFromDisk(std::int64_t offset, std::size_t count, char* out);

  fs::path file_;
  std::unique_ptr<std::FILE, Closer> stream_;
  std::int64_t size_ = 0;
  ReadBuffer image_;
  std::int64_t imageSize_ = 0;
  ReadBuffer block_;
  std::size_t blockSize_ = 0;
};

ImportFile::ImportFile(const fs::path& file, std::int64_t inMemoryBytes) : file_(file) {
  if (const auto special = SpecialFileReason(file))
    throw OrvekError("Cannot open import file " + Quoted(file) + ": " + *special + ".");
  std::error_code error;
  const std::uintmax_t size = fs::file_size(file, error);
  if (error) throw OrvekError("Cannot open import file " + Quoted(file) + ": " + error.message());
  stream_.reset(std::fopen(file.c_str(), "rb"));
  if (!stream_)
    throw OrvekError("Cannot open import file " + Quoted(file) + ": " + ErrnoReason(errno));
  size_ = static_cast<std::int64_t>(size);
  imageSize_ = std::min(size_, inMemoryBytes);
  image_ = Allocate(static_cast<std::size_t>(imageSize_), file);
  ReadFromDisk(0, static_cast<std::size_t>(imageSize_), image_.get());
}

void ImportFile::ReadFromDisk(std::int64_t offset, std::size_t count, char* out) {
  errno = 0;
  if (count == 0) return;
  if (fseeko(stream_.get(), static_cast<off_t>(offset), SEEK_SET) != 0 ||
      std::fread(out, 1, count, stream_.get()) != count)
    throw OrvekError("Cannot read import file " + Quoted(file_) + ": " +
                     (errno ? ErrnoReason(errno) : "the file became shorter while reading"));
}

void ImportFile::Read(std::int64_t offset, std::size_t count, char* out) {
  if (count == 0) return;
  if (offset + static_cast<std::int64_t>(count) <= imageSize_)
    std::memcpy(out, image_.get() + offset, count);
  else
    ReadFromDisk(offset, count, out);
}

template <typename Visit>
void ImportFile::ForEachBlock(std::int64_t first, std::int64_t last, std::int64_t blockBytes,
                              Visit visit) {
  for (std::int64_t at = first; at < last;) {
    const std::int64_t count = std::min(blockBytes, last - at);
    const char* bytes = nullptr;
    if (at + count <= imageSize_) {
      bytes = image_.get() + at;
    } else {
      if (blockSize_ < static_cast<std::size_t>(count)) {
        blockSize_ = static_cast<std::size_t>(count);
        block_ = Allocate(blockSize_, file_);
      }
      ReadFromDisk(at, static_cast<std::size_t>(count), block_.get());
      bytes = block_.get();
    }
    if (!visit(bytes, static_cast<std::size_t>(count))) return;
    at += count;
  }
}

// Text bytes, and the characters beyond ASCII as UTF-8 codes them (a lead byte and its
// continuation bytes), so that a unit such as "µPa" in a header does not make a file binary. A
// code cut off by the end of `bytes` counts as text unless `whole`.
bool IsText(std::string_view bytes, bool whole) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  for (std::size_t i = 0; i < size; ++i) {
    if (p[i] < 0x80) {
      if (!(kByteClass[p[i]] & kTextByte)) return false;
      continue;
    }
    const std::size_t length = p[i] >= 0xc2 && p[i] <= 0xdf   ? 2
                               : p[i] >= 0xe0 && p[i] <= 0xef ? 3
                               : p[i] >= 0xf0 && p[i] <= 0xf4 ? 4
                                                              : 0;
    if (length == 0) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if (i + k == size) return !whole;
      if ((p[i + k] & 0xc0) != 0x80) return false;
    }
    i += length - 1;
  }
  return true;
}

constexpr std::string_view kUtf8Mark = "\xef\xbb\xbf";
constexpr std::string_view kUtf16LittleMark = "\xff\xfe", kUtf16BigMark = "\xfe\xff";

// UTF-16 text (after its byte-order mark) as UTF-8, or nothing when it is not valid UTF-16 (an odd
// byte count or a lone surrogate).
std::optional<std::string> Utf8FromUtf16(std::string_view bytes, bool bigEndian) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto unit = [&](std::size_t i) -> std::uint32_t {
    return bigEndian ? p[i] << 8 | p[i + 1] : p[i + 1] << 8 | p[i];
  };
  std::string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    if (i + 1 == bytes.size()) return std::nullopt;
    std::uint32_t c = unit(i);
    if (c >= 0xdc00 && c <= 0xdfff) return std::nullopt;
    if (c >= 0xd800 && c <= 0xdbff) {
      if (i + 3 >= bytes.size()) return std::nullopt;
      const std::uint32_t low = unit(i + 2);
      if (low < 0xdc00 || low > 0xdfff) return std::nullopt;
      c = 0x10000 + ((c - 0xd800) << 10) + (low - 0xdc00);
      i += 2;
    }
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else if (c < 0x800) {
      text += static_cast<char>(0xc0 | c >> 6);
      text += static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
      text += static_cast<char>(0xe0 | c >> 12);
      text += static_cast<char>(0x80 | (c >> 6 & 0x3f));
      text += static_cast<char>(0x80 | (c & 0x3f));
    } else {
      text += static_cast<char>(0xf0 | c >> 18);
      text += static_cast<char>(0x80 | (c >> 12 & 0x3f));
      text += static_cast<char>(0x80 | (c >> 6 & 0x3f));
      text += static_cast<char>(0x80 | (c & 0x3f));
    }
  }
  return text;
}

// Every fourth byte is the high byte of a little-endian single of magnitude below about 2^20.
bool LooksFloat32(std::string_view bytes) {
  for (std::size_t i = 3; i < bytes.size(); i += 4)
    if ((static_cast<unsigned char>(bytes[i]) & 0x7f) > 73) return false;
  return true;
}

bool HoldsToken(std::string_view line) {
  return std::any_of(line.begin(), line.end(),
                     [](char c) { return !kValueSeparator[static_cast<unsigned char>(c)]; });
}

// A line that holds a token and only bytes of the numeric character set.
bool IsNumberLine(std::string_view line) {
  return HoldsToken(line) &&
         std::all_of(line.begin(), line.end(), [](char c) { return Is(kNumericByte, c); });
}

// A line whose first token is a decimal number (a spreadsheet row with a column of words).
bool StartsWithNumber(std::string_view line) {
  const auto separator = [](char c) { return kValueSeparator[static_cast<unsigned char>(c)]; };
  const char* const first = std::find_if_not(line.data(), line.data() + line.size(), separator);
  const char* const last = std::find_if(first, line.data() + line.size(), separator);
  float value = 0.0f;
  return first != last && ParseDecimal(first, last, value);
}

// The start of the first line that `qualifies` and is followed by another such line or by the
// end of the text (lines without a token are passed over). A last line cut off by the end of an
// image that is not the whole file is judged as it stands.
std::optional<std::size_t> FirstLinePair(std::string_view text,
                                         bool (*qualifies)(std::string_view)) {
  const auto isLineEnd = [](char c) { return Is(kLineEndByte, c); };
  std::optional<std::size_t> candidate;  // a qualifying line waiting for the next line
  for (std::size_t at = 0; at < text.size();) {
    const auto end = static_cast<std::size_t>(
        std::find_if(text.begin() + static_cast<std::ptrdiff_t>(at), text.end(), isLineEnd) -
        text.begin());
    const std::string_view line = text.substr(at, end - at);
    if (HoldsToken(line)) {
      const bool good = qualifies(line);
      if (candidate && good) return candidate;
      candidate = good ? std::optional(at) : std::nullopt;
    }
    at = end + 1;
  }
  return candidate;
}

// Where the values of a text file start; the lines before are its header. Taking everything up
// to the last line with a byte outside the numeric set for the header, as a simpler rule might,
// would let one "NaN" or "overload" among the values hide every value above it; here the values
// start at the first pair of lines of numbers, so such a token stands among the values and is
// refused by name. A spreadsheet whose rows all hold a column of words has no such pair: then its
// values start at the first pair of lines that start with a number. When `text` is only the start
// of the file and neither is found, the values start at 0, so that a header beyond it is refused
// rather than swallowing the file.
std::size_t ValuesStart(std::string_view text, bool whole) {
  for (const auto qualifies : {IsNumberLine, StartsWithNumber})
    if (const std::optional<std::size_t> start = FirstLinePair(text, qualifies)) return *start;
  return whole ? text.size() : 0;
}

// Values on the line that starts at `start`.
std::int32_t ValuesOnLine(std::string_view text, std::size_t start) {
  std::int32_t values = 0;
  bool inToken = false;
  for (std::size_t i = start; i < text.size() && !Is(kLineEndByte, text[i]); ++i) {
    const bool separator = kValueSeparator[static_cast<unsigned char>(text[i])];
    values += !separator && !inToken;
    inToken = !separator;
  }
  return values;
}

struct ExtensionRate {
  float SampleRate = kDefaultRate;
  bool Zero = false;   // a number, but no usable interval
  bool Given = false;  // the rate is the extension's
};

// `tenths` is the sample interval in tenths of a microsecond.
ExtensionRate RateFromExtension(std::string_view tenths) {
  double interval = 0.0;
  if (!ParseDecimal(tenths.data(), tenths.data() + tenths.size(), interval)) return {};
  const double rate = 1.0e7 / interval;
  // Both the rate and the interval 1 / rate must be single-precision numbers.
  if (!(interval > 0.0) || rate > FLT_MAX || rate < FLT_MIN) return {kDefaultRate, true};
  return {static_cast<float>(rate), false, true};
}

std::uint32_t LittleEndian(const unsigned char* p, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
  return value;
}

std::uint32_t Word(const unsigned char* p, int bytes, ByteOrder order) {
  if (order == ByteOrder::LittleEndian) return LittleEndian(p, bytes);
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | p[i];
  return value;
}

// Sample types as little-endian bytes; big-endian samples are reversed before they are decoded.
enum class SampleCoding { Unsigned8, Signed16, Signed24, Signed32, Float, Double };

constexpr std::int64_t Width(SampleCoding coding) {
  constexpr std::int64_t kWidths[] = {1, 2, 3, 4, 4, 8};
  return kWidths[static_cast<int>(coding)];
}

template <SampleCoding kCoding>
float Decode(const unsigned char* p) {
  if constexpr (kCoding == SampleCoding::Unsigned8) {
    return static_cast<float>(p[0]) - 128.0f;
  } else if constexpr (kCoding == SampleCoding::Signed16) {
    return static_cast<std::int16_t>(p[0] | p[1] << 8);
  } else if constexpr (kCoding == SampleCoding::Signed24) {
    const std::int32_t value = p[0] | p[1] << 8 | p[2] << 16;
    return static_cast<float>(value - ((value & 0x800000) << 1));  // sign from bit 23
  } else if constexpr (kCoding == SampleCoding::Signed32) {
    return static_cast<float>(static_cast<std::int32_t>(LittleEndian(p, 4)));
  } else if constexpr (kCoding == SampleCoding::Float) {
    return std::bit_cast<float>(LittleEndian(p, 4));
  } else {
    const std::uint64_t bits = LittleEndian(p, 4) | std::uint64_t{LittleEndian(p + 4, 4)} << 32;
    return static_cast<float>(std::bit_cast<double>(bits));
  }
}

// Channel c of frame f goes to out[c * channelStride + f].
template <SampleCoding kCoding>
void DecodeFrames(const unsigned char* p, std::int64_t frames, std::int32_t channels, float* out,
                  std::int64_t channelStride) {
  constexpr std::int64_t kWidth = Width(kCoding);
  if (channels == 1) {
    for (std::int64_t f = 0; f < frames; ++f) out[f] = Decode<kCoding>(p + f * kWidth);
    return;
  }
  for (std::int64_t f = 0; f < frames; ++f, p += channels * kWidth)
    for (std::int32_t c = 0; c < channels; ++c)
      out[c * channelStride + f] = Decode<kCoding>(p + c * kWidth);
}

void DecodeFrames(SampleCoding coding, const unsigned char* p, std::int64_t frames,
                  std::int32_t channels, float* out, std::int64_t channelStride) {
  using enum SampleCoding;
  switch (coding) {
    case Unsigned8:
      return DecodeFrames<Unsigned8>(p, frames, channels, out, channelStride);
    case Signed16:
      return DecodeFrames<Signed16>(p, frames, channels, out, channelStride);
    case Signed24:
      return DecodeFrames<Signed24>(p, frames, channels, out, channelStride);
    case Signed32:
      return DecodeFrames<Signed32>(p, frames, channels, out, channelStride);
    case Float:
      return DecodeFrames<Float>(p, frames, channels, out, channelStride);
    case Double:
      return DecodeFrames<Double>(p, frames, channels, out, channelStride);
  }
}

// A chunk of a RIFF file, found by walking the chunks by their sizes.
struct RiffChunk {
  std::int64_t At = -1;  // file offset of its identifier; -1: the file has no such chunk
  std::int64_t BodyAt = 0;
  std::int64_t Size = 0;  // body bytes it declares
};

struct RiffChunks {
  RiffChunk Format, Data;
  std::string Stopped;  // why the walk ended before the end of the file, as a clause
};

struct WavFormat {
  std::uint32_t ChunkSize = 0;
  std::uint16_t Tag = 0;
  std::uint16_t Channels = 0;
  std::uint32_t SampleRate = 0;
  std::uint16_t BlockAlign = 0;
  std::uint16_t BitsPerSample = 0;
  std::uint16_t SubFormat = 0;  // extensible format only
};

const char* NameOf(std::uint32_t value,
                   std::initializer_list<std::pair<std::uint32_t, const char*>> names) {
  for (const auto& [key, name] : names)
    if (key == value) return name;
  return "";
}

std::string Describe(const WavFormat& f) {
  std::string text =
      NameOf(f.ChunkSize, {{16, "PCM Data"}, {18, "Non-PCM Data"}, {40, "Extensible Format"}});
  text += NameOf(f.Tag, {{kPcm, ", PCM"},
                         {kIeeeFloat, ", IEEE float"},
                         {6, ", 8-bit ITU-G.711 A-law"},
                         {7, ", 8-bit ITU-G.711 Mu-law"},
                         {kExtensible, ", determined by SubFormat"}});
  text += ", " + std::to_string(f.BitsPerSample) + " bits per sample";
  text += NameOf(f.Channels, {{1, ", Mono"}, {2, ", Stereo"}});
  if (f.Tag == kExtensible)
    text += NameOf(f.SubFormat, {{kPcm, ", PCM"}, {kIeeeFloat, ", IEEE float"}});
  return text;
}

// Where a WAV file's samples start and how many whole frames are read from there.
struct WavData {
  std::int64_t Start = 0;
  std::int64_t Frames = 0;
};

// The sample types decoded, by coding (after the sub-format replaced the extensible tag) and
// bytes per sample.
std::optional<SampleCoding> WavSampleCoding(std::uint16_t coding, std::int32_t bytesPerSample) {
  using enum SampleCoding;
  if (coding == kPcm && bytesPerSample >= 1 && bytesPerSample <= 4)
    return std::array{Unsigned8, Signed16, Signed24, Signed32}[bytesPerSample - 1];
  if (coding == kIeeeFloat && bytesPerSample == 4) return Float;
  if (coding == kIeeeFloat && bytesPerSample == 8) return Double;
  return std::nullopt;
}

std::string ShownToken(std::string_view token) {
  constexpr std::size_t kShown = 24;
  std::string shown;
  for (const char c : token.substr(0, kShown))
    shown += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
  if (token.size() > kShown) shown += "...";
  return shown;
}

void LeaveEmpty(TWaveform& waveform) {
  waveform.LastSampleIndex = -1;
  waveform.WaveformLoaded = false;
  waveform.FirstIndex = 0;
  waveform.LastIndex = -1;
  waveform.TimeStart = 0.0f;
  waveform.TimeEnd = 0.0f;
}

// One import: the paths by file content, each returning the number of samples it stored.
class Importer {
 public:
  Importer(const fs::path& file, const std::string& extensionTag, const ImportChoices& choices,
           TWaveform& waveform, HeaderGrid& grid, const ImportLimits& limits)
      : file_(file),
        extensionTag_(extensionTag),
        choices_(choices),
        waveform_(waveform),
        grid_(grid),
        blockBytes_(std::max<std::int64_t>(1, limits.BlockBytes)),
        bytes_(file, std::max<std::int64_t>(0, limits.InMemoryBytes)) {}

  ImportReport Run();

 private:
  std::int32_t ReadWav();
  RiffChunks WalkRiffChunks();
  std::optional<WavFormat> ReadWavFormat(const RiffChunks& chunks);
  void TakeWavRate(const WavFormat& format);
  std::optional<SampleCoding> WavCoding(const WavFormat& format);
  std::optional<WavData> FindWavData(const RiffChunks& chunks, const WavFormat& format);
  std::int32_t ReadBinaryOrText(std::string_view image);
  std::int32_t ReadRawFloat32();
  std::int32_t ReadInt16();
  std::int64_t PassHeader(std::string_view header);
  std::int32_t ReadText(std::string_view text);
  std::int32_t ReadLargeText(std::size_t textStart);
  std::int64_t DecodeBinary(std::int64_t offset, std::int64_t frames, std::int32_t channels,
                            SampleCoding coding, ByteOrder order);
  std::string BadValue(std::string_view token, std::int64_t line, const std::string& what) const;
  float ParseValue(std::string_view token, std::int64_t line, std::int32_t index) const;
  std::int32_t NotDecoded(std::string why);
  std::int32_t NoNumbers();
  void TakeExtensionRate(std::string_view tenths);
  void Conclude(std::int32_t count);

  const fs::path& file_;
  const std::string& extensionTag_;
  const ImportChoices& choices_;
  TWaveform& waveform_;
  HeaderGrid& grid_;
  std::int64_t blockBytes_;
  ImportFile bytes_;
  ImportReport report_;
  ExtensionRate extensionRate_;
  bool rateFromExtension_ = true;
  ByteOrder wavOrder_ = ByteOrder::LittleEndian;  // RIFX files are big-endian throughout
  bool rf64_ = false;                             // RF64: sizes beyond 32 bits in "ds64"
  std::string utf8Text_;                          // UTF-16 text, converted
};

std::string_view WithoutDot(const std::string& tag) {
  return std::string_view(tag).substr(tag.starts_with('.') ? 1 : 0);
}

void Importer::TakeExtensionRate(std::string_view tenths) {
  extensionRate_ = RateFromExtension(tenths);
  waveform_.SampleRate = extensionRate_.SampleRate;
  // The cell shows the rate the samples are read at, so a saved file reopens at it.
  grid_.SetCell(HeaderColumn::Value, HeaderRow::SampleRate, RateText(waveform_.SampleRate));
}

ImportReport Importer::Run() {
  waveform_.PlotTitle = grid_.Cell(HeaderColumn::Comment, HeaderRow::Title);
  TakeExtensionRate(WithoutDot(extensionTag_));
  const std::string_view image = bytes_.Image();
  std::int32_t count = 0;
  if (image.starts_with("RIFF") || image.starts_with("RIFX") || image.starts_with("RF64") ||
      image.starts_with("BW64")) {
    wavOrder_ = image.starts_with("RIFX") ? ByteOrder::BigEndian : ByteOrder::LittleEndian;
    rf64_ = image.starts_with("RF64") || image.starts_with("BW64");
    count = ReadWav();
  } else if (image.starts_with(kUtf16LittleMark) || image.starts_with(kUtf16BigMark)) {
    if (!bytes_.Whole())
      throw OrvekError("Import file " + Quoted(file_) + " starts with a UTF-16 byte-order mark " +
                       "and holds more than " + std::to_string(image.size()) +
                       " bytes; UTF-16 text is read only up to that size. Save it as 8-bit or " +
                       "UTF-8 text to import it.");
    // Taken for text only when all of it is text, so that a binary file that happens to start
    // with the mark is still read as binary.
    std::optional<std::string> text =
        Utf8FromUtf16(image.substr(2), image.starts_with(kUtf16BigMark));
    if (text && IsText(*text, true)) {
      utf8Text_ = std::move(*text);
      count = ReadText(utf8Text_);
    } else {
      count = ReadBinaryOrText(image);
    }
  } else if (image.starts_with(kUtf8Mark) && IsText(image.substr(3), bytes_.Whole())) {
    count = bytes_.Whole() ? ReadText(image.substr(3)) : ReadLargeText(3);
  } else {
    count = ReadBinaryOrText(image);
  }
  Conclude(count);
  return std::move(report_);
}

std::int32_t Importer::ReadBinaryOrText(std::string_view image) {
  if (!IsText(image, bytes_.Whole())) return LooksFloat32(image) ? ReadRawFloat32() : ReadInt16();
  return bytes_.Whole() ? ReadText(image) : ReadLargeText(0);
}

std::int32_t Importer::NotDecoded(std::string why) {
  report_.Decoded = false;
  report_.Notices.push_back(std::move(why));
  return 0;
}

std::int32_t Importer::NoNumbers() {
  return NotDecoded(Quoted(file_) + " holds no numbers, so nothing was imported.");
}

std::int32_t Importer::ReadWav() {
  report_.Kind = ImportKind::Wav;
  const RiffChunks chunks = WalkRiffChunks();
  const std::optional<WavFormat> format = ReadWavFormat(chunks);
  if (!format) return 0;
  TakeWavRate(*format);
  const std::optional<SampleCoding> coding = WavCoding(*format);
  if (!coding) return 0;
  const std::optional<WavData> data = FindWavData(chunks, *format);
  if (!data) return 0;
  const std::int64_t stored =
      DecodeBinary(data->Start, data->Frames, format->Channels, *coding, wavOrder_);
  report_.FramesPerChannel = static_cast<std::int32_t>(stored);
  if (format->Channels > 2 && stored > 0)
    report_.Notices.push_back(Quoted(file_) + " holds " + std::to_string(format->Channels) +
                              " channels; they are stored one after another, each of " +
                              std::to_string(stored) + " samples.");
  return static_cast<std::int32_t>(stored * format->Channels);
}

bool IsChunkIdentifier(const unsigned char* id) {
  return std::all_of(id, id + 4, [](unsigned char c) { return c >= 0x20 && c < 0x7f; });
}

// The first format and data chunks, found by walking the chunks from byte 12 by the sizes they
// declare (each body padded to an even length), so that the bytes inside another chunk (a
// comment that says "metadata") are never taken for a chunk. A writer that left out the pad byte
// after an odd body is followed too. RF64 files give the data size in their "ds64" chunk when the
// 32-bit field holds 0xFFFFFFFF. A chunk header cut off by the end of the file is kept with its
// body beyond the end, so that the reader can say which chunk is cut off.
RiffChunks Importer::WalkRiffChunks() {
  RiffChunks chunks;
  const std::int64_t size = bytes_.Size();
  std::int64_t ds64Data = -1;
  std::int64_t at = 12, unpadded = -1;  // unpadded: the next chunk if the pad byte is missing
  const auto found = [&chunks] { return chunks.Format.At >= 0 && chunks.Data.At >= 0; };
  while (!found()) {
    // Identifier, size and, for "ds64", the RIFF and data sizes of 64 bits.
    std::array<unsigned char, 24> header{};
    const std::int64_t present = std::clamp<std::int64_t>(size - at, 0, header.size());
    bytes_.Read(at, static_cast<std::size_t>(present), reinterpret_cast<char*>(header.data()));
    if ((present < 8 || !IsChunkIdentifier(header.data())) && unpadded >= 0) {
      at = unpadded;
      unpadded = -1;
      continue;
    }
    if (present < 8) {
      const std::string_view id(reinterpret_cast<const char*>(header.data()),
                                static_cast<std::size_t>(present));
      RiffChunk& cut = id.starts_with("fmt ") ? chunks.Format : chunks.Data;
      if (present >= 4 && cut.At < 0 && (id.starts_with("fmt ") || id.starts_with("data")))
        cut = {at, at + 8, 0};
      break;
    }
    if (!IsChunkIdentifier(header.data())) {
      chunks.Stopped = " (the bytes at byte " + std::to_string(at) +
                       " are no chunk: the sizes of the chunks before them do not add up)";
      break;
    }
    const std::string_view id(reinterpret_cast<const char*>(header.data()), 4);
    std::int64_t bodySize = Word(header.data() + 4, 4, wavOrder_);
    if (rf64_ && id == "ds64" && bodySize >= 16 && present == 24)
      ds64Data = std::int64_t{LittleEndian(header.data() + 16, 4)} |
                 std::int64_t{LittleEndian(header.data() + 20, 4) & 0x7fffffff} << 32;
    if (rf64_ && id == "data" && bodySize == 0xffffffff && ds64Data >= 0) bodySize = ds64Data;
    const RiffChunk chunk{at, at + 8, bodySize};
    if (id == "fmt " && chunks.Format.At < 0) chunks.Format = chunk;
    if (id == "data" && chunks.Data.At < 0) chunks.Data = chunk;
    at = chunk.BodyAt + bodySize + (bodySize & 1);
    unpadded = (bodySize & 1) ? at - 1 : -1;
    if (at > size && !found())
      chunks.Stopped = " (its chunk \"" + ShownToken(id) + "\" at byte " +
                       std::to_string(chunk.At) + " declares " + std::to_string(bodySize) +
                       " bytes, more than the file holds)";
  }
  return chunks;
}

// The fields of the format chunk ("fmt "); none when there is no such chunk or the file ends
// inside it.
std::optional<WavFormat> Importer::ReadWavFormat(const RiffChunks& chunks) {
  if (chunks.Format.At < 0) {
    NotDecoded(Quoted(file_) + " is a RIFF file without a format chunk (\"fmt \")" +
               chunks.Stopped + "; no samples were read.");
    return std::nullopt;
  }
  const std::int64_t sizeField = chunks.Format.BodyAt - 4;
  std::array<unsigned char, 30> field{};
  const auto present = static_cast<std::size_t>(
      std::clamp<std::int64_t>(bytes_.Size() - sizeField, 0, field.size()));
  bytes_.Read(sizeField, present, reinterpret_cast<char*>(field.data()));
  const auto at = [this, &field](int offset, int bytes) {
    return Word(field.data() + offset, bytes, wavOrder_);
  };
  const auto tag = static_cast<std::uint16_t>(at(4, 2));
  if (present < 20 || (tag == kExtensible && present < field.size())) {
    NotDecoded("The format chunk of " + Quoted(file_) +
               " is cut off by the end of the file; no samples were read.");
    return std::nullopt;
  }
  return WavFormat{at(0, 4),
                   tag,
                   static_cast<std::uint16_t>(at(6, 2)),
                   at(8, 4),
                   static_cast<std::uint16_t>(at(16, 2)),
                   static_cast<std::uint16_t>(at(18, 2)),
                   static_cast<std::uint16_t>(tag == kExtensible ? at(28, 2) : 0)};
}

// The format's description in the comment of the rate row, and its rate, unless it is 0: then
// the rate from the extension stays.
void Importer::TakeWavRate(const WavFormat& format) {
  report_.WavDescription = Describe(format);
  report_.WavChannels = format.Channels;
  grid_.SetCell(HeaderColumn::Comment, HeaderRow::SampleRate, report_.WavDescription);
  if (format.SampleRate == 0) {
    report_.Notices.push_back("The format chunk of " + Quoted(file_) +
                              " gives a sampling rate of 0; " + RateText(waveform_.SampleRate) +
                              " samples/s is assumed.");
    grid_.SetCell(HeaderColumn::Value, HeaderRow::SampleRate, RateText(waveform_.SampleRate));
  } else {
    waveform_.SampleRate = static_cast<float>(format.SampleRate);
    rateFromExtension_ = false;
    grid_.SetCell(HeaderColumn::Value, HeaderRow::SampleRate, std::to_string(format.SampleRate));
  }
}

// The sample type, when the format is one the reader decodes with whole bytes per sample.
std::optional<SampleCoding> Importer::WavCoding(const WavFormat& format) {
  const std::uint16_t coding = format.Tag == kExtensible ? format.SubFormat : format.Tag;
  std::string refusal;
  if (coding != kPcm && coding != kIeeeFloat) {
    refusal =
        "The samples of " + Quoted(file_) + " (format tag " + std::to_string(format.Tag) +
        (format.Tag == kExtensible ? ", sub-format " + std::to_string(format.SubFormat) : "") +
        ") are not read: only integer PCM (1) and IEEE float (3) WAV files are decoded.";
  } else if (format.Channels == 0) {
    refusal = Quoted(file_) + " declares 0 channels; no samples were read.";
  } else if (format.BlockAlign == 0 || format.BlockAlign % format.Channels != 0) {
    refusal = "The block align of " + Quoted(file_) + " (" + std::to_string(format.BlockAlign) +
              " bytes a frame) does not give each of its " + std::to_string(format.Channels) +
              " channels a whole number of bytes; no samples were read.";
  } else {
    const std::int32_t bytesPerSample = format.BlockAlign / format.Channels;
    if (const std::optional<SampleCoding> sampleCoding = WavSampleCoding(coding, bytesPerSample))
      return sampleCoding;
    refusal = "The samples of " + Quoted(file_) + " take " + std::to_string(bytesPerSample) +
              " bytes each; only 1 to 4 bytes " +
              "(integer PCM) or 4 and 8 bytes (IEEE float) are decoded, so none were read.";
  }
  NotDecoded(std::move(refusal));
  return std::nullopt;
}

// The data chunk, read up to its declared size or to the end of the file, whichever comes
// first (a notice says when the file is shorter).
std::optional<WavData> Importer::FindWavData(const RiffChunks& chunks, const WavFormat& format) {
  if (chunks.Data.At < 0) {
    NotDecoded(Quoted(file_) + " has no data chunk" + chunks.Stopped + "; no samples were read.");
    return std::nullopt;
  }
  const std::int64_t dataStart = chunks.Data.BodyAt;
  if (dataStart > bytes_.Size()) {
    NotDecoded("The data chunk of " + Quoted(file_) +
               " is cut off by the end of the file; no samples were read.");
    return std::nullopt;
  }
  const auto declared = static_cast<std::int64_t>(
      std::nearbyint(static_cast<double>(chunks.Data.Size) / format.BlockAlign));
  const std::int64_t inFile = (bytes_.Size() - dataStart) / format.BlockAlign;
  if (declared <= inFile) return WavData{dataStart, declared};
  report_.Notices.push_back("The data chunk of " + Quoted(file_) + " declares " +
                            std::to_string(declared) + " frames, but the file ends after " +
                            std::to_string(inFile) + "; " + std::to_string(inFile) +
                            " frames were read.");
  return WavData{dataStart, inFile};
}

std::int32_t Importer::ReadRawFloat32() {
  report_.Kind = ImportKind::RawFloat32;
  TakeExtensionRate(WithoutDot(extensionTag_).substr(0, 3));
  return static_cast<std::int32_t>(
      DecodeBinary(0, bytes_.Size() / 4, 1, SampleCoding::Float, ByteOrder::LittleEndian));
}

std::int32_t Importer::ReadInt16() {
  report_.Kind = ImportKind::Int16;
  const std::optional<ByteOrder> order = choices_.Int16Order ? choices_.Int16Order() : std::nullopt;
  if (!order) {
    report_.Decoded = false;
    return 0;
  }
  return static_cast<std::int32_t>(
      DecodeBinary(0, bytes_.Size() / 2, 1, SampleCoding::Signed16, *order));
}

// Frames of `channels` samples from `offset` on, channel blocks one after another; at most as
// many frames as the buffers take for each channel. Returns the frames stored.
std::int64_t Importer::DecodeBinary(std::int64_t offset, std::int64_t frames, std::int32_t channels,
                                    SampleCoding coding, ByteOrder order) {
  const std::int64_t perChannel = waveform_.Capacity() / channels;
  if (frames > perChannel) {
    report_.TruncatedAtCapacity = true;
    report_.Notices.push_back(Quoted(file_) + " holds more samples than the sample buffers take; " +
                              "the first " + std::to_string(perChannel) + " samples" +
                              (channels > 1 ? " of each channel" : "") + " were read.");
    frames = perChannel;
  }
  if (frames <= 0) return NotDecoded(Quoted(file_) + " holds no samples.");
  const std::int64_t width = Width(coding);
  const std::int64_t frameBytes = channels * width;
  const std::int64_t blockFrames =
      std::max<std::int64_t>(1, std::min(blockBytes_, kBinaryBlockBytes) / frameBytes);
  float* const out = waveform_.Samples.data();
  std::vector<unsigned char> reversed;  // a block of big-endian samples in little-endian order
  std::int64_t done = 0;
  bytes_.ForEachBlock(offset, offset + frames * frameBytes, blockFrames * frameBytes,
                      [&](const char* block, std::size_t size) {
                        const auto* p = reinterpret_cast<const unsigned char*>(block);
                        if (order == ByteOrder::BigEndian && width > 1) {
                          reversed.assign(p, p + size);
                          for (auto s = reversed.begin(); s != reversed.end(); s += width)
                            std::reverse(s, s + width);
                          p = reversed.data();
                        }
                        const std::int64_t count = static_cast<std::int64_t>(size) / frameBytes;
                        DecodeFrames(coding, p, count, channels, out + done, frames);
                        done += count;
                        return true;
                      });
  return frames;
}

// The refusal of a token that should have been a number.
std::string Importer::BadValue(std::string_view token, std::int64_t line,
                               const std::string& what) const {
  return "Import file " + Quoted(file_) + ", line " + std::to_string(line) + ": \"" +
         ShownToken(token) + "\" " + what;
}

float Importer::ParseValue(std::string_view token, std::int64_t line, std::int32_t index) const {
  float value = 0.0f;
  if (token.size() <= kLongestTextToken &&
      ParseDecimal(token.data(), token.data() + token.size(), value))
    return value;
  throw OrvekError(BadValue(token, line,
                            "is not a number (sample " + std::to_string(index) +
                                "; values are decimal numbers within the single-precision range, "
                                "separated by blanks, tabs, commas or line ends)."));
}

// Counts the lines of a text file's header, as the values' lines are counted, so that messages
// name the file's line; returns the line the values start on. Header lines that start with a
// number may be values cut off by text in another column: a notice names them.
std::int64_t Importer::PassHeader(std::string_view header) {
  std::vector<std::int64_t> numbered;
  std::int64_t lastLine = 0;
  TextTokenizer lines([&](std::string_view token, std::int64_t line) {
    float value = 0.0f;
    if (line != lastLine && ParseDecimal(token.data(), token.data() + token.size(), value))
      numbered.push_back(line);
    lastLine = line;
  });
  lines.Feed(header.data(), header.size());
  lines.Finish();
  if (numbered.empty()) return lines.Line();
  std::string listed;  // "1-3, 7"
  constexpr int kListed = 10;
  int runs = 0;
  for (std::size_t i = 0; i < numbered.size(); ++i) {
    std::size_t last = i;
    while (last + 1 < numbered.size() && numbered[last + 1] == numbered[last] + 1) ++last;
    if (++runs > kListed) {
      listed += ", ...";
      break;
    }
    listed += (listed.empty() ? "" : ", ") + std::to_string(numbered[i]) +
              (last > i ? "-" + std::to_string(numbered[last]) : "");
    i = last;
  }
  report_.Notices.push_back("The values of " + Quoted(file_) + " start at line " +
                            std::to_string(lines.Line()) +
                            "; the lines before it hold text and were skipped as its header, "
                            "among them line" +
                            (numbered.size() > 1 ? "s " : " ") + listed +
                            (numbered.size() > 1 ? ", which start" : ", which starts") +
                            " with a number. Check that the recording does not start there.");
  return lines.Line();
}

// A token of a text file that is not a number, kept until the column question has been answered:
// only the values that are imported must be numbers.
struct BadToken {
  std::int32_t Index = 0;  // of the value in reading order
  std::int64_t Line = 0;
  std::string Token;
};

std::int32_t Importer::ReadText(std::string_view text) {
  report_.Kind = ImportKind::Text;
  const std::size_t start = ValuesStart(text, true);
  const std::int64_t valuesLine = PassHeader(text.substr(0, start));

  float* const samples = waveform_.Samples.data();
  const std::int32_t capacity = waveform_.Capacity();
  std::int32_t stored = 0;
  std::int32_t columns = 0;
  std::int64_t firstLine = 0;                      // line of the first value
  std::vector<std::optional<BadToken>> badTokens;  // the first of each column
  TextTokenizer values(
      [&](std::string_view token, std::int64_t line) {
        if (firstLine == 0) firstLine = line;
        columns += line == firstLine;
        if (stored == capacity) {
          report_.TruncatedAtCapacity = true;
          return;
        }
        float value = std::numeric_limits<float>::quiet_NaN();
        if (token.size() > kLongestTextToken ||
            !ParseDecimal(token.data(), token.data() + token.size(), value)) {
          const auto column = static_cast<std::size_t>(stored % columns);
          if (badTokens.size() <= column) badTokens.resize(column + 1);
          if (!badTokens[column]) badTokens[column] = BadToken{stored, line, std::string(token)};
        }
        samples[stored++] = value;
      },
      valuesLine);
  values.Feed(text.data() + start, text.size() - start);
  values.Finish();
  if (report_.TruncatedAtCapacity)
    report_.Notices.push_back(Quoted(file_) + " holds more values than the sample buffers take; " +
                              "the first " + std::to_string(capacity) + " were read.");
  if (stored == 0) return report_.TruncatedAtCapacity ? 0 : NoNumbers();
  report_.ColumnCount = columns;

  // Refused in reading order when the values are read in order, and before the column question
  // when every column holds a token that is not a number, since no answer could then import it.
  const auto refuseFirstBadToken = [&] {
    const auto first = std::min_element(
        badTokens.begin(), badTokens.end(),
        [](const auto& a, const auto& b) { return a && (!b || a->Index < b->Index); });
    if (first != badTokens.end() && *first)
      ParseValue((*first)->Token, (*first)->Line, (*first)->Index);  // throws
  };
  if (std::ssize(badTokens) == columns &&
      std::all_of(badTokens.begin(), badTokens.end(), [](const auto& bad) { return bad; }))
    refuseFirstBadToken();
  // No line end after a value: one waveform, as when the user reads the values in order.
  const std::optional<std::int32_t> column =
      values.Line() == firstLine || !choices_.SpreadsheetColumn
          ? std::nullopt
          : choices_.SpreadsheetColumn(columns);
  if (!column) {
    refuseFirstBadToken();
    return stored;
  }
  if (*column < 1 || *column > columns)
    throw OrvekError("Import file " + Quoted(file_) + ": column " + std::to_string(*column) +
                     " was chosen, but the file has columns 1 to " + std::to_string(columns) + ".");
  const auto chosen = static_cast<std::size_t>(*column - 1);
  if (chosen < badTokens.size() && badTokens[chosen]) {
    const BadToken& bad = *badTokens[chosen];
    throw OrvekError(BadValue(bad.Token, bad.Line,
                              "in column " + std::to_string(*column) + " is not a number (value " +
                                  std::to_string(bad.Index / columns + 1) +
                                  " of the column; the chosen column must hold decimal numbers "
                                  "within the single-precision range)."));
  }
  std::int32_t kept = 0;
  for (std::int32_t i = *column - 1; i < stored; i += columns) samples[kept++] = samples[i];
  return kept;
}

// A text file too large to hold in memory, read in blocks: one channel of a multiplexed
// recording, from the first line of numbers on (the header before it is skipped as in memory).
std::int32_t Importer::ReadLargeText(std::size_t textStart) {
  report_.Kind = ImportKind::LargeText;
  const std::string_view image = bytes_.Image().substr(textStart);
  const std::size_t start = ValuesStart(image, false);
  const std::int32_t firstLineValues = ValuesOnLine(image, start);
  ImportChoices::Channels channels;
  if (choices_.MultiplexedChannels)
    channels = choices_.MultiplexedChannels(bytes_.Size(), firstLineValues);
  if (channels.Count < 1 || channels.Chosen < 0 || channels.Chosen >= channels.Count)
    throw OrvekError("Import file " + Quoted(file_) + ": channel " +
                     std::to_string(channels.Chosen) + " of " + std::to_string(channels.Count) +
                     " multiplexed channels cannot be read (channels are numbered from 0).");
  const std::int64_t firstLine = PassHeader(image.substr(0, start));

  float* const samples = waveform_.Samples.data();
  const std::int32_t capacity = waveform_.Capacity();
  std::int32_t stored = 0;
  std::int32_t channel = 0;  // of the next token
  TextTokenizer values(
      [&](std::string_view token, std::int64_t line) {
        const bool chosen = channel == channels.Chosen;
        if (++channel == channels.Count) channel = 0;
        if (!chosen || report_.TruncatedAtCapacity) return;
        if (stored == capacity) {
          report_.TruncatedAtCapacity = true;
          return;
        }
        samples[stored] = ParseValue(token, line, stored);
        ++stored;
      },
      firstLine);
  bytes_.ForEachBlock(static_cast<std::int64_t>(textStart + start), bytes_.Size(), blockBytes_,
                      [&](const char* block, std::size_t size) {
                        values.Feed(block, size);
                        return !report_.TruncatedAtCapacity;  // the rest of the file is not needed
                      });
  values.Finish();
  if (report_.TruncatedAtCapacity)
    report_.Notices.push_back(
        Quoted(file_) + " holds more values of channel " + std::to_string(channels.Chosen) +
        " than the sample buffers take; the first " + std::to_string(capacity) + " were read.");
  if (stored == 0) return report_.TruncatedAtCapacity ? 0 : NoNumbers();
  // The channels and the rate are assumptions the user must see.
  report_.Notices.push_back(
      Quoted(file_) + " holds " + std::to_string(bytes_.Size()) + " bytes, more than the " +
      std::to_string(bytes_.Image().size()) + " read at once: it was read from the disk as " +
      std::to_string(channels.Count) +
      (channels.Count == 1 ? " channel" : " multiplexed channels") + " from line " +
      std::to_string(firstLine) + " on, and channel " + std::to_string(channels.Chosen) + " gave " +
      std::to_string(stored) + " samples at " + RateText(waveform_.SampleRate) + " samples/s (" +
      (extensionRate_.Given
           ? "the rate of one channel, from the extension \"" + extensionTag_ + "\")."
           : "the import default: the extension gives no sample interval)."));
  return stored;
}

void Importer::Conclude(std::int32_t count) {
  waveform_.SampleInterval = static_cast<float>(1.0 / waveform_.SampleRate);
  waveform_.PlotTitle = grid_.Cell(HeaderColumn::Comment, HeaderRow::Title);
  if (count <= 0) {
    report_.Decoded = false;
    LeaveEmpty(waveform_);
    return;
  }
  if (rateFromExtension_ && extensionRate_.Zero) {
    report_.RateFromExtensionZero = true;
    report_.Notices.push_back("The extension \"" + extensionTag_ + "\" gives no sample interval; " +
                              RateText(kDefaultRate) + " samples/s is assumed.");
  }
  const float* const samples = waveform_.Samples.data();
  // The real extremes: the first sample starts them (count is at least 1 here).
  float dataMax = samples[0], dataMin = samples[0];
  for (std::int32_t i = 0; i < count; ++i) {
    // A float WAV may hold infinities or NaNs (or doubles beyond the single range): no plot,
    // calibration or analysis can use them.
    if (!std::isfinite(samples[i]))
      throw OrvekError("Import file " + Quoted(file_) + ": sample " + std::to_string(i) +
                       " is not a finite number; nothing was imported.");
    dataMax = std::max(dataMax, samples[i]);
    dataMin = std::min(dataMin, samples[i]);
  }
  waveform_.WaveformLoaded = true;
  waveform_.LastSampleIndex = count - 1;
  waveform_.DataMax = waveform_.AxisMax = dataMax;
  waveform_.DataMin = waveform_.AxisMin = dataMin;
  grid_.SetCell(HeaderColumn::Value, HeaderRow::SampleCount, std::to_string(count));
  waveform_.FirstIndex = 0;
  waveform_.LastIndex = waveform_.LastSampleIndex;
  waveform_.TimeStart = 0.0f;
  waveform_.TimeEnd =
      static_cast<float>(static_cast<double>(waveform_.LastSampleIndex) * waveform_.SampleInterval);
}

}  // namespace

ImportReport OpenNewFileType4(const fs::path& file, const std::string& extensionTag,
                              const ImportChoices& choices, TWaveform& waveform, HeaderGrid& grid,
                              const ImportLimits& limits) {
  try {
    return Importer(file, extensionTag, choices, waveform, grid, limits).Run();
  } catch (...) {
    LeaveEmpty(waveform);
    throw;
  }
}

}  // namespace orvek

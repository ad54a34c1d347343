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
#include <memory>
#include <new>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "base/DecimalNumber.h"
#include "base/ErrorText.h"
#include "base/LargePages.h"
#include "base/OrvekError.h"
#include "waveform/TextTokenizer.h"

namespace orvek {
namespace fs = std::filesystem;
namespace {

constexpr float kDefaultRate = 200000.0f;  // samples/s when the extension gives no interval
constexpr float kNoDataMax = -1.0e10f, kNoDataMin = 1.0e10f;
constexpr std::int64_t kScanBytes = 1 << 20;         // chunk of a chunk-identifier search on disk
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
  // Position of the first `tag` at or after `from`, or -1.
  std::int64_t Find(std::string_view tag, std::int64_t from);
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

std::int64_t ImportFile::Find(std::string_view tag, std::int64_t from) {
  if (from < imageSize_) {
    const std::size_t at = Image().find(tag, static_cast<std::size_t>(from));
    if (at != std::string_view::npos) return static_cast<std::int64_t>(at);
  }
  // Beyond the image the search reads chunks that overlap by the tag length less one byte.
  const auto overlap = static_cast<std::int64_t>(tag.size()) - 1;
  std::int64_t at = std::max(from, imageSize_ - overlap);
  ReadBuffer chunk;
  while (size_ - at >= static_cast<std::int64_t>(tag.size())) {
    const auto count = static_cast<std::size_t>(std::min(kScanBytes, size_ - at));
    if (!chunk) chunk = Allocate(static_cast<std::size_t>(kScanBytes), file_);
    ReadFromDisk(at, count, chunk.get());
    const std::size_t found = std::string_view(chunk.get(), count).find(tag);
    if (found != std::string_view::npos) return at + static_cast<std::int64_t>(found);
    at += static_cast<std::int64_t>(count) - overlap;
  }
  return -1;
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

bool IsText(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return Is(kTextByte, c); });
}

// Every fourth byte is the high byte of a little-endian single of magnitude below about 2^20.
bool LooksFloat32(std::string_view bytes) {
  for (std::size_t i = 3; i < bytes.size(); i += 4)
    if ((static_cast<unsigned char>(bytes[i]) & 0x7f) > 73) return false;
  return true;
}

// Where the values of a text file start: after the line holding the last byte outside the
// numeric character set and the line ends that follow it; at 0 when there is no such byte.
std::size_t ValuesStart(std::string_view text) {
  const auto last =
      std::find_if(text.rbegin(), text.rend(), [](char c) { return !Is(kNumericByte, c); });
  if (last == text.rend()) return 0;
  const auto isLineEnd = [](char c) { return Is(kLineEndByte, c); };
  const auto headerEnd = std::find_if(last.base(), text.end(), isLineEnd);
  return static_cast<std::size_t>(std::find_if_not(headerEnd, text.end(), isLineEnd) -
                                  text.begin());
}

struct ExtensionRate {
  float SampleRate = kDefaultRate;
  bool Zero = false;  // a number, but no usable interval
};

// `tenths` is the sample interval in tenths of a microsecond.
ExtensionRate RateFromExtension(std::string_view tenths) {
  double interval = 0.0;
  if (!ParseDecimal(tenths.data(), tenths.data() + tenths.size(), interval)) return {};
  const double rate = 1.0e7 / interval;
  // Both the rate and the interval 1 / rate must be single-precision numbers.
  if (!(interval > 0.0) || rate > FLT_MAX || rate < FLT_MIN) return {kDefaultRate, true};
  return {static_cast<float>(rate), false};
}

std::uint32_t LittleEndian(const unsigned char* p, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
  return value;
}

enum class SampleCoding {
  Unsigned8,
  Signed16,
  Signed16BigEndian,
  Signed24,
  Signed32,
  Float,
  Double
};

constexpr std::int64_t Width(SampleCoding coding) {
  constexpr std::int64_t kWidths[] = {1, 2, 2, 3, 4, 4, 8};
  return kWidths[static_cast<int>(coding)];
}

template <SampleCoding kCoding>
float Decode(const unsigned char* p) {
  if constexpr (kCoding == SampleCoding::Unsigned8) {
    return static_cast<float>(p[0]) - 128.0f;
  } else if constexpr (kCoding == SampleCoding::Signed16) {
    return static_cast<std::int16_t>(p[0] | p[1] << 8);
  } else if constexpr (kCoding == SampleCoding::Signed16BigEndian) {
    return static_cast<std::int16_t>(p[1] | p[0] << 8);
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
    case Signed16BigEndian:
      return DecodeFrames<Signed16BigEndian>(p, frames, channels, out, channelStride);
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

struct WavFormat {
  std::int64_t SizeFieldAt = 0;  // file offset of the chunk size, where the fields start
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
  std::optional<WavFormat> ReadWavFormat();
  void TakeWavRate(const WavFormat& format);
  std::optional<SampleCoding> WavCoding(const WavFormat& format);
  std::optional<WavData> FindWavData(const WavFormat& format);
  std::int32_t ReadRawFloat32();
  std::int32_t ReadInt16();
  std::int32_t ReadText();
  std::int32_t ReadLargeText();
  std::int64_t DecodeBinary(std::int64_t offset, std::int64_t frames, std::int32_t channels,
                            SampleCoding coding);
  float ParseValue(std::string_view token, std::int64_t line, std::int32_t index) const;
  [[noreturn]] void NotANumber(std::string_view shown, std::int64_t line, std::int32_t index) const;
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
  if (image.starts_with("RIFF"))
    count = ReadWav();
  else if (!IsText(image))
    count = LooksFloat32(image) ? ReadRawFloat32() : ReadInt16();
  else
    count = bytes_.Whole() ? ReadText() : ReadLargeText();
  Conclude(count);
  return std::move(report_);
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
  const std::optional<WavFormat> format = ReadWavFormat();
  if (!format) return 0;
  TakeWavRate(*format);
  const std::optional<SampleCoding> coding = WavCoding(*format);
  if (!coding) return 0;
  const std::optional<WavData> data = FindWavData(*format);
  if (!data) return 0;
  const std::int64_t stored = DecodeBinary(data->Start, data->Frames, format->Channels, *coding);
  report_.FramesPerChannel = static_cast<std::int32_t>(stored);
  if (format->Channels > 2 && stored > 0)
    report_.Notices.push_back(Quoted(file_) + " holds " + std::to_string(format->Channels) +
                              " channels; they are stored one after another, each of " +
                              std::to_string(stored) + " samples.");
  return static_cast<std::int32_t>(stored * format->Channels);
}

// The fields of the first format chunk ("fmt ") after the RIFF header; none when there is no
// such chunk or the file ends inside it.
std::optional<WavFormat> Importer::ReadWavFormat() {
  const std::int64_t formatChunk = bytes_.Find("fmt ", 4);
  if (formatChunk < 0) {
    NotDecoded(Quoted(file_) +
               " is a RIFF file without a format chunk (\"fmt \"); no samples were read.");
    return std::nullopt;
  }
  const std::int64_t sizeField = formatChunk + 4;
  std::array<unsigned char, 30> field{};
  const auto present =
      static_cast<std::size_t>(std::min<std::int64_t>(field.size(), bytes_.Size() - sizeField));
  bytes_.Read(sizeField, present, reinterpret_cast<char*>(field.data()));
  const auto at = [&field](int offset, int bytes) {
    return LittleEndian(field.data() + offset, bytes);
  };
  const auto tag = static_cast<std::uint16_t>(at(4, 2));
  if (present < 20 || (tag == kExtensible && present < field.size())) {
    NotDecoded("The format chunk of " + Quoted(file_) +
               " is cut off by the end of the file; no samples were read.");
    return std::nullopt;
  }
  return WavFormat{sizeField,
                   at(0, 4),
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

// The first data chunk after the format fields, read up to its declared size or to the end of
// the file, whichever comes first (a notice says when the file is shorter).
std::optional<WavData> Importer::FindWavData(const WavFormat& format) {
  const std::int64_t dataChunk = bytes_.Find("data", format.SizeFieldAt + 20);
  if (dataChunk < 0) {
    NotDecoded(Quoted(file_) + " has no data chunk after its format chunk; no samples " +
               "were read.");
    return std::nullopt;
  }
  const std::int64_t dataStart = dataChunk + 8;
  if (dataStart > bytes_.Size()) {
    NotDecoded("The data chunk of " + Quoted(file_) +
               " is cut off by the end of the file; no samples were read.");
    return std::nullopt;
  }
  std::array<unsigned char, 4> sizeBytes{};
  bytes_.Read(dataChunk + 4, sizeBytes.size(), reinterpret_cast<char*>(sizeBytes.data()));
  const auto declared = static_cast<std::int64_t>(
      std::nearbyint(static_cast<double>(LittleEndian(sizeBytes.data(), 4)) / format.BlockAlign));
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
  return static_cast<std::int32_t>(DecodeBinary(0, bytes_.Size() / 4, 1, SampleCoding::Float));
}

std::int32_t Importer::ReadInt16() {
  report_.Kind = ImportKind::Int16;
  const std::optional<ByteOrder> order = choices_.Int16Order ? choices_.Int16Order() : std::nullopt;
  if (!order) {
    report_.Decoded = false;
    return 0;
  }
  const SampleCoding coding =
      *order == ByteOrder::LittleEndian ? SampleCoding::Signed16 : SampleCoding::Signed16BigEndian;
  return static_cast<std::int32_t>(DecodeBinary(0, bytes_.Size() / 2, 1, coding));
}

// Frames of `channels` samples from `offset` on, channel blocks one after another; at most as
// many frames as the buffers take for each channel. Returns the frames stored.
std::int64_t Importer::DecodeBinary(std::int64_t offset, std::int64_t frames, std::int32_t channels,
                                    SampleCoding coding) {
  const std::int64_t perChannel = waveform_.Capacity() / channels;
  if (frames > perChannel) {
    report_.TruncatedAtCapacity = true;
    report_.Notices.push_back(Quoted(file_) + " holds more samples than the sample buffers take; " +
                              "the first " + std::to_string(perChannel) + " samples" +
                              (channels > 1 ? " of each channel" : "") + " were read.");
    frames = perChannel;
  }
  if (frames <= 0) return NotDecoded(Quoted(file_) + " holds no samples.");
  const std::int64_t frameBytes = channels * Width(coding);
  const std::int64_t blockFrames =
      std::max<std::int64_t>(1, std::min(blockBytes_, kBinaryBlockBytes) / frameBytes);
  float* const out = waveform_.Samples.data();
  std::int64_t done = 0;
  bytes_.ForEachBlock(offset, offset + frames * frameBytes, blockFrames * frameBytes,
                      [&](const char* block, std::size_t size) {
                        const std::int64_t count = static_cast<std::int64_t>(size) / frameBytes;
                        DecodeFrames(coding, reinterpret_cast<const unsigned char*>(block), count,
                                     channels, out + done, frames);
                        done += count;
                        return true;
                      });
  return frames;
}

float Importer::ParseValue(std::string_view token, std::int64_t line, std::int32_t index) const {
  float value = 0.0f;
  if (token.size() <= kLongestTextToken &&
      ParseDecimal(token.data(), token.data() + token.size(), value))
    return value;
  NotANumber(ShownToken(token), line, index);
}

void Importer::NotANumber(std::string_view shown, std::int64_t line, std::int32_t index) const {
  throw OrvekError("Import file " + Quoted(file_) + ", line " + std::to_string(line) + ": \"" +
                   std::string(shown) + "\" is not a number (sample " + std::to_string(index) +
                   "; values are decimal numbers within the single-precision range, separated "
                   "by blanks, tabs, commas or line ends).");
}

std::int32_t Importer::ReadText() {
  report_.Kind = ImportKind::Text;
  const std::string_view text = bytes_.Image();
  const std::size_t start = ValuesStart(text);
  // The header's lines, counted as the values' lines are, so that messages name the file's line.
  TextTokenizer header([](std::string_view, std::int64_t) {});
  header.Feed(text.data(), start);

  float* const samples = waveform_.Samples.data();
  const std::int32_t capacity = waveform_.Capacity();
  std::int32_t stored = 0;
  std::int32_t columns = 0;
  std::int64_t firstLine = 0;  // line of the first value
  // Tokens that are not numbers; they matter only in the column chosen (a spreadsheet export may
  // hold dates in another), so they are refused once the column is known.
  struct NotNumber {
    std::int32_t Index;
    std::int64_t Line;
    std::string Shown;
  };
  std::vector<NotNumber> notNumbers;
  TextTokenizer values(
      [&](std::string_view token, std::int64_t line) {
        if (firstLine == 0) firstLine = line;
        columns += line == firstLine;
        if (stored == capacity) {
          report_.TruncatedAtCapacity = true;
          return;
        }
        float value = 0.0f;
        if (token.size() > kLongestTextToken ||
            !ParseDecimal(token.data(), token.data() + token.size(), value)) {
          notNumbers.push_back({stored, line, ShownToken(token)});
          value = 0.0f;
        }
        samples[stored] = value;
        ++stored;
      },
      header.Line());
  values.Feed(text.data() + start, text.size() - start);
  values.Finish();
  if (report_.TruncatedAtCapacity)
    report_.Notices.push_back(Quoted(file_) + " holds more values than the sample buffers take; " +
                              "the first " + std::to_string(capacity) + " were read.");
  if (stored == 0) return report_.TruncatedAtCapacity ? 0 : NoNumbers();
  report_.ColumnCount = columns;
  const auto refuseNotNumbers = [&](std::int32_t column, std::int32_t step) {
    for (const NotNumber& bad : notNumbers)
      if (bad.Index % step == column) NotANumber(bad.Shown, bad.Line, bad.Index / step);
  };
  const std::optional<std::int32_t> column =
      values.Line() == firstLine || !choices_.SpreadsheetColumn  // one line: one waveform
          ? std::nullopt
          : choices_.SpreadsheetColumn(columns);
  if (!column) {
    refuseNotNumbers(0, 1);
    return stored;
  }
  if (*column < 1 || *column > columns)
    throw OrvekError("Import file " + Quoted(file_) + ": column " + std::to_string(*column) +
                     " was chosen, but the file has columns 1 to " + std::to_string(columns) + ".");
  refuseNotNumbers(*column - 1, columns);
  std::int32_t kept = 0;
  for (std::int32_t i = *column - 1; i < stored; i += columns) samples[kept++] = samples[i];
  return kept;
}

std::int32_t Importer::ReadLargeText() {
  report_.Kind = ImportKind::LargeText;
  const ImportChoices::Channels channels = choices_.MultiplexedChannels
                                               ? choices_.MultiplexedChannels(bytes_.Size())
                                               : ImportChoices::Channels{};
  if (channels.Count < 1 || channels.Chosen < 0 || channels.Chosen >= channels.Count)
    throw OrvekError("Import file " + Quoted(file_) + ": channel " +
                     std::to_string(channels.Chosen) + " of " + std::to_string(channels.Count) +
                     " multiplexed channels cannot be read (channels are numbered from 0).");

  float* const samples = waveform_.Samples.data();
  const std::int32_t capacity = waveform_.Capacity();
  std::int32_t stored = 0;
  std::int32_t channel = 0;  // of the next token
  TextTokenizer values([&](std::string_view token, std::int64_t line) {
    const bool chosen = channel == channels.Chosen;
    if (++channel == channels.Count) channel = 0;
    if (!chosen || report_.TruncatedAtCapacity) return;
    if (stored == capacity) {
      report_.TruncatedAtCapacity = true;
      return;
    }
    samples[stored] = ParseValue(token, line, stored);
    ++stored;
  });
  bytes_.ForEachBlock(0, bytes_.Size(), blockBytes_, [&](const char* block, std::size_t size) {
    values.Feed(block, size);
    return !report_.TruncatedAtCapacity;  // the rest of the file is not needed
  });
  values.Finish();
  if (report_.TruncatedAtCapacity) {
    report_.Notices.push_back(
        Quoted(file_) + " holds more values of channel " + std::to_string(channels.Chosen) +
        " than the sample buffers take; the first " + std::to_string(capacity) + " were read.");
    return stored;
  }
  return stored > 0 ? stored : NoNumbers();
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
  float dataMax = kNoDataMax, dataMin = kNoDataMin;
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

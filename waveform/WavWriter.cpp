#include "waveform/WavWriter.h"

#include <sndfile.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "base/ErrorText.h"
#include "base/FileNames.h"
#include "base/OrvekError.h"
#include "waveform/OrvFile.h"

namespace orvek {
namespace fs = std::filesystem;
namespace {

// The file image is built in memory so that the checked replacing of the target (temporary file
// beside it, renamed over it) is shared with every other writer.
struct MemoryFile {
  std::string bytes;
  sf_count_t position = 0;
};

MemoryFile& Image(void* user) { return *static_cast<MemoryFile*>(user); }

sf_count_t Length(void* user) { return static_cast<sf_count_t>(Image(user).bytes.size()); }

sf_count_t Seek(sf_count_t offset, int whence, void* user) {
  MemoryFile& image = Image(user);
  const sf_count_t base = whence == SEEK_CUR   ? image.position
                          : whence == SEEK_END ? Length(user)
                                               : 0;
  if (base + offset < 0) return -1;
  image.position = base + offset;
  return image.position;
}

sf_count_t Read(void* out, sf_count_t count, void* user) {
  MemoryFile& image = Image(user);
  const sf_count_t available = std::max<sf_count_t>(Length(user) - image.position, 0);
  const sf_count_t read = std::min(count, available);
  if (read > 0) std::memcpy(out, image.bytes.data() + image.position, read);
  image.position += read;
  return read;
}

sf_count_t Write(const void* in, sf_count_t count, void* user) {
  MemoryFile& image = Image(user);
  try {
    if (image.position + count > Length(user)) image.bytes.resize(image.position + count);
  } catch (...) {  // out of memory: a short write, which the library reports
    return 0;
  }
  std::memcpy(image.bytes.data() + image.position, in, count);
  image.position += count;
  return count;
}

sf_count_t Tell(void* user) { return Image(user).position; }

}  // namespace

void SaveWavFile(const fs::path& file, const TWaveform& waveform, const std::string& title,
                 const ReadFiles& reads) {
  const auto refuse = [&](const std::string& reason) {
    throw OrvekError("Cannot save WAV file " + Quoted(file) + ": " + reason + ".");
  };
  const std::int32_t count = std::min(waveform.Count(), waveform.Capacity());
  CheckSamplesToSave(waveform, count, file);
  const float* samples = waveform.Samples.data();
  const double rate = std::nearbyint(waveform.SampleRate);
  if (!(rate >= 1.0 && rate <= INT_MAX))
    refuse("the sampling rate " + std::to_string(waveform.SampleRate) +
           " samples/s cannot be written: a WAV file needs a whole rate of at least 1 sample/s");

  SF_INFO format{};
  format.samplerate = static_cast<int>(rate);
  format.channels = 1;
  format.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SF_VIRTUAL_IO io{Length, Seek, Read, Write, Tell};
  MemoryFile image;
  try {
    image.bytes.reserve(static_cast<std::size_t>(count) * sizeof(float) + title.size() + 4096);
  } catch (const std::bad_alloc&) {
    refuse("there is not enough memory to prepare it");
  }
  std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> sound(
      sf_open_virtual(&io, SFM_WRITE, &format, &image), sf_close);
  if (!sound) refuse(sf_strerror(nullptr));
  // The library takes no empty strings: an untitled file has no title entry.
  if (!title.empty())
    if (const int error = sf_set_string(sound.get(), SF_STR_TITLE, title.c_str()); error != 0)
      refuse(sf_error_number(error));
  if (sf_writef_float(sound.get(), samples, count) != count) refuse(sf_strerror(sound.get()));
  // Closing writes the final chunk sizes.
  if (sf_close(sound.release()) != 0) refuse("the WAV header could not be completed");
  // The RIFF size field counts all but the first 8 bytes in 32 bits.
  if (image.bytes.size() - 8 > UINT32_MAX) refuse("the record is too long for a WAV file");

  if (const auto reason = WriteFileReplacing(file, image.bytes, reads)) refuse(*reason);
}

}  // namespace orvek

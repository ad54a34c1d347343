#pragma once
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "waveform/Waveform.h"

namespace orvek::fuzz {

// Samples per buffer of the fuzzed record: small, so that allocation stays bounded and inputs of
// a few hundred bytes already reach the capacity limits.
inline constexpr std::int32_t kSampleCapacity = 1 << 8;

// The file the readers that take a path read the input from: an in-memory file of this process,
// rewritten for every input and named by its /proc link, so that no disk file is left behind.
class InputFile {
 public:
  static const std::filesystem::path& Holding(const std::uint8_t* data, std::size_t size) {
    static InputFile file;
    if (ftruncate(file.descriptor_, 0) != 0) std::abort();
    std::size_t written = 0;
    while (written < size) {
      const ssize_t n =
          pwrite(file.descriptor_, data + written, size - written, static_cast<off_t>(written));
      if (n <= 0) std::abort();
      written += static_cast<std::size_t>(n);
    }
    return file.path_;
  }

 private:
  InputFile() : descriptor_(memfd_create("orvek-fuzz-input", 0)) {
    if (descriptor_ < 0) std::abort();
    path_ = "/proc/self/fd/" + std::to_string(descriptor_);
  }

  int descriptor_;
  std::filesystem::path path_;
};

// A broken invariant: stop so that libFuzzer keeps the input.
inline void Expect(bool holds) {
  if (!holds) std::abort();
}

// What every reader promises of a record it stored: 0 < count <= capacity, the interval of the
// energy metrics covering the record, and finite samples (no analysis can use others).
inline void ExpectStoredRecord(const TWaveform& waveform) {
  Expect(waveform.WaveformLoaded && waveform.Count() > 0 &&
         waveform.Count() <= waveform.Capacity());
  Expect(waveform.FirstIndex == 0 && waveform.LastIndex == waveform.LastSampleIndex);
  for (std::int32_t i = 0; i < waveform.Count(); ++i) Expect(std::isfinite(waveform.Samples[i]));
}

}  // namespace orvek::fuzz

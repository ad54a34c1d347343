// Time to import the two large recordings a user meets: a 100 MB single-column text file (read in
// blocks from disk) and a 10-minute 48 kHz stereo 24-bit WAV file (173 MB).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "waveform/ImportReader.h"

namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kTextBytes = 100'000'000;
constexpr std::int64_t kWavFrames = 48'000 * 600;

// The files are written once per run and removed with their folder when the program ends.
struct BenchFiles {
  BenchFiles();
  ~BenchFiles() {
    std::error_code ignored;
    fs::remove_all(Folder, ignored);
  }
  fs::path Folder = fs::temp_directory_path() / "orvek_bench_import";
  fs::path Text = Folder / "SHOT.050";
  fs::path Wav = Folder / "SHOT.WAV";
};

std::string LittleEndian(std::uint32_t value, int bytes) {
  std::string text;
  for (int i = 0; i < bytes; ++i) text += static_cast<char>(value >> (8 * i) & 0xff);
  return text;
}

// A decaying 1 kHz burst, written the way spreadsheets and recorders write it.
double Burst(std::int64_t i, double rate) {
  const double t = static_cast<double>(i % 200'000) / rate;
  return std::exp(-t * 20.0) * std::sin(6283.185 * t);
}

BenchFiles::BenchFiles() {
  fs::create_directories(Folder);
  {
    std::ofstream out(Text, std::ios::binary);
    std::string block;
    char line[32];
    std::int64_t written = 0;
    for (std::int64_t i = 0; written < kTextBytes; ++i) {
      const int n = std::snprintf(line, sizeof line, "%.4f\r\n", 4000.0 * Burst(i, 200000.0));
      block.append(line, static_cast<std::size_t>(n));
      written += n;
      if (block.size() > (1 << 20)) {
        out << block;
        block.clear();
      }
    }
    out << block;
  }
  {
    constexpr int kChannels = 2, kBytes = 3;
    constexpr std::uint32_t kDataBytes = kWavFrames * kChannels * kBytes;
    std::ofstream out(Wav, std::ios::binary);
    out << "RIFF" << LittleEndian(kDataBytes + 36, 4) << "WAVEfmt " << LittleEndian(16, 4)
        << LittleEndian(1, 2) << LittleEndian(kChannels, 2) << LittleEndian(48'000, 4)
        << LittleEndian(48'000 * kChannels * kBytes, 4) << LittleEndian(kChannels * kBytes, 2)
        << LittleEndian(24, 2) << "data" << LittleEndian(kDataBytes, 4);
    std::string block;
    for (std::int64_t f = 0; f < kWavFrames; ++f) {
      const auto left = static_cast<std::int32_t>(8e6 * Burst(f, 48000.0));
      block += LittleEndian(static_cast<std::uint32_t>(left), kBytes);
      block += LittleEndian(static_cast<std::uint32_t>(-left / 2), kBytes);
      if (block.size() > (1 << 20)) {
        out << block;
        block.clear();
      }
    }
    out << block;
  }
}

const BenchFiles& Files() {
  static const BenchFiles files;
  return files;
}

void Import(benchmark::State& state, const fs::path& file, const std::string& tag) {
  // The buffers are lazily committed mappings: only the pages the import writes cost anything.
  auto waveform = std::make_unique<orvek::TWaveform>(64 << 20);
  orvek::HeaderGrid grid;
  orvek::FillDefaultHeader(grid);
  orvek::ImportChoices choices;
  choices.MultiplexedChannels = [](std::int64_t, std::int32_t) {
    return orvek::ImportChoices::Channels{1, 0};
  };
  for (auto _ : state) {
    const orvek::ImportReport report = orvek::OpenNewFileType4(file, tag, choices, *waveform, grid);
    benchmark::DoNotOptimize(report);
  }
  state.counters["samples"] = static_cast<double>(waveform->Count());
  state.counters["MB"] = static_cast<double>(fs::file_size(file)) / 1e6;
}

void BM_ImportLargeText(benchmark::State& state) { Import(state, Files().Text, ".050"); }
BENCHMARK(BM_ImportLargeText)->Unit(benchmark::kMillisecond);

void BM_ImportWav24Stereo(benchmark::State& state) { Import(state, Files().Wav, ".WAV"); }
BENCHMARK(BM_ImportWav24Stereo)->Unit(benchmark::kMillisecond);

}  // namespace

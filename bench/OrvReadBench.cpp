// Time to open a 1,048,576-sample ORV file: read, parse, dither and pad.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "waveform/OrvFile.h"

namespace {

constexpr std::int32_t kSamples = 1'048'576;

// The file is written once per run and removed with its folder when the program ends.
struct BenchFile {
  BenchFile();
  ~BenchFile() {
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
  }
  std::filesystem::path Folder = std::filesystem::temp_directory_path() / "orvek_bench_core";
  std::filesystem::path File = Folder / "BENCH.ORV";
};

BenchFile::BenchFile() {
  std::filesystem::create_directories(Folder);
  std::ofstream out(File, std::ios::binary);
  out << "PARAMETER \tVALUE \tCOMMENT \r\n"
      << "Title for waveform plot \t \tBENCH \r\n"
      << "Sampling rate \t200000 \tsamples/sec \r\n"
      << "Microphone relative to ear \t1 \tfree field \r\n"
      << "Number of Samples \t1048576 \t \r\n";
  // A decaying 1 kHz burst with a few thousand pascals of peak pressure.
  for (std::int32_t i = 0; i < kSamples; ++i) {
    const double t = i / 200000.0;
    const auto p = static_cast<float>(4000.0 * std::exp(-t * 20.0) * std::sin(6283.185 * t));
    out << orvek::CompactFloatText(p) << "\r\n";
  }
}

void BM_OpenNewFileType5(benchmark::State& state) {
  static const BenchFile bench;
  orvek::TWaveform waveform(4 * kSamples);
  orvek::HeaderGrid grid;
  orvek::Lcg32 rng;
  for (auto _ : state) {
    const auto report = orvek::OpenNewFileType5(bench.File, false, waveform, grid, rng);
    benchmark::DoNotOptimize(report);
  }
  state.counters["samples"] = static_cast<double>(waveform.Count());
}
BENCHMARK(BM_OpenNewFileType5)->Unit(benchmark::kMillisecond);

}  // namespace

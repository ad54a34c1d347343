#pragma once
#include <CLI/CLI.hpp>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

// `orvek-cli movie`: the unwrapped-cochlea animation of the hazard movie drawn offscreen, every
// K-th frame written as a PNG file, for reports and tests.
namespace orvek::cli {

struct MovieOptions {
  std::string File;
  bool Unwarned = false;
  std::int32_t Every = 1;  // --frames K
  std::string Output;      // folder of the PNG files, made when missing
  std::string Data;
};

// Registers `movie` and its options on `app`.
CLI::App* AddMovieCommand(CLI::App& app, MovieOptions& options);

// Analyses the file as the window does and plays the movie as the window draws it on a
// 1200 x 800 client area; writes the plot band (the lower half) of frames 1, 1 + K, 1 + 2K, ...
// as "frame-NNNNNN.png" (the frame number) and returns what it wrote.
nlohmann::ordered_json RunMovie(const MovieOptions& options);

}  // namespace orvek::cli

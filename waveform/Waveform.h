#pragma once
#include <cstdint>
#include <string>

#include "base/SampleBuffer.h"

namespace orvek {

// The one current waveform and its header values.
struct TWaveform {
  explicit TWaveform(std::int32_t capacity)
      : Samples(capacity), ReferenceSamples(capacity), WorkSamples(capacity) {}

  std::int32_t Capacity() const { return Samples.size(); }
  std::int32_t Count() const { return LastSampleIndex + 1; }

  SampleBuffer Samples;           // Pa for waveform types 1 to 3
  SampleBuffer ReferenceSamples;  // copy taken at the end of the main reader
  SampleBuffer WorkSamples;       // scratch for editing and analysis
  std::int32_t LastSampleIndex = -1;
  std::int32_t PaddedLength = 0;  // power-of-two count set by the main reader
  float SampleRate = 0.0f;        // samples/s
  float SampleInterval = 0.0f;    // s
  std::int32_t MicLocation = 1;   // 1 free field, 2 ear-canal entrance, 3 eardrum
  std::string PlotTitle;
  float DataMax = 0.0f, DataMin = 0.0f;        // Pa, before dithering
  float AxisMax = 0.0f, AxisMin = 0.0f;        // Pa, pressure-axis limits
  float TimeStart = 0.0f, TimeEnd = 0.0f;      // s
  float WindowStart = 0.0f, WindowEnd = 0.0f;  // s, comparison window
  std::int32_t FirstIndex = 0, LastIndex = 0;  // interval of the energy metrics
  bool WaveformLoaded = false;
  float FlatEnergy = 0.0f;  // J/m^2
};

}  // namespace orvek

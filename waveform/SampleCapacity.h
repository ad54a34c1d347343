#pragma once
#include <cstdint>

namespace orvek {

// Available physical memory in bytes as the kernel reports it, clamped to a 32-bit count.
std::uint32_t AvailablePhysicalMemory();

// Samples per waveform buffer: round(0.025 x available bytes). 400,000,000 bytes give 10,000,000.
std::int32_t SampleCapacityFor(std::uint32_t availableBytes);

// Bytes reserved for the hazard movie: a 100-value header and 1,048,576 frames of 25 values
// (rounded up to 104,858,000 bytes).
inline constexpr std::int32_t kMovieFrameStoreBytes = 104'858'000;

}  // namespace orvek

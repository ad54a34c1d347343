#pragma once
#include <cstdint>

namespace orvek {

// Available physical memory in bytes as the kernel reports it, clamped to a 32-bit count.
std::uint32_t AvailablePhysicalMemory();

// Samples per waveform buffer: round(0.025 x available bytes). 400,000,000 bytes give 10,000,000.
std::int32_t SampleCapacityFor(std::uint32_t availableBytes);

}  // namespace orvek

#include "waveform/SampleCapacity.h"

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

namespace orvek {

std::uint32_t AvailablePhysicalMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string line;
  while (std::getline(meminfo, line)) {
    if (line.rfind("MemAvailable:", 0) != 0) continue;
    std::istringstream fields(line.substr(13));
    unsigned long long kib = 0;
    fields >> kib;
    const unsigned long long bytes = kib * 1024ULL;
    return bytes > std::numeric_limits<std::uint32_t>::max()
               ? std::numeric_limits<std::uint32_t>::max()
               : static_cast<std::uint32_t>(bytes);
  }
  return 0;
}

std::int32_t SampleCapacityFor(std::uint32_t availableBytes) {
  return static_cast<std::int32_t>(std::nearbyint(0.025 * static_cast<double>(availableBytes)));
}

}  // namespace orvek

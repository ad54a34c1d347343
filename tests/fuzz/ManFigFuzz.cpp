// The pointer file "Man.Fig" that names the model parameter file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "base/OrvekError.h"
#include "model/ModelParameters.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace orvek;
  try {
    const std::string name = ReadManFig(fuzz::InputFile::Holding(data, size));
    // At most 12 characters, without the blanks around them.
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    fuzz::Expect(!name.empty() && name.size() <= 12 && !blank(name.front()) && !blank(name.back()));
  } catch (const OrvekError&) {
  }
  return 0;
}

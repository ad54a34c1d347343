#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/FileNames.h"

namespace orvek::test {

// One of the program's file writers, as SafeWriteTest.cpp puts it under failures.
struct Writer {
  std::string Name;     // of the file kind, for the test name
  std::string File;     // the name it is written under
  std::string Earlier;  // content of the file already there (the rewriting writers read it)
  // Writes the file as a command that reads `reads` would.
  std::function<void(const std::filesystem::path&, const ReadFiles& reads)> Write;
};

// The writers of the layers a test binary links; each binary defines it once.
const std::vector<Writer>& Writers();

}  // namespace orvek::test

#pragma once
#include <filesystem>
#include <string>

namespace orvek {

// The pieces the core's messages are built from, so that every message names a file and a
// system failure the same way.

// The path in double quotes: "\"/data/RIFLE160.ORV\"".
std::string Quoted(const std::filesystem::path& file);

// What the system says about an errno value ("No such file or directory").
std::string ErrnoReason(int error);

// A number as a user typed it, in six significant digits: 0.5, -1, 1e+39.
std::string ShortNumber(double value);

}  // namespace orvek

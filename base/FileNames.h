#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace orvek {

// File names are matched case-insensitively inside their folder: returns the existing entry of
// `folder` whose name equals `name` ignoring ASCII case (an exact match wins), or folder / name
// when there is none. `name` may hold Windows separators ("Dat\\Hearing Protectors\\x.txt"):
// each component is resolved in turn.
std::filesystem::path ResolveInFolder(const std::filesystem::path& folder, const std::string& name);

// Upper-cased file name (no folder) up to its last "." (the base name of the current waveform):
// "shot.1.ORV" gives "SHOT.1", so that files differing after their first dot keep apart.
std::string UpperBaseName(const std::filesystem::path& file);

// First four characters of the upper-cased extension, dot included (".ORV"); empty when none.
std::string ExtensionTag(const std::filesystem::path& file);

// "Drive type" of a folder on this platform: the folder exists, is not marked read-only (no owner
// write permission) and a file can be created in it.
bool FolderWritable(const std::filesystem::path& folder);

// Creates a new, empty file in `folder` whose name starts with `prefix` and ends in a random
// suffix, and returns its path; on failure returns an empty path and sets `error`.
std::filesystem::path CreateUniqueFile(const std::filesystem::path& folder,
                                       const std::string& prefix, std::error_code& error);

// Writes `text` to a new file beside `target`, flushes it to the disk and renames it over the
// target, so that a failure or a crash leaves any existing file as it was (a replaced file keeps
// its permissions); the temporary file is removed on failure. Every file the program writes goes
// through here. Returns why the file could not be written (a missing or read-only folder, a
// read-only target, a folder of that name, a failed write), or nothing on success.
std::optional<std::string> WriteFileReplacing(const std::filesystem::path& target,
                                              const std::string& text);

}  // namespace orvek

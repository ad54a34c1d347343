#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

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

// The files a command reads. Its writers refuse to replace any of them; they are compared as
// files (device and inode), so another spelling of the same path or a hard link is caught too.
using ReadFiles = std::vector<std::filesystem::path>;

// A file a command writes, with the files that command reads.
struct OutputFile {
  std::filesystem::path Path;
  ReadFiles Reads;
};

// Why `file` is no plain file to read or replace: "it is a FIFO (named pipe), not a regular file",
// or a character device, block device or socket. Nothing for a regular file, a folder or a name
// that does not exist: callers report those in their own words. Reading a FIFO would wait for a
// writer forever, and replacing a device by rename would remove the device.
std::optional<std::string> SpecialFileReason(const std::filesystem::path& file);

// Reads the whole of `file` into `text`. A FIFO, device, socket or folder is refused without
// waiting for a writer: the file is opened without blocking and checked before anything is read.
// Returns why it cannot be read ("No such file or directory", "it is a FIFO (named pipe), not a
// regular file"), or nothing.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& file, std::string& text);

// Why `target` cannot be written: no name, a folder, FIFO, device or socket of that name, a file
// this command reads (`reads`; the reason names it), a read-only file, a missing or read-only
// folder. Nothing when it can. WriteFileReplacing checks this first; a command that runs long
// checks its outputs with it before it starts.
std::optional<std::string> WriteTargetProblem(const std::filesystem::path& target,
                                              const ReadFiles& reads);

// Writes `text` to a temporary file beside `target`, flushes it to the disk and renames it over
// the target, so that a failure or a crash leaves any existing file as it was (a replaced file
// keeps its permissions); the temporary file is removed on failure. It is created unnamed
// (O_TMPFILE) and named only once complete, just before the rename, so a process killed while
// writing leaves nothing behind; on file systems without unnamed files it is named from the start.
// Every file the program writes goes through here; `reads` are the files the writing command
// reads, which it may not replace (see WriteTargetProblem). Returns why the file could not be
// written, or nothing on success.
std::optional<std::string> WriteFileReplacing(const std::filesystem::path& target,
                                              const std::string& text, const ReadFiles& reads);

}  // namespace orvek

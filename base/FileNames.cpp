#include "base/FileNames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <random>

#include "base/ErrorText.h"

namespace orvek {
namespace fs = std::filesystem;
namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperAscii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) { return UpperAscii(c); });
  return text;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return UpperAscii(x) == UpperAscii(y);
         });
}

// One name inside one folder. Among several entries differing only in case the smallest name is
// taken, so the choice does not depend on the order the directory lists them in.
fs::path MatchInFolder(const fs::path& folder, const std::string& name) {
  const fs::path exact = folder / name;
  std::error_code error;
  if (fs::exists(exact, error)) return exact;
  std::optional<std::string> best;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::string entry = it->path().filename().string();
    if (EqualIgnoringCase(entry, name) && (!best || entry < *best)) best = std::move(entry);
  }
  return best ? folder / *best : exact;
}

std::string FileNameText(const fs::path& file) { return file.filename().string(); }

constexpr int kNameAttempts = 16;

std::optional<std::string> SpecialTypeReason(fs::file_type type) {
  switch (type) {
    case fs::file_type::fifo:
      return "it is a FIFO (named pipe), not a regular file";
    case fs::file_type::character:
      return "it is a character device, not a regular file";
    case fs::file_type::block:
      return "it is a block device, not a regular file";
    case fs::file_type::socket:
      return "it is a socket, not a regular file";
    default:
      return std::nullopt;
  }
}

fs::path RandomName(const fs::path& folder, const std::string& prefix) {
  static thread_local std::random_device entropy;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(entropy()));
  return folder / (prefix + suffix);
}

// errno after a failed call; a short write need not set it.
int LastError() { return errno != 0 ? errno : EIO; }

// Writes all of `text` and flushes it to the disk, so that a crash after the rename cannot leave
// the target empty. Returns the errno value of a failure, or 0.
int WriteAndSync(int fd, const std::string& text) {
  const char* next = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    errno = 0;
    const ssize_t written = ::write(fd, next, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return LastError();
    next += written;
    left -= static_cast<std::size_t>(written);
  }
  return ::fsync(fd) == 0 ? 0 : LastError();
}

// Gives the unnamed file `fd` a new name "prefix + random suffix" in `folder` (through /proc, which
// needs no privilege, unlike linkat's AT_EMPTY_PATH). Returns the name, or an empty path and the
// errno value in `error`.
fs::path NameUnnamedFile(int fd, const fs::path& folder, const std::string& prefix, int& error) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const fs::path candidate = RandomName(folder, prefix);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0)
      return candidate;
    error = LastError();
    if (error != EEXIST) return {};
  }
  return {};
}

}  // namespace

fs::path ResolveInFolder(const fs::path& folder, const std::string& name) {
  fs::path result = folder;
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t stop = std::min(name.find_first_of("\\/", start), name.size());
    if (stop > start) result = MatchInFolder(result, name.substr(start, stop - start));
    start = stop + 1;
  }
  return result;
}

std::string UpperBaseName(const fs::path& file) {
  return UpperAscii(file.filename().stem().string());
}

std::string ExtensionTag(const fs::path& file) {
  const std::string name = FileNameText(file);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : UpperAscii(name.substr(dot, 4));
}

bool FolderWritable(const fs::path& folder) {
  std::error_code error;
  const fs::file_status status = fs::status(folder, error);
  if (error || !fs::is_directory(status) ||
      (status.permissions() & fs::perms::owner_write) == fs::perms::none)
    return false;
  const fs::path probe = CreateUniqueFile(folder, ".orvek-probe-", error);
  if (probe.empty()) return false;
  fs::remove(probe, error);
  return true;
}

fs::path CreateUniqueFile(const fs::path& folder, const std::string& prefix,
                          std::error_code& error) {
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const fs::path candidate = RandomName(folder, prefix);
    // "x": fail rather than open a file that already exists.
    if (std::FILE* created = std::fopen(candidate.string().c_str(), "wbx")) {
      std::fclose(created);
      error.clear();
      return candidate;
    }
    error = std::error_code(errno, std::generic_category());
    if (error != std::errc::file_exists) return {};
  }
  return {};
}

std::optional<std::string> SpecialFileReason(const fs::path& file) {
  std::error_code error;
  return SpecialTypeReason(fs::status(file, error).type());
}

std::optional<std::string> ReadRegularFile(const fs::path& file, std::string& text) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return ErrnoReason(LastError());
  const auto failed = [fd](std::string reason) {
    ::close(fd);
    return std::optional<std::string>(std::move(reason));
  };
  struct stat status {};
  if (::fstat(fd, &status) != 0) return failed(ErrnoReason(LastError()));
  if (S_ISDIR(status.st_mode)) return failed("it is a folder");
  if (!S_ISREG(status.st_mode)) {
    const fs::file_type type = S_ISFIFO(status.st_mode)   ? fs::file_type::fifo
                               : S_ISCHR(status.st_mode)  ? fs::file_type::character
                               : S_ISBLK(status.st_mode)  ? fs::file_type::block
                               : S_ISSOCK(status.st_mode) ? fs::file_type::socket
                                                          : fs::file_type::unknown;
    return failed(SpecialTypeReason(type).value_or("it is not a regular file"));
  }
  std::string content;
  try {
    content.resize(static_cast<std::size_t>(status.st_size));
  } catch (const std::exception&) {  // bad_alloc or length_error
    return failed("it is too large to read into memory (" + std::to_string(status.st_size) +
                  " bytes)");
  }
  std::size_t filled = 0;
  while (filled < content.size()) {
    errno = 0;
    const ssize_t got = ::read(fd, content.data() + filled, content.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return failed(ErrnoReason(LastError()));
    if (got == 0) return failed("the file became shorter while reading");
    filled += static_cast<std::size_t>(got);
  }
  ::close(fd);
  text = std::move(content);
  return std::nullopt;
}

std::optional<std::string> WriteTargetProblem(const fs::path& target, const ReadFiles& reads) {
  if (target.empty() || !target.has_filename()) return "no file name was given";
  std::error_code error;
  const fs::file_status targetStatus = fs::status(target, error);
  const bool targetExists = fs::exists(targetStatus);
  if (targetExists && fs::is_directory(targetStatus)) return "a folder of that name exists";
  if (const auto special = SpecialFileReason(target)) return special;
  for (const fs::path& read : reads)
    if (targetExists && fs::equivalent(target, read, error))
      return "it is " + Quoted(read) + ", which this command reads; choose another name";
  // Checked explicitly because an administrator's writes ignore the permission bits.
  if (targetExists && (targetStatus.permissions() & fs::perms::owner_write) == fs::perms::none)
    return "the file is read-only";
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const fs::file_status folderStatus = fs::status(folder, error);
  if (!fs::is_directory(folderStatus)) return "the folder " + Quoted(folder) + " does not exist";
  if ((folderStatus.permissions() & fs::perms::owner_write) == fs::perms::none)
    return "the folder " + Quoted(folder) + " is read-only";
  return std::nullopt;
}

std::optional<std::string> WriteFileReplacing(const fs::path& target, const std::string& text,
                                              const ReadFiles& reads) {
  if (auto problem = WriteTargetProblem(target, reads)) return problem;
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::error_code error;
  const fs::file_status targetStatus = fs::status(target, error);
  const std::string prefix = "." + target.filename().string() + ".";

  // Unnamed first; a file system without O_TMPFILE says so with one of these three.
  fs::path temporary;
  errno = 0;
  int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return ErrnoReason(LastError());
    temporary = CreateUniqueFile(folder, prefix, error);
    if (temporary.empty()) return error.message();
    fd = ::open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  }
  int writeError = fd < 0 ? LastError() : WriteAndSync(fd, text);
  if (writeError == 0 && fs::exists(targetStatus))
    ::fchmod(fd, static_cast<mode_t>(targetStatus.permissions()));
  if (writeError == 0 && temporary.empty())
    temporary = NameUnnamedFile(fd, folder, prefix, writeError);
  if (fd >= 0 && ::close(fd) != 0 && writeError == 0) writeError = LastError();
  if (writeError == 0) fs::rename(temporary, target, error);
  if (writeError == 0 && !error) return std::nullopt;
  const std::string reason = writeError != 0 ? ErrnoReason(writeError) : error.message();
  if (!temporary.empty()) fs::remove(temporary, error);
  return reason;
}

}  // namespace orvek

#include "base/FileNames.h"

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
  std::random_device entropy;
  constexpr int kAttempts = 16;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(entropy()));
    const fs::path candidate = folder / (prefix + suffix);
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

std::optional<std::string> WriteFileReplacing(const fs::path& target, const std::string& text) {
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::error_code error;
  const fs::file_status targetStatus = fs::status(target, error);
  const bool targetExists = fs::exists(targetStatus);
  if (targetExists && fs::is_directory(targetStatus)) return "a folder of that name exists";
  // Checked explicitly because an administrator's writes ignore the permission bits.
  if (targetExists && (targetStatus.permissions() & fs::perms::owner_write) == fs::perms::none)
    return "the file is read-only";
  const fs::file_status folderStatus = fs::status(folder, error);
  if (!fs::is_directory(folderStatus)) return "the folder " + Quoted(folder) + " does not exist";
  if ((folderStatus.permissions() & fs::perms::owner_write) == fs::perms::none)
    return "the folder " + Quoted(folder) + " is read-only";

  const fs::path temporary =
      CreateUniqueFile(folder, "." + target.filename().string() + ".", error);
  if (temporary.empty()) return error.message();
  // errno after a failed stream call; a short write need not set it.
  const auto lastError = [] { return errno != 0 ? errno : EIO; };
  errno = 0;
  std::FILE* stream = std::fopen(temporary.string().c_str(), "wb");
  int writeError = stream ? 0 : lastError();
  if (stream) {
    if (std::fwrite(text.data(), 1, text.size(), stream) != text.size()) writeError = lastError();
    // On the disk before the rename, so that a crash soon after cannot leave the target empty.
    if (writeError == 0 && (std::fflush(stream) != 0 || fsync(fileno(stream)) != 0))
      writeError = lastError();
    if (std::fclose(stream) != 0 && writeError == 0) writeError = lastError();
  }
  if (writeError == 0 && targetExists) {
    std::error_code ignored;
    fs::permissions(temporary, targetStatus.permissions(), ignored);
  }
  if (writeError == 0) fs::rename(temporary, target, error);
  if (writeError == 0 && !error) return std::nullopt;
  const std::string reason = writeError != 0 ? ErrnoReason(writeError) : error.message();
  fs::remove(temporary, error);
  return reason;
}

}  // namespace orvek

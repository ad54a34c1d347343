#include "base/UserData.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/ErrorText.h"
#include "base/FileNames.h"
#include "base/OrvekError.h"

namespace orvek {
namespace fs = std::filesystem;

fs::path UserDataFolder() {
  // An XDG variable that is not an absolute path is to be ignored.
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && fs::path(xdg).is_absolute()) return fs::path(xdg) / "orvek";
  const char* home = std::getenv("HOME");
  if (home && fs::path(home).is_absolute()) return fs::path(home) / ".local/share/orvek";
  throw OrvekError(
      "No per-user data folder: neither XDG_DATA_HOME nor HOME names a folder. Name the data "
      "folder with --data, or start in a folder that holds \"Man.Fig\".");
}

void FillUserDataFolder(const fs::path& folder, const fs::path& shipped) {
  if (fs::exists(ResolveInFolder(folder, "Man.Fig"))) return;
  const auto failed = [&](const std::string& reason) {
    return OrvekError("Cannot copy the data folder " + Quoted(shipped) + " to " + Quoted(folder) +
                      ": " + reason + ".");
  };
  std::error_code error;
  const fs::copy_options options = fs::copy_options::recursive | fs::copy_options::skip_existing;
  if (fs::exists(folder, error)) {  // a folder the user emptied: fill in what is missing
    fs::copy(shipped, folder, options, error);
    if (error) throw failed(error.message());
    return;
  }
  fs::create_directories(folder.parent_path(), error);
  if (error) throw failed(error.message());
  const fs::path partial =
      folder.parent_path() / ("." + folder.filename().string() + "." + std::to_string(getpid()));
  fs::copy(shipped, partial, options, error);
  if (!error) fs::rename(partial, folder, error);
  std::error_code ignored;
  fs::remove_all(partial, ignored);
  // Another run that made the folder first is as good as this one.
  if (error && !fs::exists(ResolveInFolder(folder, "Man.Fig"), ignored))
    throw failed(error.message());
}

fs::path DefaultStartupFolder(const fs::path& current, const fs::path& shipped) {
  if (fs::exists(ResolveInFolder(current, "Man.Fig"))) return current;
  const fs::path folder = UserDataFolder();
  FillUserDataFolder(folder, shipped);
  return folder;
}

}  // namespace orvek

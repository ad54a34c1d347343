#pragma once
#include <filesystem>

namespace orvek {

// The per-user data folder: $XDG_DATA_HOME/orvek, or ~/.local/share/orvek when XDG_DATA_HOME is
// unset or not absolute. Throws OrvekError when neither variable gives a folder.
std::filesystem::path UserDataFolder();

// Makes `folder` a working copy of the shipped data folder `shipped` when it holds no "Man.Fig"
// yet: the copy is made beside it and renamed into place, so that a run started at the same time
// never sees half a copy; files already in the folder are kept. The shipped folder is only read.
// Throws OrvekError naming both folders when the copy cannot be made.
void FillUserDataFolder(const std::filesystem::path& folder, const std::filesystem::path& shipped);

// The start-up folder of the window and of orvek-cli without --data: `current` when it holds
// "Man.Fig", otherwise the per-user data folder, filled from `shipped` on first use. Running the
// program therefore never writes into the shipped folder.
std::filesystem::path DefaultStartupFolder(const std::filesystem::path& current,
                                           const std::filesystem::path& shipped);

}  // namespace orvek

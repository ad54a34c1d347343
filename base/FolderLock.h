#pragma once
#include <filesystem>

namespace orvek {

// An exclusive lock on a folder, held for the life of the object (flock on the folder itself, so
// no lock file is left beside the data). Each read-modify-write of a shared file (the results
// table "TOB.txt", the protector catalogue) runs under the lock of its folder, so that runs at
// the same time, in other processes or other threads, do not lose each other's changes. The
// constructor waits for the lock. A folder that cannot be opened is not locked: the write that
// follows reports why.
class FolderLock {
 public:
  explicit FolderLock(const std::filesystem::path& folder);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace orvek

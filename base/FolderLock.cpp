#include "base/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace orvek {

FolderLock::FolderLock(const std::filesystem::path& folder)
    : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
  if (fd_ < 0) return;
  int locked = 0;
  do locked = ::flock(fd_, LOCK_EX);
  while (locked != 0 && errno == EINTR);
}

// Closing the descriptor releases the lock.
FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace orvek

#include "model/MoviePlayback.h"

#include <algorithm>
#include <limits>

namespace orvek {

std::uint64_t MoviePlayback::Begin(std::int32_t lastFrame) {
  frame_ = 1;
  last_ = lastFrame;
  paused_ = false;
  return ++run_;
}

void MoviePlayback::Key(MovieKey key) {
  switch (key) {
    case MovieKey::Up:
      delayMs_ = std::max(delayMs_ - 1, 1);
      break;
    case MovieKey::Down:
      if (delayMs_ < std::numeric_limits<int>::max()) ++delayMs_;
      break;
    case MovieKey::Enter:
      paused_ = !paused_;
      break;
    case MovieKey::End:
      frame_ = last_ - 1;
      break;
    case MovieKey::Home:
      if (restart_) break;
      frame_ = last_ - 1;
      restart_ = true;
      break;
  }
}

void MoviePlayback::Cancel() {
  frame_ = last_;
  restart_ = false;
  paused_ = false;
}

}  // namespace orvek

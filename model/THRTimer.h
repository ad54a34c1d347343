#pragma once
#include <chrono>

namespace orvek {

// High-resolution interval timer on the monotonic clock, which every supported system has, so
// there is no counter to look for and no frequency that could be zero.
class THRTimer {
 public:
  // Starts the interval.
  void StartTimer();
  // Milliseconds since StartTimer.
  double ReadTimer() const;
  // Returns once more than delayMs have passed since StartTimer. Sleeps until half a millisecond
  // before that (a sleep may overshoot by a few tens of microseconds) and polls the clock for the
  // rest, so the delay is kept to microseconds without holding a core for the whole of it.
  void WaitPast(double delayMs) const;

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point start_ = Clock::now();
};

}  // namespace orvek

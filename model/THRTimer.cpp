#include "model/THRTimer.h"

#include <thread>

namespace orvek {
namespace {

constexpr double kPollLastMs = 0.5;

}  // namespace

void THRTimer::StartTimer() { start_ = Clock::now(); }

double THRTimer::ReadTimer() const {
  return std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
}

void THRTimer::WaitPast(double delayMs) const {
  const double sleepMs = delayMs - kPollLastMs - ReadTimer();
  if (sleepMs > 0.0)
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(sleepMs));
  while (ReadTimer() <= delayMs) {
  }
}

}  // namespace orvek

#pragma once
#include <cstdint>

namespace orvek {

enum class MovieKey { Up, Down, Enter, End, Home };

// Where the hazard movie is and how it plays: the frame index f, the pause and restart flags and
// the frame delay, with what the movie keys and the cancel command do to them. A run steps
// f = 1 .. last - 1 (each step draws frame f + 1).
class MoviePlayback {
 public:
  static constexpr int kInitialDelayMs = 15;

  // A new run from frame 1 to lastFrame, not paused; the delay and a pending restart stay.
  // Returns the run's number: a loop keeps playing only while its run is the current one, so a
  // movie started from inside another (through the messages it processes) ends the outer one.
  std::uint64_t Begin(std::int32_t lastFrame);
  // Whether run `run` goes on: it is the current run and f < last.
  bool Playing(std::uint64_t run) const { return run == run_ && frame_ < last_; }
  std::int32_t Frame() const { return frame_; }
  void Advance() { ++frame_; }

  // Up: delay - 1, not below 1. Down: delay + 1. Enter: pause or resume. End: f = last - 1, so
  // the run ends after the current frame. Home, unless a restart is pending already: the same,
  // and a restart from frame 1.
  void Key(MovieKey key);
  // Ends the run at its next test: f = last, no restart, no pause.
  void Cancel();

  bool Paused() const { return paused_; }
  bool RestartPending() const { return restart_; }
  void ClearRestart() { restart_ = false; }
  int DelayMs() const { return delayMs_; }

 private:
  std::uint64_t run_ = 0;
  std::int32_t frame_ = 0, last_ = 0;
  bool paused_ = false, restart_ = false;
  int delayMs_ = kInitialDelayMs;
};

}  // namespace orvek

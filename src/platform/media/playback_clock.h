#pragma once

#include <mutex>

namespace lorvane {

// The presentation clock: media seconds that move at `speed` times real
// time from the last anchor. Real (monotonic) time, not the shared clock:
// sound plays in real time whatever a test does to the run loop's clock.
class PlaybackClock {
 public:
  static double realNow();

  double now() const;
  double speed() const;
  // Re-anchors: `media` now, moving at `speed` from here on.
  void set(double media, double speed);
  // Anchors at another real instant: `media` was (or will be) current at
  // `real`.
  void setAt(double media, double real, double speed);
  // Keeps the current position and changes the speed.
  void setSpeed(double speed);

 private:
  mutable std::mutex mutex_;
  double anchorMedia_ = 0;
  double anchorReal_ = 0;
  double speed_ = 0;
};

}  // namespace lorvane

#include "platform/media/playback_clock.h"

#include <chrono>

namespace lorvane {

double PlaybackClock::realNow() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double PlaybackClock::now() const {
  std::lock_guard lock(mutex_);
  return anchorMedia_ + (realNow() - anchorReal_) * speed_;
}

double PlaybackClock::speed() const {
  std::lock_guard lock(mutex_);
  return speed_;
}

void PlaybackClock::set(double media, double speed) {
  std::lock_guard lock(mutex_);
  anchorMedia_ = media;
  anchorReal_ = realNow();
  speed_ = speed;
}

void PlaybackClock::setAt(double media, double real, double speed) {
  std::lock_guard lock(mutex_);
  anchorMedia_ = media;
  anchorReal_ = real;
  speed_ = speed;
}

void PlaybackClock::setSpeed(double speed) {
  std::lock_guard lock(mutex_);
  const double real = realNow();
  anchorMedia_ += (real - anchorReal_) * speed_;
  anchorReal_ = real;
  speed_ = speed;
}

}  // namespace lorvane

#pragma once

#include <memory>
#include <mutex>

namespace lorvane {

// Seconds, as a double, like the platform's time intervals.
using TimeInterval = double;

// Where every timer, delay and animation reads time. The shared clock is
// real by default; tests install a ManualClock and move it by hand.
class Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic seconds from an arbitrary origin.
  virtual TimeInterval now() const = 0;
  // Wall-clock seconds since 1970-01-01 00:00:00 UTC.
  virtual TimeInterval wallNow() const = 0;

  static Clock& shared();
  // Installs a clock for the whole process. Clocks once installed stay
  // alive until exit, so a thread still holding the old one stays safe.
  static void setShared(std::shared_ptr<Clock> clock);
  // Puts the real clock back.
  static void resetShared();
};

class RealClock : public Clock {
 public:
  TimeInterval now() const override;
  TimeInterval wallNow() const override;
};

// A clock that moves only when told to. Wall time moves with it.
class ManualClock : public Clock {
 public:
  explicit ManualClock(TimeInterval start = 1000.0, TimeInterval wallStart = 1.7e9);
  TimeInterval now() const override;
  TimeInterval wallNow() const override;
  void advance(TimeInterval seconds);
  void setNow(TimeInterval seconds);

 private:
  mutable std::mutex mutex_;
  TimeInterval now_;
  TimeInterval wallOffset_;
};

// Installs a fresh ManualClock for the lifetime of the object (tests).
class ScopedManualClock {
 public:
  ScopedManualClock();
  ~ScopedManualClock();
  ScopedManualClock(const ScopedManualClock&) = delete;
  ScopedManualClock& operator=(const ScopedManualClock&) = delete;
  ManualClock& clock() { return *clock_; }

 private:
  std::shared_ptr<ManualClock> clock_;
};

}  // namespace lorvane

#include "platform/foundation/clock.h"

#include <atomic>
#include <chrono>
#include <vector>

namespace lorvane {
namespace {

struct ClockRegistry {
  std::mutex mutex;
  std::vector<std::shared_ptr<Clock>> installed;
  std::atomic<Clock*> current{nullptr};
};

ClockRegistry& registry() {
  static ClockRegistry* instance = [] {
    auto* r = new ClockRegistry();
    auto real = std::make_shared<RealClock>();
    r->installed.push_back(real);
    r->current.store(real.get());
    return r;
  }();
  return *instance;
}

}  // namespace

Clock& Clock::shared() {
  return *registry().current.load(std::memory_order_acquire);
}

void Clock::setShared(std::shared_ptr<Clock> clock) {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  r.current.store(clock.get(), std::memory_order_release);
  r.installed.push_back(std::move(clock));
}

void Clock::resetShared() {
  auto& r = registry();
  std::lock_guard lock(r.mutex);
  r.current.store(r.installed.front().get(), std::memory_order_release);
}

TimeInterval RealClock::now() const {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

TimeInterval RealClock::wallNow() const {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

ManualClock::ManualClock(TimeInterval start, TimeInterval wallStart)
    : now_(start), wallOffset_(wallStart - start) {}

TimeInterval ManualClock::now() const {
  std::lock_guard lock(mutex_);
  return now_;
}

TimeInterval ManualClock::wallNow() const {
  std::lock_guard lock(mutex_);
  return now_ + wallOffset_;
}

void ManualClock::advance(TimeInterval seconds) {
  std::lock_guard lock(mutex_);
  if (seconds > 0) now_ += seconds;
}

void ManualClock::setNow(TimeInterval seconds) {
  std::lock_guard lock(mutex_);
  if (seconds > now_) now_ = seconds;
}

ScopedManualClock::ScopedManualClock() : clock_(std::make_shared<ManualClock>()) {
  Clock::setShared(clock_);
}

ScopedManualClock::~ScopedManualClock() {
  Clock::resetShared();
}

}  // namespace lorvane

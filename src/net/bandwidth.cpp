#include "net/bandwidth.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <numeric>

#include "platform/foundation/clock.h"

namespace lorvane {

namespace {

struct BandwidthState {
  std::recursive_mutex mutex;  // the throttling lock
  std::uint64_t usedThisSecond = 0;
  double windowEnd = 0;
  std::deque<std::uint64_t> history;
  std::uint64_t average = 0;
  std::uint64_t maximum = 0;
  bool throttleWWAN = false;
  bool wwanOnly = false;
  std::uint64_t wwanLimit = Bandwidth::kWWANBandwidthLimit;
  double throttleWakeUpTime = 0;
};

// Mirrors "a limit is in force" for the per-read check.
std::atomic<bool> throttlingActive{false};

BandwidthState& state() {
  static BandwidthState* s = new BandwidthState();
  return *s;
}

// The limit in force, 0 for none.
std::uint64_t activeLimit(const BandwidthState& s) {
  if (s.throttleWWAN && s.wwanOnly) return s.wwanLimit;
  return s.maximum;
}

void updateActive(const BandwidthState& s) {
  throttlingActive.store(activeLimit(s) > 0);
}

}  // namespace

void Bandwidth::incrementBandwidthUsedInLastSecond(std::uint64_t bytes) {
  std::lock_guard lock(state().mutex);
  state().usedThisSecond += bytes;
}

void Bandwidth::recordBandwidthUsage() {
  BandwidthState& s = state();
  std::lock_guard lock(s.mutex);
  double now = Clock::shared().now();
  if (s.windowEnd == 0) {
    s.windowEnd = now + 1;
    return;
  }
  if (now < s.windowEnd) return;
  s.history.push_back(s.usedThisSecond);
  while (s.history.size() > 5) s.history.pop_front();
  s.average =
      std::accumulate(s.history.begin(), s.history.end(), std::uint64_t{0}) / s.history.size();
  s.usedThisSecond = 0;
  s.windowEnd = now + 1;
}

void Bandwidth::measureBandwidthUsage() {
  BandwidthState& s = state();
  std::lock_guard lock(s.mutex);
  double now = Clock::shared().now();
  if (s.windowEnd == 0 || now >= s.windowEnd) recordBandwidthUsage();
  std::uint64_t limit = activeLimit(s);
  if (limit > 0 && s.usedThisSecond > limit) {
    s.throttleWakeUpTime =
        s.windowEnd + static_cast<double>(s.usedThisSecond - limit) / static_cast<double>(limit);
  }
}

std::uint64_t Bandwidth::averageBandwidthUsedPerSecond() {
  std::lock_guard lock(state().mutex);
  return state().average;
}

std::uint64_t Bandwidth::maxBandwidthPerSecond() {
  std::lock_guard lock(state().mutex);
  return state().maximum;
}

void Bandwidth::setMaxBandwidthPerSecond(std::uint64_t bytes) {
  std::lock_guard lock(state().mutex);
  state().maximum = bytes;
  updateActive(state());
}

void Bandwidth::setShouldThrottleBandwidthForWWAN(bool throttle) {
  std::lock_guard lock(state().mutex);
  state().throttleWWAN = throttle;
  state().wwanLimit = kWWANBandwidthLimit;
  updateActive(state());
}

void Bandwidth::throttleBandwidthForWWANUsingLimit(std::uint64_t limit) {
  std::lock_guard lock(state().mutex);
  state().throttleWWAN = true;
  state().wwanLimit = limit;
  updateActive(state());
}

void Bandwidth::setReachableOnlyThroughWWAN(bool wwanOnly) {
  std::lock_guard lock(state().mutex);
  state().wwanOnly = wwanOnly;
  updateActive(state());
}

bool Bandwidth::isThrottlingActive() {
  return throttlingActive.load(std::memory_order_relaxed);
}

bool Bandwidth::isBandwidthThrottled() {
  BandwidthState& s = state();
  std::lock_guard lock(s.mutex);
  if (activeLimit(s) == 0) return false;
  measureBandwidthUsage();
  return Clock::shared().now() < s.throttleWakeUpTime;
}

std::size_t Bandwidth::maxReadLength(std::size_t wanted) {
  BandwidthState& s = state();
  std::lock_guard lock(s.mutex);
  std::uint64_t limit = activeLimit(s);
  if (limit == 0) return wanted;
  measureBandwidthUsage();
  std::uint64_t left = s.usedThisSecond >= limit ? 0 : limit - s.usedThisSecond;
  std::uint64_t quarter = left / 4;
  if (quarter == 0) return 1;
  return static_cast<std::size_t>(std::min<std::uint64_t>(quarter, wanted));
}

std::size_t Bandwidth::maxUploadReadLength() {
  return maxReadLength(16384 * 2);
}

void Bandwidth::reset() {
  BandwidthState& s = state();
  std::lock_guard lock(s.mutex);
  s.usedThisSecond = 0;
  s.windowEnd = 0;
  s.history.clear();
  s.average = 0;
  s.maximum = 0;
  s.throttleWWAN = false;
  s.wwanOnly = false;
  s.wwanLimit = kWWANBandwidthLimit;
  s.throttleWakeUpTime = 0;
  updateActive(s);
}

}  // namespace lorvane

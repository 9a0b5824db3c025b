#pragma once

#include <cstddef>
#include <cstdint>

namespace lorvane {

// Class-wide accounting of the bytes every request moves, in one-second
// windows, with optional throttling to a maximum per second.
class Bandwidth {
 public:
  // The limit used for WWAN throttling.
  static constexpr std::uint64_t kWWANBandwidthLimit = 14800;

  // Adds bytes received (or acknowledged as sent) to the current window.
  static void incrementBandwidthUsedInLastSecond(std::uint64_t bytes);
  // Closes the window when it has ended and sets up throttling.
  static void measureBandwidthUsage();
  static void recordBandwidthUsage();

  static std::uint64_t averageBandwidthUsedPerSecond();
  static std::uint64_t maxBandwidthPerSecond();
  static void setMaxBandwidthPerSecond(std::uint64_t bytes);

  // WWAN throttling: there is no cellular link to watch here, so the limit
  // applies only while `setReachableOnlyThroughWWAN(true)` says so.
  static void setShouldThrottleBandwidthForWWAN(bool throttle);
  static void throttleBandwidthForWWANUsingLimit(std::uint64_t limit);
  static void setReachableOnlyThroughWWAN(bool wwanOnly);

  // Whether any limit is set at all (cheap: no lock).
  static bool isThrottlingActive();
  // Whether reads must wait now.
  static bool isBandwidthThrottled();
  // How many bytes a read may take now (at least 1), or `wanted` when not
  // throttling.
  static std::size_t maxReadLength(std::size_t wanted);
  static std::size_t maxUploadReadLength();

  // Back to a fresh state (tests).
  static void reset();
};

}  // namespace lorvane

#include "platform/media/media_time.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace lorvane {

MediaTime MediaTime::make(std::int64_t value, std::int32_t timescale) {
  if (timescale <= 0) return invalid();
  return {value, timescale, kFlagValid};
}

MediaTime MediaTime::makeWithSeconds(double seconds, std::int32_t preferredTimescale) {
  if (!std::isfinite(seconds) || preferredTimescale <= 0) return invalid();
  const double ticks = std::round(seconds * preferredTimescale);
  // Ticks beyond the 64-bit range cannot be counted; such a time is invalid
  // rather than silently wrapped.
  if (std::fabs(ticks) >= 9.2e18) return invalid();
  return make(static_cast<std::int64_t>(ticks), preferredTimescale);
}

double MediaTime::seconds() const {
  if (!isNumeric()) return std::numeric_limits<double>::quiet_NaN();
  return static_cast<double>(value) / timescale;
}

std::string MediaTime::description() const {
  if (!isValid()) return "invalid";
  if (isIndefinite()) return "indefinite";
  char text[64];
  std::snprintf(text, sizeof text, "%lld/%d = %.3f", static_cast<long long>(value), timescale,
                seconds());
  return text;
}

int compare(const MediaTime& a, const MediaTime& b) {
  if (!a.isNumeric() || !b.isNumeric()) {
    // Non-numeric times order after every numeric one, invalid last.
    auto rank = [](const MediaTime& t) { return t.isNumeric() ? 0 : t.isValid() ? 1 : 2; };
    return rank(a) < rank(b) ? -1 : rank(a) > rank(b) ? 1 : 0;
  }
  // Cross-multiplied in 128 bits so that no timescale pair overflows.
  const __int128 left = static_cast<__int128>(a.value) * b.timescale;
  const __int128 right = static_cast<__int128>(b.value) * a.timescale;
  return left < right ? -1 : left > right ? 1 : 0;
}

bool operator==(const MediaTime& a, const MediaTime& b) {
  if (!a.isNumeric() || !b.isNumeric()) return a.flags == b.flags && a.isValid() == b.isValid();
  return compare(a, b) == 0;
}

TimeRange TimeRange::fromSeconds(double start, double duration) {
  return {MediaTime::makeWithSeconds(start, 1000000),
          MediaTime::makeWithSeconds(duration, 1000000)};
}

}  // namespace lorvane

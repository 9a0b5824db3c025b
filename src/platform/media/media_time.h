#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lorvane {

// A time value as the platform's media clock counts it: a signed tick count
// over a timescale (ticks per second), with validity flags.
struct MediaTime {
  static constexpr std::uint32_t kFlagValid = 1u << 0;
  static constexpr std::uint32_t kFlagPositiveInfinity = 1u << 2;
  static constexpr std::uint32_t kFlagIndefinite = 1u << 4;

  std::int64_t value = 0;
  std::int32_t timescale = 0;
  std::uint32_t flags = 0;

  static MediaTime make(std::int64_t value, std::int32_t timescale);
  // Rounds to the nearest tick; a non-finite number gives the invalid time,
  // a timescale of 0 or less gives the invalid time too.
  static MediaTime makeWithSeconds(double seconds, std::int32_t preferredTimescale);
  static MediaTime zero() { return make(0, 1); }
  static MediaTime invalid() { return {}; }
  static MediaTime indefinite() { return {0, 0, kFlagValid | kFlagIndefinite}; }

  bool isValid() const { return (flags & kFlagValid) != 0; }
  bool isIndefinite() const { return isValid() && (flags & kFlagIndefinite) != 0; }
  bool isNumeric() const {
    return isValid() && (flags & (kFlagIndefinite | kFlagPositiveInfinity)) == 0 && timescale > 0;
  }
  // Seconds as a double: NaN for the invalid or indefinite time.
  double seconds() const;

  std::string description() const;
};

// CMTimeGetSeconds / CMTimeMakeWithSeconds under their platform names.
inline double MediaTimeGetSeconds(const MediaTime& time) {
  return time.seconds();
}
inline MediaTime MediaTimeMakeWithSeconds(double seconds, std::int32_t timescale) {
  return MediaTime::makeWithSeconds(seconds, timescale);
}

// Numeric times compare by their value in seconds (exactly, across
// timescales); the invalid time equals only itself.
bool operator==(const MediaTime& a, const MediaTime& b);
int compare(const MediaTime& a, const MediaTime& b);

// A stretch of media time, as the item's loaded ranges list them.
struct TimeRange {
  MediaTime start;
  MediaTime duration;

  static TimeRange fromSeconds(double start, double duration);
  double startSeconds() const { return start.seconds(); }
  double endSeconds() const { return start.seconds() + duration.seconds(); }
  bool operator==(const TimeRange& other) const = default;
};

using TimeRanges = std::vector<TimeRange>;

}  // namespace lorvane

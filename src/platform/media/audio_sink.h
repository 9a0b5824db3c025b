#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace lorvane {

// Where a player's sound goes: interleaved float stereo at 48 kHz, pulled in
// real time from a thread of the sink's own.
class AudioSink {
 public:
  // `heardAt` is when the first of the frames reaches the ear, in
  // PlaybackClock::realNow() seconds; it may lie in the past when a late
  // sink catches up.
  using Pull = std::function<void(float* samples, std::size_t frames, double heardAt)>;
  static constexpr int kSampleRate = 48000;
  static constexpr int kChannels = 2;

  virtual ~AudioSink() = default;
  // Seconds between a pull and the moment its first sample is heard.
  virtual double latency() const = 0;
  virtual std::string name() const = 0;

  // An SDL audio device when one can be opened; otherwise a sink that pulls
  // at the pace of the real clock, so that playback time still moves
  // (headless machines, the "dummy" and "disk" drivers).
  static std::unique_ptr<AudioSink> open(Pull pull);
  static std::unique_ptr<AudioSink> openClockDriven(Pull pull);
};

}  // namespace lorvane

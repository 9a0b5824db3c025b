#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/media/media_time.h"

namespace lorvane {

using PeriodicTimeCallback = std::function<void(const MediaTime&)>;
using TimeObserverToken = std::uint64_t;

// The periodic time observers of one player. The player reports its media
// time as it moves; each observer is called on the main run loop whenever
// the time crosses a multiple of its interval, and once more whenever the
// time jumps or playback starts or stops.
class PeriodicTimeObservers {
 public:
  PeriodicTimeObservers();
  ~PeriodicTimeObservers();
  PeriodicTimeObservers(const PeriodicTimeObservers&) = delete;
  PeriodicTimeObservers& operator=(const PeriodicTimeObservers&) = delete;

  // An interval that is not a positive number cannot pace anything: the
  // registration is refused with token 0.
  TimeObserverToken add(const MediaTime& interval, PeriodicTimeCallback callback);
  // Returns whether the token was registered. A removed observer receives
  // none of its queued calls.
  bool remove(TimeObserverToken token);
  void removeAll();
  std::size_t count() const;

  // From any thread: the media time moved to `seconds` during playback.
  void timeAdvanced(double seconds);
  // From any thread: the time jumped, or playback started or stopped; every
  // observer is called with `seconds`.
  void timeJumped(double seconds);

 private:
  struct Entry {
    TimeObserverToken token;
    double interval;
    std::int64_t lastPeriod;
    std::shared_ptr<PeriodicTimeCallback> callback;
  };
  struct State {
    mutable std::mutex mutex;
    std::vector<Entry> entries;
    TimeObserverToken nextToken = 1;
  };
  void fire(TimeObserverToken token, std::shared_ptr<PeriodicTimeCallback> callback,
            double seconds);

  std::shared_ptr<State> state_;
};

}  // namespace lorvane

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "platform/media/media_time.h"

namespace lorvane {

// The new value a change report carries: a status as an integer, a flag, a
// rate, or a list of time ranges.
using ObservedValue = std::variant<std::monostate, bool, std::int64_t, double, TimeRanges>;

// One key-value change report: which object, which key, and the new value.
struct KeyValueChange {
  const void* object = nullptr;
  std::string key;
  ObservedValue newValue;

  bool boolValue() const;
  std::int64_t integerValue() const;
  double doubleValue() const;
  const TimeRanges& timeRangesValue() const;
};

using KeyValueObserver = std::function<void(const KeyValueChange&)>;
using ObservationToken = std::uint64_t;

// The observers of one object's keys. Reports are delivered on the main run
// loop; an observer removed before a queued report runs never sees it, and
// the registry may die with reports still queued.
class ObservationRegistry {
 public:
  explicit ObservationRegistry(const void* object);
  ~ObservationRegistry();
  ObservationRegistry(const ObservationRegistry&) = delete;
  ObservationRegistry& operator=(const ObservationRegistry&) = delete;

  ObservationToken add(std::string key, KeyValueObserver observer);
  void remove(ObservationToken token);
  void removeAll();
  std::size_t count() const;
  std::size_t count(const std::string& key) const;

  // Calls the observers of the key now; main thread only.
  void deliver(const std::string& key, const ObservedValue& value) const;
  // Queues `apply` and then the report on the main run loop, from any
  // thread. `apply` runs first so that readers inside the observers already
  // see the new value; it is skipped with the report when the registry is
  // gone.
  void post(std::string key, ObservedValue value, std::function<void()> apply = {});

 private:
  struct Entry {
    ObservationToken token;
    std::string key;
    std::shared_ptr<KeyValueObserver> observer;
  };
  struct State {
    const void* object;
    mutable std::mutex mutex;
    std::vector<Entry> entries;
    ObservationToken nextToken = 1;
    bool alive = true;
  };
  static void deliver(const State& state, const std::string& key, const ObservedValue& value);

  std::shared_ptr<State> state_;
};

}  // namespace lorvane

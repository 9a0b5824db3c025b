#include "platform/media/periodic_time_observers.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/run_loop.h"

namespace lorvane {

namespace {
constexpr std::int32_t kReportTimescale = 1000000000;

std::int64_t periodOf(double seconds, double interval) {
  return static_cast<std::int64_t>(std::floor(seconds / interval));
}
}  // namespace

PeriodicTimeObservers::PeriodicTimeObservers() : state_(std::make_shared<State>()) {}

PeriodicTimeObservers::~PeriodicTimeObservers() {
  removeAll();
}

TimeObserverToken PeriodicTimeObservers::add(const MediaTime& interval,
                                             PeriodicTimeCallback callback) {
  const double seconds = interval.seconds();
  if (!std::isfinite(seconds) || seconds <= 0 || !callback) return 0;
  std::lock_guard lock(state_->mutex);
  TimeObserverToken token = state_->nextToken++;
  state_->entries.push_back(
      {token, seconds, INT64_MIN, std::make_shared<PeriodicTimeCallback>(std::move(callback))});
  return token;
}

bool PeriodicTimeObservers::remove(TimeObserverToken token) {
  std::lock_guard lock(state_->mutex);
  return std::erase_if(state_->entries, [&](const Entry& e) { return e.token == token; }) > 0;
}

void PeriodicTimeObservers::removeAll() {
  std::lock_guard lock(state_->mutex);
  state_->entries.clear();
}

std::size_t PeriodicTimeObservers::count() const {
  std::lock_guard lock(state_->mutex);
  return state_->entries.size();
}

void PeriodicTimeObservers::timeAdvanced(double seconds) {
  if (!std::isfinite(seconds)) return;
  std::vector<std::pair<TimeObserverToken, std::shared_ptr<PeriodicTimeCallback>>> due;
  {
    std::lock_guard lock(state_->mutex);
    for (auto& e : state_->entries) {
      const std::int64_t period = periodOf(seconds, e.interval);
      if (period != e.lastPeriod) {
        e.lastPeriod = period;
        due.emplace_back(e.token, e.callback);
      }
    }
  }
  for (auto& [token, callback] : due) fire(token, callback, seconds);
}

void PeriodicTimeObservers::timeJumped(double seconds) {
  if (!std::isfinite(seconds)) return;
  std::vector<std::pair<TimeObserverToken, std::shared_ptr<PeriodicTimeCallback>>> due;
  {
    std::lock_guard lock(state_->mutex);
    for (auto& e : state_->entries) {
      e.lastPeriod = periodOf(seconds, e.interval);
      due.emplace_back(e.token, e.callback);
    }
  }
  for (auto& [token, callback] : due) fire(token, callback, seconds);
}

void PeriodicTimeObservers::fire(TimeObserverToken token,
                                 std::shared_ptr<PeriodicTimeCallback> callback, double seconds) {
  std::weak_ptr<State> weak = state_;
  RunLoop::main().post([weak, token, callback = std::move(callback), seconds] {
    auto state = weak.lock();
    if (!state) return;
    {
      std::lock_guard lock(state->mutex);
      bool registered = std::any_of(state->entries.begin(), state->entries.end(),
                                    [&](const Entry& e) { return e.token == token; });
      if (!registered) return;
    }
    (*callback)(MediaTime::makeWithSeconds(seconds, kReportTimescale));
  });
}

}  // namespace lorvane

#include "platform/media/key_value_observing.h"

#include <algorithm>

#include "platform/foundation/run_loop.h"

namespace lorvane {

bool KeyValueChange::boolValue() const {
  if (auto* b = std::get_if<bool>(&newValue)) return *b;
  if (auto* i = std::get_if<std::int64_t>(&newValue)) return *i != 0;
  if (auto* d = std::get_if<double>(&newValue)) return *d != 0.0;
  return false;
}

std::int64_t KeyValueChange::integerValue() const {
  if (auto* i = std::get_if<std::int64_t>(&newValue)) return *i;
  if (auto* b = std::get_if<bool>(&newValue)) return *b ? 1 : 0;
  if (auto* d = std::get_if<double>(&newValue)) return static_cast<std::int64_t>(*d);
  return 0;
}

double KeyValueChange::doubleValue() const {
  if (auto* d = std::get_if<double>(&newValue)) return *d;
  if (auto* i = std::get_if<std::int64_t>(&newValue)) return static_cast<double>(*i);
  if (auto* b = std::get_if<bool>(&newValue)) return *b ? 1.0 : 0.0;
  return 0.0;
}

const TimeRanges& KeyValueChange::timeRangesValue() const {
  static const TimeRanges kNone;
  if (auto* ranges = std::get_if<TimeRanges>(&newValue)) return *ranges;
  return kNone;
}

ObservationRegistry::ObservationRegistry(const void* object) : state_(std::make_shared<State>()) {
  state_->object = object;
}

ObservationRegistry::~ObservationRegistry() {
  std::lock_guard lock(state_->mutex);
  state_->alive = false;
  state_->entries.clear();
}

ObservationToken ObservationRegistry::add(std::string key, KeyValueObserver observer) {
  std::lock_guard lock(state_->mutex);
  ObservationToken token = state_->nextToken++;
  state_->entries.push_back(
      {token, std::move(key), std::make_shared<KeyValueObserver>(std::move(observer))});
  return token;
}

void ObservationRegistry::remove(ObservationToken token) {
  std::lock_guard lock(state_->mutex);
  std::erase_if(state_->entries, [&](const Entry& e) { return e.token == token; });
}

void ObservationRegistry::removeAll() {
  std::lock_guard lock(state_->mutex);
  state_->entries.clear();
}

std::size_t ObservationRegistry::count() const {
  std::lock_guard lock(state_->mutex);
  return state_->entries.size();
}

std::size_t ObservationRegistry::count(const std::string& key) const {
  std::lock_guard lock(state_->mutex);
  return static_cast<std::size_t>(std::count_if(state_->entries.begin(), state_->entries.end(),
                                                [&](const Entry& e) { return e.key == key; }));
}

void ObservationRegistry::deliver(const std::string& key, const ObservedValue& value) const {
  deliver(*state_, key, value);
}

void ObservationRegistry::deliver(const State& state, const std::string& key,
                                  const ObservedValue& value) {
  std::vector<std::pair<ObservationToken, std::shared_ptr<KeyValueObserver>>> targets;
  {
    std::lock_guard lock(state.mutex);
    for (const auto& e : state.entries) {
      if (e.key == key) targets.emplace_back(e.token, e.observer);
    }
  }
  const KeyValueChange change{state.object, key, value};
  for (auto& target : targets) {
    const ObservationToken token = target.first;
    // An observer removed by an earlier one during this report is skipped.
    bool stillThere;
    {
      std::lock_guard lock(state.mutex);
      stillThere = std::any_of(state.entries.begin(), state.entries.end(),
                               [&](const Entry& e) { return e.token == token; });
    }
    if (stillThere) (*target.second)(change);
  }
}

void ObservationRegistry::post(std::string key, ObservedValue value, std::function<void()> apply) {
  std::weak_ptr<State> weak = state_;
  RunLoop::main().post(
      [weak, key = std::move(key), value = std::move(value), apply = std::move(apply)] {
        auto state = weak.lock();
        if (!state) return;
        {
          std::lock_guard lock(state->mutex);
          if (!state->alive) return;
        }
        if (apply) apply();
        deliver(*state, key, value);
      });
}

}  // namespace lorvane

#include "player/seek_queue.h"

#include <cmath>
#include <limits>
#include <optional>

namespace lorvane {

struct SeekQueue::State {
  SettledHandler settled;
  std::weak_ptr<PlayerInterface> player;
  bool inFlight = false;
  std::optional<MediaTime> waiting;
  MediaTime latest = MediaTime::invalid();
  // Completions of seeks made before a reset carry an older generation.
  std::uint64_t generation = 0;
  std::size_t issued = 0;
};

SeekQueue::SeekQueue() : state_(std::make_shared<State>()) {}

SeekQueue::~SeekQueue() {
  // Completions hold the state weakly: once we are gone they do nothing.
  state_->settled = nullptr;
}

void SeekQueue::setSettledHandler(SettledHandler handler) {
  state_->settled = std::move(handler);
}

void SeekQueue::seekTo(const PlayerPtr& player, const MediaTime& time) {
  if (!player) return;
  State& s = *state_;
  if (s.inFlight) {
    if (s.player.lock() == player) {
      s.latest = time;
      s.waiting = time;
      return;
    }
    reset();  // another player's seek says nothing about this one
  }
  s.latest = time;
  issue(state_, player, time);
}

void SeekQueue::issue(const std::shared_ptr<State>& state, const PlayerPtr& player,
                      const MediaTime& time) {
  state->player = player;
  state->inFlight = true;
  state->waiting.reset();
  state->issued++;
  std::weak_ptr<State> weak = state;
  const std::uint64_t generation = state->generation;
  // Finished or overtaken, the seek is over either way; what matters is
  // what is still to be sought.
  player->seekToTime(time, [weak, generation](bool) {
    auto s = weak.lock();
    if (!s || s->generation != generation) return;
    completed(s);
  });
}

void SeekQueue::completed(const std::shared_ptr<State>& state) {
  state->inFlight = false;
  if (state->waiting) {
    if (PlayerPtr player = state->player.lock()) {
      issue(state, player, *state->waiting);
      return;
    }
    state->waiting.reset();
  }
  state->latest = MediaTime::invalid();
  if (state->settled) {
    SettledHandler handler = state->settled;  // it may replace itself
    handler();
  }
}

void SeekQueue::reset() {
  State& s = *state_;
  s.generation++;
  s.inFlight = false;
  s.waiting.reset();
  s.latest = MediaTime::invalid();
  s.player.reset();
}

bool SeekQueue::isBusy() const {
  return state_->inFlight || state_->waiting.has_value();
}

double SeekQueue::latestTargetSeconds() const {
  return isBusy() ? state_->latest.seconds() : std::numeric_limits<double>::quiet_NaN();
}

std::size_t SeekQueue::issuedCount() const {
  return state_->issued;
}

}  // namespace lorvane

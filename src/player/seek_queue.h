#pragma once

#include <functional>
#include <memory>

#include "platform/media/player_interface.h"

namespace lorvane {

// Seeks a player one request at a time, the way good desktop players
// follow a finger: while a seek is in flight, newer targets wait, and only
// the latest of them is sought once it completes. When nothing is left to
// seek, the settled handler runs. Main thread only.
class SeekQueue {
 public:
  using SettledHandler = std::function<void()>;

  SeekQueue();
  ~SeekQueue();
  SeekQueue(const SeekQueue&) = delete;
  SeekQueue& operator=(const SeekQueue&) = delete;

  void setSettledHandler(SettledHandler handler);

  // Seeks `player` to `time` now, or after the seek in flight.
  void seekTo(const PlayerPtr& player, const MediaTime& time);
  // Forgets the seeks in flight and waiting (a new item, no player): their
  // completions no longer count and nothing settles.
  void reset();

  // A seek is in flight or waiting.
  bool isBusy() const;
  // The target asked for last, in seconds, while busy; NaN otherwise.
  double latestTargetSeconds() const;
  // How many seeks reached the player since the queue was made.
  std::size_t issuedCount() const;

 private:
  struct State;
  static void issue(const std::shared_ptr<State>& state, const PlayerPtr& player,
                    const MediaTime& time);
  static void completed(const std::shared_ptr<State>& state);

  std::shared_ptr<State> state_;
};

}  // namespace lorvane

#pragma once

#include <functional>
#include <memory>

#include "platform/foundation/clock.h"

namespace lorvane {

class NetworkTimer;

// The one thread that does every request's network work. It runs its own
// event loop, is created on first use and never ends.
class NetworkThread {
 public:
  using Task = std::function<void()>;

  static NetworkThread& shared();

  // Queues a task for the network thread; safe from any thread.
  void post(Task task);
  // Runs the task at once when already on the network thread, else posts it.
  void dispatch(Task task);
  bool isCurrentThread() const;

  // A timer on the network thread's loop. It fires `interval` real seconds
  // apart until invalidated (once, unless it repeats).
  std::shared_ptr<NetworkTimer> scheduleTimer(TimeInterval interval, bool repeats, Task task);
  // A check that runs every `kStatusCheckInterval` seconds until
  // invalidated. All checks share one timer on the loop, so adding and
  // removing one per request costs no timer set-up of its own.
  std::shared_ptr<NetworkTimer> scheduleStatusCheck(Task task);
  static constexpr TimeInterval kStatusCheckInterval = 0.25;

  // The event loop, for the stream layer (an asio::io_context).
  void* nativeLoop();

 private:
  NetworkThread();
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class NetworkTimer {
 public:
  virtual ~NetworkTimer() = default;
  virtual void invalidate() = 0;
  virtual bool isValid() const = 0;
};

}  // namespace lorvane

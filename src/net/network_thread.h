#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/foundation/clock.h"

namespace lorvane {

class NetworkTimer;

// The one thread that does every request's network work. It runs its own
// event loop, is created on first use and runs until shutdown().
class NetworkThread {
 public:
  using Task = std::function<void()>;

  static NetworkThread& shared();

  // Queues a task for the network thread; safe from any thread. Answers
  // false, dropping the task, once the thread is shut down.
  bool post(Task task);
  // Runs the task at once when already on the network thread, else posts it.
  bool dispatch(Task task);
  bool isCurrentThread() const;

  // Ends the thread for good, for the program's exit: tasks posted before
  // the call still run (so cancellations already asked for take effect),
  // then the loop stops, what is still pending is dropped and the thread is
  // joined. Shutdown handlers then run on the calling thread: every HTTP
  // request still running ends there as cancelled. Later posts fail.
  // Calling it again does nothing; never call it on the network thread
  // itself.
  void shutdown();
  bool isShutDown() const;

  // Work that must not be left hanging when the loop stops (a running
  // request, a caller blocked on an exchange): runs at shutdown unless
  // withdrawn first.
  // Answers a token for removeShutdownHandler; 0 when already shut down.
  std::uint64_t addShutdownHandler(Task handler);
  void removeShutdownHandler(std::uint64_t token);

  // A timer on the network thread's loop. It fires `interval` real seconds
  // apart until invalidated (once, unless it repeats).
  std::shared_ptr<NetworkTimer> scheduleTimer(TimeInterval interval, bool repeats, Task task);
  // A check that runs every `kStatusCheckInterval` seconds until
  // invalidated. All checks share one timer on the loop, so adding and
  // removing one per request costs no timer set-up of its own.
  std::shared_ptr<NetworkTimer> scheduleStatusCheck(Task task);
  static constexpr TimeInterval kStatusCheckInterval = 0.25;

  // Said on the network thread by work that expects more very soon: a
  // request just sent (a nearby server answers within microseconds) or just
  // ended (callers often start the next one at once). Before it next
  // sleeps, the thread keeps looking for work for up to kLingerForWork
  // seconds, yielding the processor all the while. Waking a sleeping thread
  // costs a system call on the posting side and, on machines whose idle
  // processors are slow to wake, tens of microseconds more; lingering is
  // paid at most once per event that asks for it. Does nothing elsewhere.
  void expectWorkSoon();
  static constexpr TimeInterval kLingerForWork = 0.0002;

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

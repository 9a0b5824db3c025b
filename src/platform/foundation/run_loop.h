#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/foundation/clock.h"

namespace lorvane {

class RunLoop;

// A scheduled call on the main run loop, once or repeating.
class Timer : public std::enable_shared_from_this<Timer> {
 public:
  using Callback = std::function<void(Timer&)>;

  // Schedules on the main run loop; the loop keeps the timer alive until it
  // is invalidated (or has fired, for a one-shot timer).
  static std::shared_ptr<Timer> scheduledTimer(TimeInterval interval, bool repeats,
                                               Callback callback);

  void invalidate();
  bool isValid() const;
  TimeInterval timeInterval() const { return interval_; }
  TimeInterval fireDate() const;
  bool repeats() const { return repeats_; }

  Timer(TimeInterval interval, bool repeats, Callback callback);

 private:
  friend class RunLoop;
  TimeInterval interval_;
  bool repeats_;
  Callback callback_;
  RunLoop* loop_ = nullptr;
  std::uint64_t key_ = 0;  // position in the loop's schedule, 0 when not scheduled
  TimeInterval fireDate_ = 0;
};

// The main thread's event loop: posted tasks, timers and delayed calls, all
// timed by Clock::shared().
class RunLoop {
 public:
  using Task = std::function<void()>;

  // The loop of the main thread. The first thread to ask becomes the main
  // thread, unless bindToCurrentThread() says otherwise.
  static RunLoop& main();

  RunLoop();
  ~RunLoop();
  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  void bindToCurrentThread();
  bool isCurrentThread() const;

  // Queues a task; safe from any thread.
  void post(Task task);

  void addTimer(const std::shared_ptr<Timer>& timer);

  // performSelector:withObject:afterDelay: and its cancellation, keyed by
  // target, operation name and argument.
  void performAfterDelay(const void* target, std::string operation, const void* argument,
                         TimeInterval delay, Task task);
  void cancelPreviousPerformRequests(const void* target, const std::string& operation,
                                     const void* argument);
  void cancelPreviousPerformRequests(const void* target);
  bool hasPendingPerformRequest(const void* target, const std::string& operation) const;

  // Runs posted tasks and due timers until none is left; never waits.
  // Returns how many ran.
  std::size_t runUntilIdle();
  // With a ManualClock installed: moves the clock forward, firing every timer
  // at its own due time, in order.
  void advance(TimeInterval seconds);
  // Runs what is due, then waits up to maxWait real seconds for more work.
  void runOnce(TimeInterval maxWait);
  // Runs until predicate() holds or timeout real seconds pass; returns
  // whether it holds. For tests that wait on other threads.
  bool runUntil(const std::function<bool()>& predicate, TimeInterval timeout = 5.0);
  // Runs until stop().
  void run();
  void stop();
  void wake();

  // The time the next timer is due, or a negative number when none is.
  TimeInterval nextTimerDate() const;
  std::size_t pendingTimerCount() const;

 private:
  friend class Timer;
  struct DelayedCall {
    const void* target;
    std::string operation;
    const void* argument;
    std::shared_ptr<Timer> timer;
  };

  void schedule(const std::shared_ptr<Timer>& timer, TimeInterval fireDate);
  void unschedule(Timer& timer);
  bool runOneDueTimer();
  std::size_t drainPosted();

  mutable std::mutex mutex_;
  std::condition_variable wakeup_;
  std::deque<Task> posted_;
  // Ordered by fire date, then by the order of scheduling.
  std::map<std::pair<TimeInterval, std::uint64_t>, std::shared_ptr<Timer>> timers_;
  std::uint64_t nextKey_ = 1;
  std::deque<DelayedCall> delayed_;
  std::thread::id thread_;
  bool stopped_ = false;
};

inline bool isMainThread() {
  return RunLoop::main().isCurrentThread();
}

// Runs the task on the main thread: at once when already there, else posted.
void performOnMainThread(RunLoop::Task task, bool waitUntilDone = false);

}  // namespace lorvane

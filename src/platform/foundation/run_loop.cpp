#include "platform/foundation/run_loop.h"

#include <algorithm>
#include <future>

#include "platform/foundation/error.h"

namespace lorvane {

namespace {
// The platform clamps repeating timers to a tenth of a millisecond so that a
// zero interval cannot spin the loop.
constexpr TimeInterval kMinimumRepeatInterval = 0.0001;
}  // namespace

Timer::Timer(TimeInterval interval, bool repeats, Callback callback)
    : interval_(std::max(0.0, interval)), repeats_(repeats), callback_(std::move(callback)) {
  if (repeats_) interval_ = std::max(interval_, kMinimumRepeatInterval);
}

std::shared_ptr<Timer> Timer::scheduledTimer(TimeInterval interval, bool repeats,
                                             Callback callback) {
  auto timer = std::make_shared<Timer>(interval, repeats, std::move(callback));
  RunLoop::main().addTimer(timer);
  return timer;
}

void Timer::invalidate() {
  RunLoop* loop = loop_;
  if (loop) loop->unschedule(*this);
}

bool Timer::isValid() const {
  RunLoop* loop = loop_;
  if (!loop) return false;
  std::lock_guard lock(loop->mutex_);
  return key_ != 0;
}

TimeInterval Timer::fireDate() const {
  RunLoop* loop = loop_;
  if (!loop) return fireDate_;
  std::lock_guard lock(loop->mutex_);
  return fireDate_;
}

RunLoop& RunLoop::main() {
  static RunLoop* loop = new RunLoop();  // lives for the whole process
  return *loop;
}

RunLoop::RunLoop() : thread_(std::this_thread::get_id()) {}

RunLoop::~RunLoop() {
  std::lock_guard lock(mutex_);
  for (auto& [key, timer] : timers_) timer->key_ = 0;
}

void RunLoop::bindToCurrentThread() {
  std::lock_guard lock(mutex_);
  thread_ = std::this_thread::get_id();
}

bool RunLoop::isCurrentThread() const {
  std::lock_guard lock(mutex_);
  return thread_ == std::this_thread::get_id();
}

void RunLoop::post(Task task) {
  {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(task));
  }
  wakeup_.notify_all();
}

void RunLoop::addTimer(const std::shared_ptr<Timer>& timer) {
  schedule(timer, Clock::shared().now() + timer->interval_);
}

void RunLoop::schedule(const std::shared_ptr<Timer>& timer, TimeInterval fireDate) {
  {
    std::lock_guard lock(mutex_);
    if (timer->key_ != 0) timers_.erase({timer->fireDate_, timer->key_});
    timer->loop_ = this;
    timer->key_ = nextKey_++;
    timer->fireDate_ = fireDate;
    timers_.emplace(std::make_pair(fireDate, timer->key_), timer);
  }
  wakeup_.notify_all();
}

void RunLoop::unschedule(Timer& timer) {
  std::shared_ptr<Timer> keep;  // released outside the lock
  std::lock_guard lock(mutex_);
  if (timer.key_ == 0) return;
  auto it = timers_.find({timer.fireDate_, timer.key_});
  if (it != timers_.end()) {
    keep = std::move(it->second);
    timers_.erase(it);
  }
  timer.key_ = 0;
}

void RunLoop::performAfterDelay(const void* target, std::string operation, const void* argument,
                                TimeInterval delay, Task task) {
  auto timer = std::make_shared<Timer>(delay, false, [task = std::move(task)](Timer&) { task(); });
  {
    std::lock_guard lock(mutex_);
    delayed_.push_back({target, std::move(operation), argument, timer});
  }
  addTimer(timer);
}

void RunLoop::cancelPreviousPerformRequests(const void* target, const std::string& operation,
                                            const void* argument) {
  std::vector<std::shared_ptr<Timer>> cancelled;
  {
    std::lock_guard lock(mutex_);
    auto matches = [&](const DelayedCall& call) {
      return call.target == target && call.operation == operation && call.argument == argument;
    };
    for (auto& call : delayed_) {
      if (matches(call)) cancelled.push_back(call.timer);
    }
    std::erase_if(delayed_, matches);
  }
  for (auto& timer : cancelled) timer->invalidate();
}

void RunLoop::cancelPreviousPerformRequests(const void* target) {
  std::vector<std::shared_ptr<Timer>> cancelled;
  {
    std::lock_guard lock(mutex_);
    for (auto& call : delayed_) {
      if (call.target == target) cancelled.push_back(call.timer);
    }
    std::erase_if(delayed_, [&](const DelayedCall& call) { return call.target == target; });
  }
  for (auto& timer : cancelled) timer->invalidate();
}

bool RunLoop::hasPendingPerformRequest(const void* target, const std::string& operation) const {
  std::lock_guard lock(mutex_);
  return std::any_of(delayed_.begin(), delayed_.end(), [&](const DelayedCall& call) {
    return call.target == target && call.operation == operation && call.timer->key_ != 0;
  });
}

std::size_t RunLoop::drainPosted() {
  std::deque<Task> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(posted_);
  }
  for (auto& task : batch) task();
  return batch.size();
}

bool RunLoop::runOneDueTimer() {
  std::shared_ptr<Timer> timer;
  TimeInterval now = Clock::shared().now();
  {
    std::lock_guard lock(mutex_);
    if (timers_.empty() || timers_.begin()->first.first > now) return false;
    auto it = timers_.begin();
    timer = std::move(it->second);
    timers_.erase(it);
    timer->key_ = 0;
    if (!timer->repeats_) {
      std::erase_if(delayed_, [&](const DelayedCall& call) { return call.timer == timer; });
    }
  }
  if (timer->repeats_) {
    // The next fire keeps the original cadence but never lands in the past.
    TimeInterval next = timer->fireDate_ + timer->interval_;
    if (next <= now) next = now + timer->interval_;
    schedule(timer, next);
  }
  if (timer->callback_) timer->callback_(*timer);
  return true;
}

std::size_t RunLoop::runUntilIdle() {
  std::size_t count = 0;
  for (;;) {
    std::size_t ran = drainPosted();
    while (runOneDueTimer()) {
      ++ran;
      ran += drainPosted();
    }
    if (ran == 0) return count;
    count += ran;
  }
}

void RunLoop::advance(TimeInterval seconds) {
  auto* manual = dynamic_cast<ManualClock*>(&Clock::shared());
  if (!manual) {
    throw Exception("NSInternalInconsistencyException",
                    "RunLoop::advance needs a ManualClock installed");
  }
  const TimeInterval target = manual->now() + std::max(0.0, seconds);
  runUntilIdle();
  for (;;) {
    TimeInterval next = nextTimerDate();
    if (next < 0 || next > target) break;
    manual->setNow(next);
    runUntilIdle();
  }
  manual->setNow(target);
  runUntilIdle();
}

TimeInterval RunLoop::nextTimerDate() const {
  std::lock_guard lock(mutex_);
  if (timers_.empty()) return -1;
  return timers_.begin()->first.first;
}

std::size_t RunLoop::pendingTimerCount() const {
  std::lock_guard lock(mutex_);
  return timers_.size();
}

void RunLoop::runOnce(TimeInterval maxWait) {
  runUntilIdle();
  std::unique_lock lock(mutex_);
  if (!posted_.empty() || stopped_) return;
  TimeInterval wait = maxWait;
  if (!timers_.empty() && dynamic_cast<ManualClock*>(&Clock::shared()) == nullptr) {
    wait = std::min(wait, timers_.begin()->first.first - Clock::shared().now());
  }
  if (wait > 0) {
    wakeup_.wait_for(lock, std::chrono::duration<double>(wait),
                     [&] { return !posted_.empty() || stopped_; });
  }
  lock.unlock();
  runUntilIdle();
}

bool RunLoop::runUntil(const std::function<bool()>& predicate, TimeInterval timeout) {
  RealClock real;
  const TimeInterval deadline = real.now() + timeout;
  runUntilIdle();
  while (!predicate()) {
    TimeInterval left = deadline - real.now();
    if (left <= 0) return false;
    runOnce(std::min(left, 0.01));
  }
  return true;
}

void RunLoop::run() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = false;
  }
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopped_) break;
    }
    runOnce(0.05);
  }
}

void RunLoop::stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  wakeup_.notify_all();
}

void RunLoop::wake() {
  wakeup_.notify_all();
}

void performOnMainThread(RunLoop::Task task, bool waitUntilDone) {
  RunLoop& loop = RunLoop::main();
  if (loop.isCurrentThread()) {
    task();
    return;
  }
  if (!waitUntilDone) {
    loop.post(std::move(task));
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  auto finished = done->get_future();
  loop.post([task = std::move(task), done] {
    task();
    done->set_value();
  });
  finished.wait();
}

}  // namespace lorvane

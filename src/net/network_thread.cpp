#include <utility>  // Boost 1.74's Asio needs it first under C++20 with g++ 12

#include "net/network_thread.h"

#include <atomic>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace lorvane {

namespace asio = boost::asio;

namespace {

std::chrono::steady_clock::duration steadyDuration(TimeInterval seconds) {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(seconds));
}

class StatusCheck : public NetworkTimer {
 public:
  explicit StatusCheck(NetworkThread::Task task) : task_(std::move(task)) {}
  void invalidate() override { valid_.store(false); }
  bool isValid() const override { return valid_.load(); }
  void run() {
    if (valid_.load()) task_();
  }

 private:
  NetworkThread::Task task_;
  std::atomic<bool> valid_{true};
};

}  // namespace

struct NetworkThread::Impl {
  asio::io_context loop{1};
  asio::executor_work_guard<asio::io_context::executor_type> work{loop.get_executor()};
  std::thread::id threadId;
  std::thread thread;

  // Lock order: lifeMutex before handOffMutex, and lifeMutex before
  // checksMutex (none is held while a task or handler runs).
  mutable std::mutex lifeMutex;
  bool closed = false;               // no more posts
  std::atomic<bool> stopped{false};  // the loop has ended for good
  std::uint64_t nextHandler = 1;
  std::map<std::uint64_t, Task> shutdownHandlers;

  // Posted tasks, in order. While the thread is awake it takes them from
  // here itself; only a sleeping thread is woken through the loop, which
  // costs the posting side a system call.
  std::mutex handOffMutex;
  std::deque<Task> handOff;
  std::atomic<bool> handOffPending{false};
  std::atomic<bool> sleeping{false};
  bool lingerBeforeSleep = false;  // network thread only

  // Called with lifeMutex held.
  void handOver(Task task) {
    {
      std::lock_guard lock(handOffMutex);
      handOff.push_back(std::move(task));
    }
    handOffPending.store(true);
    // Either the thread sees the task before it sleeps, or this sees it
    // asleep and wakes it.
    if (sleeping.load()) asio::post(loop, [this] { runHandedOver(); });
  }

  std::size_t runHandedOver() {
    std::deque<Task> batch;
    {
      std::lock_guard lock(handOffMutex);
      batch.swap(handOff);
      handOffPending.store(false);
    }
    for (auto& task : batch) {
      // Tasks report their own failures; one that throws must not cost
      // the ones after it.
      try {
        task();
      } catch (...) {
      }
    }
    return batch.size();
  }

  // Looks for work for a short while when told more is due (see
  // expectWorkSoon); true when some turned up. Only then: lingering after
  // every event would take, on a busy machine, the processor that the
  // server and the main thread need, for instance while a body streams in.
  bool linger() {
    if (!lingerBeforeSleep) return false;
    lingerBeforeSleep = false;
    const auto until = std::chrono::steady_clock::now() + steadyDuration(kLingerForWork);
    while (std::chrono::steady_clock::now() < until) {
      if (handOffPending.load() || loop.stopped()) return true;
      if (loop.poll() > 0) return true;
      std::this_thread::yield();
    }
    return false;
  }

  // Runs the loop until it is stopped: handed-over tasks and whatever the
  // loop has ready, and a sleep only when neither has anything.
  void runLoop() {
    while (!loop.stopped()) {
      std::size_t done = runHandedOver();
      if (loop.stopped()) break;
      done += loop.poll();
      if (done > 0 || linger()) continue;
      sleeping.store(true);
      if (!handOffPending.load()) loop.run_one();
      sleeping.store(false);
    }
  }

  // The shared status ticker: armed while any check is registered.
  std::mutex checksMutex;
  std::vector<std::shared_ptr<StatusCheck>> checks;
  bool tickerArmed = false;
  asio::steady_timer ticker{loop};

  void armTicker() {
    ticker.expires_after(steadyDuration(kStatusCheckInterval));
    ticker.async_wait([this](const boost::system::error_code& ec) {
      if (!ec) tick();
    });
  }

  void tick() {
    std::vector<std::shared_ptr<StatusCheck>> due;
    {
      std::lock_guard lock(checksMutex);
      std::erase_if(checks, [](const auto& check) { return !check->isValid(); });
      if (checks.empty()) {
        tickerArmed = false;
        return;
      }
      due = checks;
    }
    // A check may add or invalidate checks (a retry starts a new exchange).
    // One that throws must not stop the ticker every request's time-out
    // depends on.
    for (auto& check : due) {
      try {
        check->run();
      } catch (...) {
      }
    }
    armTicker();
  }
};

NetworkThread::NetworkThread() : impl_(std::make_unique<Impl>()) {
  std::atomic<bool> started{false};
  impl_->thread = std::thread([this, &started] {
    impl_->threadId = std::this_thread::get_id();
    started.store(true);
    started.notify_one();
    // Handlers report their own failures; one that throws must not end
    // the thread every request depends on.
    while (!impl_->stopped.load()) {
      try {
        impl_->runLoop();
        if (!impl_->stopped.load()) impl_->loop.restart();
      } catch (...) {
      }
    }
  });
  started.wait(false);
}

NetworkThread& NetworkThread::shared() {
  static NetworkThread* thread = new NetworkThread();  // lives for the whole process
  return *thread;
}

bool NetworkThread::post(Task task) {
  std::lock_guard lock(impl_->lifeMutex);
  if (impl_->closed) return false;
  impl_->handOver(std::move(task));
  return true;
}

bool NetworkThread::dispatch(Task task) {
  if (isCurrentThread() && !impl_->stopped.load()) {
    task();
    return true;
  }
  return post(std::move(task));
}

void NetworkThread::shutdown() {
  {
    std::lock_guard lock(impl_->lifeMutex);
    if (impl_->closed) return;
    // The last task: whatever was posted before it runs first.
    Impl* impl = impl_.get();
    impl->handOver([impl] {
      impl->stopped.store(true);
      impl->work.reset();
      impl->loop.stop();
    });
    impl_->closed = true;
  }
  if (isCurrentThread()) {
    impl_->thread.detach();  // ends once this task returns
  } else if (impl_->thread.joinable()) {
    impl_->thread.join();
  }
  std::map<std::uint64_t, Task> handlers;
  {
    std::lock_guard lock(impl_->lifeMutex);
    handlers.swap(impl_->shutdownHandlers);
  }
  for (auto& [token, handler] : handlers) handler();
}

bool NetworkThread::isShutDown() const {
  std::lock_guard lock(impl_->lifeMutex);
  return impl_->closed;
}

std::uint64_t NetworkThread::addShutdownHandler(Task handler) {
  std::lock_guard lock(impl_->lifeMutex);
  if (impl_->closed) return 0;
  const std::uint64_t token = impl_->nextHandler++;
  impl_->shutdownHandlers.emplace(token, std::move(handler));
  return token;
}

void NetworkThread::removeShutdownHandler(std::uint64_t token) {
  std::lock_guard lock(impl_->lifeMutex);
  impl_->shutdownHandlers.erase(token);
}

bool NetworkThread::isCurrentThread() const {
  return impl_->threadId == std::this_thread::get_id();
}

void NetworkThread::expectWorkSoon() {
  if (isCurrentThread()) impl_->lingerBeforeSleep = true;
}

void* NetworkThread::nativeLoop() {
  return &impl_->loop;
}

namespace {

class AsioTimer : public NetworkTimer, public std::enable_shared_from_this<AsioTimer> {
 public:
  AsioTimer(asio::io_context& loop, TimeInterval interval, bool repeats, NetworkThread::Task task)
      : timer_(loop), interval_(interval), repeats_(repeats), task_(std::move(task)) {}

  void arm() {
    timer_.expires_after(steadyDuration(interval_));
    // The pending wait keeps the timer alive until it fires or is cancelled.
    timer_.async_wait([self = shared_from_this()](const boost::system::error_code& ec) {
      if (ec || !self->valid_.load()) return;
      if (!self->repeats_) self->valid_.store(false);
      auto task = self->task_;  // the task may invalidate the timer
      task();
      if (self->repeats_ && self->valid_.load()) self->arm();
    });
  }

  // Invalidating from another thread only stops the next firing; the
  // cancellation itself happens on the loop, where the timer lives.
  void invalidate() override {
    if (!valid_.exchange(false)) return;
    auto self = shared_from_this();
    asio::post(timer_.get_executor(), [self] { self->timer_.cancel(); });
  }
  bool isValid() const override { return valid_.load(); }

 private:
  asio::steady_timer timer_;
  TimeInterval interval_;
  bool repeats_;
  NetworkThread::Task task_;
  std::atomic<bool> valid_{true};
};

}  // namespace

std::shared_ptr<NetworkTimer> NetworkThread::scheduleTimer(TimeInterval interval, bool repeats,
                                                           Task task) {
  auto timer = std::make_shared<AsioTimer>(impl_->loop, interval, repeats, std::move(task));
  // Arming touches the asio timer, so it happens on the loop's thread.
  dispatch([timer] {
    if (timer->isValid()) timer->arm();
  });
  return timer;
}

std::shared_ptr<NetworkTimer> NetworkThread::scheduleStatusCheck(Task task) {
  auto check = std::make_shared<StatusCheck>(std::move(task));
  bool arm = false;
  {
    std::lock_guard lock(impl_->checksMutex);
    impl_->checks.push_back(check);
    if (!impl_->tickerArmed) {
      impl_->tickerArmed = true;
      arm = true;
    }
  }
  if (arm) {
    Impl* impl = impl_.get();
    dispatch([impl] { impl->armTicker(); });
  }
  return check;
}

}  // namespace lorvane

#include "platform/foundation/operation_queue.h"

#include <algorithm>
#include <deque>
#include <thread>

#include "platform/foundation/error.h"

namespace lorvane {

// ---- Operation ---------------------------------------------------------

void Operation::start() {
  if (isCancelled()) {
    setFinished();
    return;
  }
  setExecuting(true);
  main();
  setExecuting(false);
  setFinished();
}

void Operation::cancel() {
  cancelled_.store(true);
}

bool Operation::isReady() const {
  std::lock_guard lock(mutex_);
  return std::all_of(dependencies_.begin(), dependencies_.end(),
                     [](const auto& op) { return op->hasFinishedRunning(); });
}

void Operation::addDependency(const std::shared_ptr<Operation>& operation) {
  if (!operation || operation.get() == this) return;
  std::lock_guard lock(mutex_);
  dependencies_.push_back(operation);
}

void Operation::removeDependency(const std::shared_ptr<Operation>& operation) {
  std::lock_guard lock(mutex_);
  std::erase(dependencies_, operation);
}

std::vector<std::shared_ptr<Operation>> Operation::dependencies() const {
  std::lock_guard lock(mutex_);
  return dependencies_;
}

void Operation::setCompletionBlock(std::function<void()> block) {
  std::lock_guard lock(mutex_);
  completion_ = std::move(block);
}

void Operation::waitUntilFinished() {
  std::unique_lock lock(mutex_);
  finishedChanged_.wait(lock, [&] { return finished_.load(); });
}

void Operation::addFinishListener(std::function<void()> listener) {
  bool already;
  {
    std::lock_guard lock(mutex_);
    already = finished_.load();
    if (!already) finishListeners_.push_back(listener);
  }
  if (already) listener();
}

void Operation::setFinished() {
  std::function<void()> completion;
  std::vector<std::function<void()>> listeners;
  {
    std::lock_guard lock(mutex_);
    if (finished_.exchange(true)) return;
    executing_.store(false);
    completion.swap(completion_);
    listeners.swap(finishListeners_);
  }
  finishedChanged_.notify_all();
  if (completion) completion();
  for (auto& listener : listeners) listener();
  OperationQueue::operationFinished();
}

// ---- OperationQueue ----------------------------------------------------

struct OperationQueue::State : std::enable_shared_from_this<OperationQueue::State> {
  mutable std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::shared_ptr<Operation>> operations;  // added, not finished
  std::vector<Operation*> started;                     // subset of operations
  std::deque<std::shared_ptr<Operation>> toRun;        // handed to workers
  // Concurrent operations only hand their work elsewhere in start(), so the
  // thread that picks them starts them itself, outside the lock, instead of
  // waking a worker for it.
  std::deque<std::shared_ptr<Operation>> toStartHere;
  bool startingHere = false;
  std::vector<std::thread> workers;
  std::size_t idleWorkers = 0;
  int maxConcurrent = kDefaultMaxConcurrentOperationCount;
  bool suspended = false;
  bool stopping = false;
  std::string name;

  bool wasStarted(Operation* op) const {
    return std::find(started.begin(), started.end(), op) != started.end();
  }

  // Picks what may start now; called with the mutex held.
  void pumpLocked() {
    while (!suspended && !stopping &&
           (maxConcurrent < 0 || static_cast<int>(started.size()) < maxConcurrent)) {
      std::shared_ptr<Operation> best;
      for (auto& op : operations) {
        if (wasStarted(op.get()) || !op->isReady()) continue;
        if (!best || op->queuePriority() > best->queuePriority()) best = op;
      }
      if (!best) return;
      started.push_back(best.get());
      if (best->isConcurrent()) {
        toStartHere.push_back(best);
        continue;
      }
      toRun.push_back(best);
      if (idleWorkers < toRun.size()) {
        auto self = shared_from_this();
        workers.emplace_back([self] { self->workerLoop(); });
      } else {
        changed.notify_all();
      }
    }
  }

  void workerLoop() {
    std::unique_lock lock(mutex);
    for (;;) {
      ++idleWorkers;
      changed.wait(lock, [&] { return stopping || !toRun.empty(); });
      --idleWorkers;
      if (toRun.empty()) return;  // stopping with nothing handed over
      auto op = std::move(toRun.front());
      toRun.pop_front();
      lock.unlock();
      op->start();
      op.reset();
      lock.lock();
      if (stopping && toRun.empty()) return;
    }
  }

  // Starts what pumpLocked() left for this thread; called without the lock.
  // One thread at a time drains the list, so an operation that finishes
  // inside its own start() does not nest another start() on the stack.
  void startPickedOperations() {
    std::unique_lock lock(mutex);
    if (startingHere) return;
    startingHere = true;
    while (!toStartHere.empty()) {
      auto op = std::move(toStartHere.front());
      toStartHere.pop_front();
      lock.unlock();
      op->start();
      op.reset();
      lock.lock();
    }
    startingHere = false;
  }

  void finished(Operation* op) {
    {
      std::lock_guard lock(mutex);
      std::erase(started, op);
      std::erase_if(operations, [&](const auto& o) { return o.get() == op; });
      changed.notify_all();
      pumpLocked();
    }
    startPickedOperations();
  }

  void pump() {
    {
      std::lock_guard lock(mutex);
      pumpLocked();
    }
    startPickedOperations();
  }
};

namespace {

// Never destroyed: a worker that finishes after main returned still looks
// its queues up here.
std::mutex& registryMutex() {
  static auto* mutex = new std::mutex();
  return *mutex;
}

std::vector<std::weak_ptr<void>>& registry() {
  static auto* queues = new std::vector<std::weak_ptr<void>>();
  return *queues;
}

}  // namespace

OperationQueue::OperationQueue() : state_(std::make_shared<State>()) {
  std::lock_guard lock(registryMutex());
  std::erase_if(registry(), [](const auto& weak) { return weak.expired(); });
  registry().push_back(state_);
}

OperationQueue::~OperationQueue() {
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
    workers.swap(state_->workers);
  }
  state_->changed.notify_all();
  for (auto& worker : workers) {
    if (worker.get_id() == std::this_thread::get_id()) {
      worker.detach();  // the last reference went away inside one of our own operations
    } else {
      worker.join();
    }
  }
}

void OperationQueue::operationFinished() {
  // A finished operation may be the dependency that holds back work in any
  // queue, so every live queue takes another look.
  std::vector<std::shared_ptr<State>> queues;
  {
    std::lock_guard lock(registryMutex());
    for (auto& weak : registry()) {
      if (auto state = std::static_pointer_cast<State>(weak.lock())) queues.push_back(state);
    }
  }
  for (auto& state : queues) state->pump();
}

void OperationQueue::addOperation(std::shared_ptr<Operation> operation) {
  if (!operation) {
    throw Exception("NSInvalidArgumentException", "operation is null");
  }
  {
    std::lock_guard lock(state_->mutex);
    if (std::any_of(state_->operations.begin(), state_->operations.end(),
                    [&](const auto& op) { return op == operation; })) {
      throw Exception("NSInvalidArgumentException", "operation is already enqueued on a queue");
    }
    if (operation->hasFinishedRunning()) {
      throw Exception("NSInvalidArgumentException", "operation is finished and cannot be enqueued");
    }
    state_->operations.push_back(operation);
  }
  std::weak_ptr<State> weak = state_;
  Operation* raw = operation.get();
  operation->addFinishListener([weak, raw] {
    if (auto state = weak.lock()) state->finished(raw);
  });
  state_->pump();
}

void OperationQueue::addOperationWithBlock(std::function<void()> block) {
  addOperation(std::make_shared<BlockOperation>(std::move(block)));
}

void OperationQueue::setMaxConcurrentOperationCount(int count) {
  {
    std::lock_guard lock(state_->mutex);
    state_->maxConcurrent = count;
    state_->pumpLocked();
  }
  state_->startPickedOperations();
}

int OperationQueue::maxConcurrentOperationCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->maxConcurrent;
}

void OperationQueue::setSuspended(bool suspended) {
  {
    std::lock_guard lock(state_->mutex);
    state_->suspended = suspended;
    state_->pumpLocked();
  }
  state_->startPickedOperations();
}

bool OperationQueue::isSuspended() const {
  std::lock_guard lock(state_->mutex);
  return state_->suspended;
}

void OperationQueue::cancelAllOperations() {
  for (auto& op : operations()) op->cancel();
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const {
  std::lock_guard lock(state_->mutex);
  return state_->operations;
}

std::size_t OperationQueue::operationCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->operations.size();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
  std::unique_lock lock(state_->mutex);
  state_->changed.wait(lock, [&] { return state_->operations.empty(); });
}

void OperationQueue::setName(std::string name) {
  std::lock_guard lock(state_->mutex);
  state_->name = std::move(name);
}

std::string OperationQueue::name() const {
  std::lock_guard lock(state_->mutex);
  return state_->name;
}

}  // namespace lorvane

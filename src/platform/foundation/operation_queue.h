#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lorvane {

class OperationQueue;

// A unit of work for an OperationQueue. A plain operation does its work in
// main() and is finished when main() returns. A concurrent operation
// (isConcurrent() true) overrides start(), returns at once and calls
// setFinished() later from any thread.
class Operation : public std::enable_shared_from_this<Operation> {
 public:
  enum QueuePriority { kVeryLow = -8, kLow = -4, kNormal = 0, kHigh = 4, kVeryHigh = 8 };

  Operation() = default;
  virtual ~Operation() = default;
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  virtual void start();
  virtual void main() {}
  virtual void cancel();

  bool isCancelled() const { return cancelled_.load(); }
  virtual bool isExecuting() const { return executing_.load(); }
  virtual bool isFinished() const { return finished_.load(); }
  virtual bool isConcurrent() const { return false; }
  // True once every dependency has finished.
  bool isReady() const;

  void addDependency(const std::shared_ptr<Operation>& operation);
  void removeDependency(const std::shared_ptr<Operation>& operation);
  std::vector<std::shared_ptr<Operation>> dependencies() const;

  int queuePriority() const { return priority_.load(); }
  void setQueuePriority(int priority) { priority_.store(priority); }

  // Runs on the thread that finishes the operation.
  void setCompletionBlock(std::function<void()> block);
  void waitUntilFinished();

  // Whether the base bookkeeping has seen the operation finish; queues use
  // this rather than the overridable isFinished().
  bool hasFinishedRunning() const { return finished_.load(); }

 protected:
  void setExecuting(bool executing) { executing_.store(executing); }
  // Marks the operation finished, runs the completion block and lets the
  // queues holding it move on. Calling it twice has no further effect.
  void setFinished();

 private:
  friend class OperationQueue;
  void addFinishListener(std::function<void()> listener);

  mutable std::mutex mutex_;
  std::condition_variable finishedChanged_;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> executing_{false};
  std::atomic<bool> finished_{false};
  std::atomic<int> priority_{kNormal};
  std::vector<std::shared_ptr<Operation>> dependencies_;
  std::vector<std::function<void()>> finishListeners_;
  std::function<void()> completion_;
};

// An operation made of one function.
class BlockOperation : public Operation {
 public:
  explicit BlockOperation(std::function<void()> block) : block_(std::move(block)) {}
  void main() override {
    if (block_) block_();
  }

 private:
  std::function<void()> block_;
};

// Starts its operations on worker threads of its own, at most
// maxConcurrentOperationCount at a time (-1: no limit), highest priority
// first and in order of adding among equals, once their dependencies are
// finished and while the queue is not suspended.
class OperationQueue {
 public:
  static constexpr int kDefaultMaxConcurrentOperationCount = -1;

  OperationQueue();
  virtual ~OperationQueue();
  OperationQueue(const OperationQueue&) = delete;
  OperationQueue& operator=(const OperationQueue&) = delete;

  virtual void addOperation(std::shared_ptr<Operation> operation);
  void addOperationWithBlock(std::function<void()> block);

  void setMaxConcurrentOperationCount(int count);
  int maxConcurrentOperationCount() const;
  virtual void setSuspended(bool suspended);
  bool isSuspended() const;
  virtual void cancelAllOperations();

  // Operations added and not yet finished, in the order they were added.
  std::vector<std::shared_ptr<Operation>> operations() const;
  std::size_t operationCount() const;
  void waitUntilAllOperationsAreFinished();

  void setName(std::string name);
  std::string name() const;

 private:
  friend class Operation;
  struct State;
  static void operationFinished();
  std::shared_ptr<State> state_;
};

}  // namespace lorvane
